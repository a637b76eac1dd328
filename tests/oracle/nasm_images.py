#!/usr/bin/env python3
"""Programs written as NASM users write them: Vexa's image is NASM's.

Each NAME.asm in the directory is assembled, unchanged, by NASM
(`nasm -f bin`) and by Vexa, in a temporary directory holding a copy of the
source and of the directory's subdirectories (the files INCBIN reads).
Vexa must exit 0 with only the banner on standard error and only `Pass N`
lines on standard output, and write the same image as NASM, byte for byte.

Lines among the first few of a source may say:
  ; vexa options: OPTION...   options given to Vexa before the file name
  ; nasm rejects              NASM must fail, and Vexa must exit 2

usage: nasm_images.py VEXA DIR
"""
import pathlib
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

BANNER = "Vexa Assembler Ver. 1.05\n"
HEADER_LINES = 8


def first_difference(ours, theirs):
    for offset, (a, b) in enumerate(zip(ours, theirs)):
        if a != b:
            return offset
    return min(len(ours), len(theirs))


def around(image, offset):
    return image[max(0, offset - 8):offset + 8].hex(" ").upper() or "(nothing)"


def difference(ours, theirs):
    at = first_difference(ours, theirs)
    return (f"images differ: {len(ours)} bytes here, {len(theirs)} from NASM; first at offset {at:#x}"
            f" (bytes from {max(0, at - 8):#x})\n    ours {around(ours, at)}\n    NASM {around(theirs, at)}")


def excerpt(text, lines=12):
    kept = text.splitlines()
    return "\n".join(kept[:lines] + ([f"... {len(kept) - lines} more lines"] if len(kept) > lines else []))


def header(source):
    lines = source.read_text(encoding="latin-1").splitlines()[:HEADER_LINES]
    options, rejects = [], False
    for line in lines:
        said = re.match(r"\s*;\s*vexa options:(.*)", line, re.IGNORECASE)
        if said:
            options += shlex.split(said.group(1))
        rejects |= bool(re.match(r"\s*;\s*nasm rejects\b", line, re.IGNORECASE))
    return options, rejects


def prepare(source, workdir):
    shutil.copy(source, workdir / source.name)
    for entry in source.parent.iterdir():
        if entry.is_dir():
            shutil.copytree(entry, workdir / entry.name)


def check(vexa, source, workdir):
    options, rejects = header(source)
    prepare(source, workdir)
    stem = source.stem
    theirs = subprocess.run(["nasm", "-f", "bin", "-o", f"{stem}.bin", source.name],
                            cwd=workdir, capture_output=True, text=True)
    ours = subprocess.run([vexa, *options, source.name], cwd=workdir, capture_output=True, text=True)
    said = excerpt(ours.stderr.removeprefix(BANNER) + ours.stdout)
    if rejects:
        if theirs.returncode == 0:
            return "NASM accepts a source marked '; nasm rejects'"
        if ours.returncode != 2:
            return f"NASM rejects it, vexa exit status {ours.returncode} (2 expected):\n{said}"
        return None
    if theirs.returncode != 0:
        return f"nasm rejects it:\n{excerpt(theirs.stderr)}"
    passes = ours.stdout.splitlines()
    if (ours.returncode != 0 or ours.stderr != BANNER or not passes
            or passes != [f"Pass {n}" for n in range(1, len(passes) + 1)]):
        return f"vexa exit status {ours.returncode}:\n{said}"
    image = workdir / f"{stem}.COM"
    if not image.exists():
        return "vexa wrote no object file"
    mine, nasm = image.read_bytes(), (workdir / f"{stem}.bin").read_bytes()
    return difference(mine, nasm) if mine != nasm else None


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    vexa, directory = str(pathlib.Path(sys.argv[1]).resolve()), pathlib.Path(sys.argv[2])
    sources = sorted(directory.glob("*.asm"))
    failures = 0
    for source in sources:
        with tempfile.TemporaryDirectory() as temp:
            problem = check(vexa, source, pathlib.Path(temp))
        if problem:
            failures += 1
            print(f"{source.name}: {problem}")
    print(f"{len(sources)} NASM programs, {failures} failed")
    return 1 if failures or not sources else 0


if __name__ == "__main__":
    sys.exit(main())
