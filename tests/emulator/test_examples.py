#!/usr/bin/python3
"""Assembles every program in examples/ and runs it in the emulator.

Each NAME.asm must assemble without a message, into NAME.COM or, for a
program of MASM's segments, NAME.EXE (one of the two), and print exactly
NAME.out, exiting with code 0. Given VEXA_RUN, each program also runs on
Vexa's own interpreter, with the emulator as the independent check: both
must print NAME.out and agree. A source that enables the 80186's instructions
(`CPU 186`, `.186`) runs on `vexa-run --cpu=186`; the emulator runs them as
they are.

usage: test_examples.py VEXA EXAMPLES_DIR [VEXA_RUN]
"""
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

from run_com import ComProgram, ProgramError
from run_exe import ExeProgram


RUN_TIMEOUT = 60  # seconds; a program that runs longer is taken to hang
CPU_186 = re.compile(rb"^\s*(CPU\s+186|\.186)\b", re.IGNORECASE | re.MULTILINE)


def cpu_option(source):
    """The processor the source asks for, as vexa-run's option."""
    return ["--cpu=186"] if CPU_186.search(source.read_bytes()) else []


def run_interpreter(vexa_run, program, expected, emulated, options):
    try:
        run = subprocess.run([vexa_run] + options + [str(program)], stdin=subprocess.DEVNULL, capture_output=True,
                             timeout=RUN_TIMEOUT)
    except subprocess.TimeoutExpired:
        return f"vexa-run did not end within {RUN_TIMEOUT} s"
    if run.returncode != 0 or run.stderr:
        return f"vexa-run exit status {run.returncode}: {run.stderr.decode(errors='replace')}"
    if run.stdout != emulated:
        return f"vexa-run printed {run.stdout!r}\n  the emulator {emulated!r}"
    if run.stdout != expected:
        return f"vexa-run printed {run.stdout!r}\n  expected {expected!r}"
    return None


def check(vexa, vexa_run, source, workdir):
    shutil.copy(source, workdir)
    assembled = subprocess.run([vexa, source.name], cwd=workdir, capture_output=True, text=True)
    if assembled.returncode != 0 or assembled.stderr != "Vexa Assembler Ver. 1.05\n":
        return f"assembly failed ({assembled.returncode}):\n{assembled.stderr}"
    written = [workdir / source.with_suffix(suffix).name for suffix in (".COM", ".EXE")]
    written = [path for path in written if path.exists()]
    if len(written) != 1:
        return f"wrote {[path.name for path in written]}, not one .COM or .EXE"
    program = written[0]
    loader = ExeProgram if program.suffix == ".EXE" else ComProgram
    try:
        output, code = loader(program.read_bytes()).run()
    except ProgramError as error:
        return str(error)
    expected = source.with_suffix(".out").read_bytes()
    if code != 0:
        return f"exit code {code}"
    if output != expected:
        return f"printed {output!r}\n  expected {expected!r}"
    if vexa_run:
        return run_interpreter(vexa_run, program, expected, output, cpu_option(source))
    return None


def main():
    vexa, examples = str(pathlib.Path(sys.argv[1]).resolve()), pathlib.Path(sys.argv[2])
    vexa_run = str(pathlib.Path(sys.argv[3]).resolve()) if len(sys.argv) > 3 else None
    sources = sorted(examples.glob("*.asm"))
    failures = 0
    for source in sources:
        with tempfile.TemporaryDirectory() as temp:
            problem = check(vexa, vexa_run, source, pathlib.Path(temp))
        print(f"{'FAIL' if problem else 'ok'}  {source.name}" + (f": {problem}" if problem else ""))
        failures += bool(problem)
    print(f"{len(sources)} examples run, {failures} failed")
    return 1 if failures or not sources else 0


if __name__ == "__main__":
    sys.exit(main())
