#!/usr/bin/env python3
"""The benchmark generator's programs assemble, and mean what NASM makes of them.

A full mix of a few thousand lines must assemble without a message, in Vexa
and in NASM, to images of the same size. A code-only instance must
disassemble (objdump) to the same instructions from both images.

usage: generated_program.py VEXA GENERATOR
"""
import pathlib
import subprocess
import sys
import tempfile


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True)


def instructions(image, cwd):
    listing = run(["objdump", "-D", "-b", "binary", "-m", "i8086", "-M", "intel", image], cwd).stdout
    texts = []
    for line in listing.splitlines():
        fields = line.split("\t")
        if len(fields) >= 3 and fields[0].strip().endswith(":"):
            texts.append((fields[0].strip(), " ".join(fields[2].split())))
    return texts


def assemble_both(vexa, generator, workdir, name, extra):
    run([sys.executable, generator, "3000", "300", name, "--seed", "7", *extra], workdir)
    ours = run([vexa, f"{name}.asm"], workdir)
    if ours.returncode != 0 or ours.stderr != "Vexa Assembler Ver. 1.05\n":
        raise SystemExit(f"vexa failed on {name}.asm:\n{ours.stderr[:2000]}")
    theirs = run(["nasm", "-f", "bin", "-o", f"{name}.bin", f"{name}.nasm"], workdir)
    if theirs.returncode != 0:
        raise SystemExit(f"nasm failed on {name}.nasm:\n{theirs.stderr[:2000]}")
    our_image, their_image = workdir / f"{name}.COM", workdir / f"{name}.bin"
    if our_image.stat().st_size != their_image.stat().st_size:
        raise SystemExit(f"{name}: {our_image.stat().st_size} bytes here, {their_image.stat().st_size} in NASM")
    return our_image, their_image


def main():
    vexa, generator = str(pathlib.Path(sys.argv[1]).resolve()), str(pathlib.Path(sys.argv[2]).resolve())
    with tempfile.TemporaryDirectory() as temp:
        workdir = pathlib.Path(temp)
        assemble_both(vexa, generator, workdir, "mixed", [])
        ours, theirs = assemble_both(vexa, generator, workdir, "code", ["--code-only"])
        mine, nasm = instructions(ours.name, workdir), instructions(theirs.name, workdir)
        for a, b in zip(mine, nasm):
            if a != b:
                raise SystemExit(f"first difference: ours {a}, NASM {b}")
        if len(mine) != len(nasm):
            raise SystemExit(f"{len(mine)} instructions here, {len(nasm)} in NASM")
        print(f"generated programs agree with NASM: {len(mine)} instructions")
    return 0


if __name__ == "__main__":
    sys.exit(main())
