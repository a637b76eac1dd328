#!/usr/bin/env python3
"""Random programs of jumps and forward references: Vexa's image is NASM's.

Each program (bits 16, cpu 8086 or in a third cpu 186, org 0x100) mixes
filler of varied lengths (the 80186's statements among them) with jumps,
calls, jcxz and loop whose targets lie mostly at the edges of a short
jump's reach, so that one jump taking its longer form pushes others out of
reach. Constants used as immediates and displacements are defined at
the end (in a quarter of the programs at the start). NASM's image and
Vexa's must be the same bytes; when NASM rejects a program (a jcxz or loop
out of reach), Vexa must exit with status 2.

Program I of a run is made from seed S+I: `--count 1 --seed S+I` makes it
again. The first failing programs are kept, and their paths printed.

usage: nasm_generated.py VEXA [--count N] [--seed S]
"""
import argparse
import multiprocessing
import pathlib
import random
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ beside the tests
from nasm_images import BANNER, difference, excerpt  # noqa: E402

CONDITIONS = ["jo", "jno", "jb", "jc", "jnae", "jae", "jnb", "jnc", "je", "jz", "jne", "jnz", "jbe", "jna",
              "ja", "jnbe", "js", "jns", "jp", "jpe", "jnp", "jpo", "jl", "jnge", "jge", "jnl", "jle",
              "jng", "jg", "jnle"]
CONSTANTS = [-0x8000, -300, -130, -129, -128, -127, -1, 0, 1, 2, 5, 126, 127, 128, 129, 300, 0x7fff]
SHOWN = 5
EDGES = [-130, -129, -128, -127, -126, 125, 126, 127, 128, 129, 130]


def constant_size(value, short, long):
    return short if -128 <= value <= 127 else long


def filler_186(rng, constants):
    """One of the 80186's statements, with the constants as immediates,
    displacements and counts, and its size."""
    first, second = rng.choice(sorted(constants)), rng.choice(sorted(constants))
    immediate = constant_size(constants[first], 1, 2)
    displacement = constant_size(constants[second], 1, 2)
    kind = rng.randrange(7)
    if kind == 0:
        return f"push {first}", 1 + immediate
    if kind == 1:
        return f"imul {rng.choice(['ax', 'cx', 'si'])}, {first}", 2 + immediate
    if kind == 2:
        return f"imul dx, [bp+{second}], {first}", 2 + displacement + immediate
    if kind == 3:
        count = constants[first] & 0xff
        form = f"shl word [bx+{second}], {first} & 0ffh"
        return form, 2 + displacement + (0 if count == 1 else 1)
    if kind == 4:
        return rng.choice(["pusha", "popa", "leave", "insb", "outsw"]), 1
    if kind == 5:
        return f"enter {first} & 0ffffh, 1", 4
    return f"push word [si+{second}]", 2 + displacement


def filler(rng, constants, cpu186=False):
    """One filler statement and its size."""
    if cpu186 and rng.random() < 0.3:
        return filler_186(rng, constants)
    kind = rng.random()
    if kind < 0.25:
        return "nop", 1
    if kind < 0.5:
        count = rng.choice([rng.randint(2, 12), rng.randint(20, 70), rng.randint(100, 130)])
        return f"times {count} nop", count
    if kind < 0.65:
        number = f"{rng.randint(0, 0xffff):X}h"
        return f"mov ax, {'0' * number[0].isalpha()}{number}", 3
    name = rng.choice(sorted(constants))
    if kind < 0.83:
        return f"add si, {name}", constant_size(constants[name], 3, 4)
    base = rng.choice(["bx", "bp", "si", "di", "bx+si", "bp+di"])
    return f"mov ax, [{base}+{name}]", constant_size(constants[name], 3, 4)


def jump(rng, strict_left):
    """A jump statement without its target, its size with a short
    displacement, and whether it has no longer form."""
    kind = rng.random()
    if strict_left and kind < 0.08:
        return rng.choice(["jcxz", "loop", "jmp short"]), 2, True
    if kind < 0.4:
        return "jmp", 2, False
    if kind < 0.85:
        return rng.choice(CONDITIONS), 2, False
    if kind < 0.95:
        return "call", 3, False
    return "jmp near", 3, False


def program(seed):
    rng = random.Random(seed)
    constants = {f"VAL{n}": rng.choice(CONSTANTS) for n in range(rng.randint(1, 4))}
    strict_left = rng.choice([0, 0, 1, 2, 3])
    cpu186 = rng.random() < 0.35
    statements, sizes, jumps = [], [], []
    for _ in range(rng.randint(40, 160)):
        if rng.random() < 0.45:
            text, size, strict = jump(rng, strict_left)
            strict_left -= strict
            jumps.append((len(statements), strict))
        else:
            text, size = filler(rng, constants, cpu186)
        statements.append(text)
        sizes.append(size)
    offsets = [0]
    for size in sizes:
        offsets.append(offsets[-1] + size)
    # Targets at the offset wanted, as the short forms would place them.
    targets = {}
    for index, strict in jumps:
        end = offsets[index + 1]
        if strict and rng.random() < 0.7:
            wanted = end + rng.randint(-110, 110)
        elif rng.random() < 0.75:
            wanted = end + rng.choice(EDGES)
        else:
            wanted = end + rng.randint(-300, 300)
        wanted = min(max(wanted, 0), offsets[-1])
        boundary = min(range(len(offsets)), key=lambda b: (abs(offsets[b] - wanted), b))
        targets[index] = boundary
    labels = set(targets.values())
    lines = [f"; generated from seed {seed}", "bits 16", "cpu 186" if cpu186 else "cpu 8086", "org 0x100", ""]
    for index, text in enumerate(statements):
        if index in labels:
            lines.append(f"L{index}:")
        lines.append(f"        {text} L{targets[index]}" if index in targets else f"        {text}")
    if len(statements) in labels:
        lines.append(f"L{len(statements)}:")
    lines.append("        ret")
    definitions = [f"{name} equ {value}" for name, value in constants.items()]
    if rng.random() < 0.25:
        lines[4:4] = definitions
    else:
        lines += definitions
    return "\n".join(lines) + "\n"


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True)


def compare(vexa, workdir):
    """None when Vexa agrees with NASM, else what differs; and whether NASM
    rejected the program."""
    theirs = run(["nasm", "-f", "bin", "-o", "prog.bin", "prog.asm"], workdir)
    ours = run([vexa, "prog.asm"], workdir)
    said = excerpt(ours.stderr.removeprefix(BANNER) + ours.stdout, 8)
    if theirs.returncode != 0:
        if ours.returncode != 2:
            return f"NASM rejects it, vexa exit status {ours.returncode} (2 expected):\n{said}", True
        return None, True
    if ours.returncode != 0 or ours.stderr != BANNER:
        return f"vexa exit status {ours.returncode}:\n{said}", False
    if not (workdir / "prog.COM").exists():
        return "vexa wrote no object file", False
    mine, nasm = (workdir / "prog.COM").read_bytes(), (workdir / "prog.bin").read_bytes()
    return (difference(mine, nasm) if mine != nasm else None), False


def check(job):
    vexa, seed = job
    with tempfile.TemporaryDirectory() as temp:
        workdir = pathlib.Path(temp)
        source = program(seed)
        (workdir / "prog.asm").write_text(source)
        problem, rejected = compare(vexa, workdir)
    return seed, source, problem, rejected


def main():
    parser = argparse.ArgumentParser(description="Random jump programs, Vexa against NASM.")
    parser.add_argument("vexa")
    parser.add_argument("--count", type=int, default=600)
    parser.add_argument("--seed", type=int, default=1)
    arguments = parser.parse_args()
    vexa = str(pathlib.Path(arguments.vexa).resolve())
    jobs = [(vexa, arguments.seed + n) for n in range(arguments.count)]
    failures, rejected, kept = 0, 0, None
    with multiprocessing.Pool(2) as pool:
        for seed, source, problem, refused in pool.imap(check, jobs, chunksize=8):
            rejected += refused
            if not problem:
                continue
            failures += 1
            if failures <= SHOWN:
                kept = kept or pathlib.Path(tempfile.mkdtemp(prefix="nasm_generated_"))
                (kept / f"seed_{seed}.asm").write_text(source)
                print(f"seed {seed}, kept as {kept / f'seed_{seed}.asm'}: {problem}")
    if failures > SHOWN:
        print(f"... and {failures - SHOWN} more")
    print(f"{len(jobs)} generated programs (seeds {arguments.seed}..{arguments.seed + len(jobs) - 1}), "
          f"{rejected} rejected by NASM, {failures} failed")
    return 1 if failures or not jobs else 0


if __name__ == "__main__":
    sys.exit(main())
