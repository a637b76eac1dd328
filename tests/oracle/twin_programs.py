#!/usr/bin/env python3
"""Whole programs written twice, once for Vexa and once for NASM.

Each NAME.asm in the directory has a twin NAME.nasm. Vexa must assemble
NAME.asm without a message (exit status 0, only the banner on standard error,
`Pass 1` and `Pass 2` on standard output, or as many passes as a line
"; Vexa settles in N passes" in NAME.asm says), NASM must assemble NAME.nasm,
and the two images must be identical, byte for byte.

usage: twin_programs.py VEXA TWINS_DIR
"""
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

BANNER = "Vexa Assembler Ver. 1.05\n"


def first_difference(ours, theirs):
    for offset, (a, b) in enumerate(zip(ours, theirs)):
        if a != b:
            return offset
    return min(len(ours), len(theirs))


def around(image, offset):
    return image[max(0, offset - 4):offset + 8].hex(" ").upper()


def check(vexa, source, workdir):
    twin = source.with_suffix(".nasm")
    if not twin.exists():
        return f"no twin {twin.name}"
    shutil.copy(source, workdir / source.name)
    ours = subprocess.run([vexa, source.name], cwd=workdir, capture_output=True, text=True)
    said = re.search(r"^; Vexa settles in (\d+) passes", source.read_text(encoding="latin-1"), re.MULTILINE)
    passes = "".join(f"Pass {n}\n" for n in range(1, 1 + (int(said.group(1)) if said else 2)))
    if ours.returncode != 0 or ours.stderr != BANNER or ours.stdout != passes:
        return f"vexa exit status {ours.returncode}:\n{ours.stderr[:2000]}{ours.stdout[:500]}"
    image = workdir / source.with_suffix(".COM").name
    if not image.exists():
        return "vexa wrote no object file"
    theirs = subprocess.run(["nasm", "-f", "bin", "-o", str(workdir / "twin.bin"), str(twin)],
                            capture_output=True, text=True)
    if theirs.returncode != 0:
        return f"nasm rejects {twin.name}:\n{theirs.stderr[:2000]}"
    mine, nasm = image.read_bytes(), (workdir / "twin.bin").read_bytes()
    if mine != nasm:
        at = first_difference(mine, nasm)
        return (f"images differ: {len(mine)} bytes here, {len(nasm)} from NASM; first at offset {at:#x}\n"
                f"    ours {around(mine, at)}\n    NASM {around(nasm, at)}")
    return None


def main():
    vexa, twins = str(pathlib.Path(sys.argv[1]).resolve()), pathlib.Path(sys.argv[2])
    sources = sorted(twins.glob("*.asm"))
    failures = 0
    for source in sources:
        with tempfile.TemporaryDirectory() as temp:
            problem = check(vexa, source, pathlib.Path(temp))
        if problem:
            failures += 1
            print(f"{source.name}: {problem}")
    print(f"{len(sources)} twin programs, {failures} failed")
    return 1 if failures or not sources else 0


if __name__ == "__main__":
    sys.exit(main())
