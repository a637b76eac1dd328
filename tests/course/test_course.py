#!/usr/bin/python3
"""Assembles the programs that include the course library and runs them.

Each NAME.asm of the given directories is assembled on its own in a scratch
directory, the library found only through -I, and must assemble without a
message. It then runs on vexa-run with NAME.in as its keyboard (none when
there is no NAME.in) and must print exactly NAME.out and exit with code 0;
a program without NAME.out, one that needs screen services vexa-run does
not give, is only assembled.

usage: test_course.py VEXA VEXA_RUN INCLUDE_DIR PROGRAM_DIR...
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile

RUN_TIMEOUT = 60  # seconds; a program that runs longer is taken to hang


def check(vexa, vexa_run, include, source, workdir):
    shutil.copy(source, workdir)
    assembled = subprocess.run([vexa, "-q", f"-I={include}", source.name], cwd=workdir,
                               capture_output=True, text=True)
    if assembled.returncode != 0 or assembled.stdout or assembled.stderr:
        return f"assembly failed ({assembled.returncode}):\n{assembled.stdout}{assembled.stderr}"
    expected = source.with_suffix(".out")
    if not expected.exists():
        return None
    keys = source.with_suffix(".in")
    try:
        run = subprocess.run([vexa_run, str(workdir / source.with_suffix(".COM").name)],
                             input=keys.read_bytes() if keys.exists() else b"",
                             capture_output=True, timeout=RUN_TIMEOUT)
    except subprocess.TimeoutExpired:
        return f"vexa-run did not end within {RUN_TIMEOUT} s"
    if run.returncode != 0 or run.stderr:
        return f"vexa-run exit status {run.returncode}: {run.stderr.decode(errors='replace')}"
    if run.stdout != expected.read_bytes():
        return f"printed {run.stdout!r}\n  expected {expected.read_bytes()!r}"
    return None


def main():
    vexa, vexa_run, include = (str(pathlib.Path(arg).resolve()) for arg in sys.argv[1:4])
    sources = sorted(source for folder in sys.argv[4:] for source in pathlib.Path(folder).glob("*.asm"))
    failures = 0
    for source in sources:
        with tempfile.TemporaryDirectory() as temp:
            problem = check(vexa, vexa_run, include, source, pathlib.Path(temp))
        print(f"{'FAIL' if problem else 'ok'}  {source.name}" + (f": {problem}" if problem else ""))
        failures += bool(problem)
    print(f"{len(sources)} course programs run, {failures} failed")
    return 1 if failures or not sources else 0


if __name__ == "__main__":
    sys.exit(main())
