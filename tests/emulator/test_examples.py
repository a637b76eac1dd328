#!/usr/bin/python3
"""Assembles every program in examples/ and runs it in the emulator.

Each NAME.asm must assemble without a message and print exactly NAME.out.

usage: test_examples.py VEXA EXAMPLES_DIR
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile

from run_com import ComProgram, ProgramError


def check(vexa, source, workdir):
    shutil.copy(source, workdir)
    assembled = subprocess.run([vexa, source.name], cwd=workdir, capture_output=True, text=True)
    if assembled.returncode != 0 or assembled.stderr != "Vexa Assembler Ver. 1.05\n":
        return f"assembly failed ({assembled.returncode}):\n{assembled.stderr}"
    image = (workdir / source.with_suffix(".COM").name).read_bytes()
    try:
        output, code = ComProgram(image).run()
    except ProgramError as error:
        return str(error)
    expected = source.with_suffix(".out").read_bytes()
    if code != 0:
        return f"exit code {code}"
    if output != expected:
        return f"printed {output!r}\n  expected {expected!r}"
    return None


def main():
    vexa, examples = str(pathlib.Path(sys.argv[1]).resolve()), pathlib.Path(sys.argv[2])
    sources = sorted(examples.glob("*.asm"))
    failures = 0
    for source in sources:
        with tempfile.TemporaryDirectory() as temp:
            problem = check(vexa, source, pathlib.Path(temp))
        print(f"{'FAIL' if problem else 'ok'}  {source.name}" + (f": {problem}" if problem else ""))
        failures += bool(problem)
    print(f"{len(sources)} examples run, {failures} failed")
    return 1 if failures or not sources else 0


if __name__ == "__main__":
    sys.exit(main())
