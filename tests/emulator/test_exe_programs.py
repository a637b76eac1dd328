#!/usr/bin/python3
"""Runs the .EXE programs of exe_programs.py in the emulator and, given
VEXA_RUN, on Vexa's interpreter: each must print its output and exit with
its code in both. Files DOS would refuse to load must not run in either.

usage: test_exe_programs.py [VEXA_RUN]
"""
import pathlib
import subprocess
import sys
import tempfile

from exe_programs import PROGRAMS, refused
from run_exe import ProgramError, run_exe

RUN_TIMEOUT = 60


def run_interpreter(vexa_run, image, keys, workdir):
    program = workdir / "PROGRAM.EXE"
    program.write_bytes(image)
    return subprocess.run([vexa_run, str(program), "--input", keys.decode("latin-1")], capture_output=True,
                          timeout=RUN_TIMEOUT)


def check_program(program, vexa_run, workdir):
    try:
        emulated = run_exe(program.image, input=program.input)
    except ProgramError as error:
        return [f"the emulator: {error}"]
    problems = []
    if emulated != (program.output, program.exit_code):
        problems.append(f"the emulator: {emulated}, expected {(program.output, program.exit_code)}")
    if vexa_run:
        run = run_interpreter(vexa_run, program.image, program.input, workdir)
        if (run.stdout, run.returncode) != emulated or run.stderr:
            problems.append(f"vexa-run: {(run.stdout, run.returncode)} {run.stderr!r}, the emulator {emulated}")
    return problems


def check_refused(image, vexa_run, workdir):
    problems = []
    try:
        problems.append(f"the emulator ran it: {run_exe(image)}")
    except ProgramError:
        pass
    if vexa_run:
        run = run_interpreter(vexa_run, image, b"", workdir)
        if run.returncode != 125 or run.stdout:
            problems.append(f"vexa-run: {run.returncode} {run.stdout!r} {run.stderr!r}")
    return problems


def main():
    vexa_run = str(pathlib.Path(sys.argv[1]).resolve()) if len(sys.argv) > 1 else None
    checks = [(p.what, lambda work, p=p: check_program(p, vexa_run, work)) for p in PROGRAMS]
    checks += [(f"refused: {what}", lambda work, image=image: check_refused(image, vexa_run, work))
               for what, image, _ in refused()]
    failures = 0
    for what, check in checks:
        with tempfile.TemporaryDirectory() as temp:
            problems = check(pathlib.Path(temp))
        print(f"{'FAIL' if problems else 'ok'}  {what}" + "".join(f"\n      {p}" for p in problems))
        failures += bool(problems)
    print(f"{len(checks) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
