#!/usr/bin/env python3
"""Checks the expected bytes of every encoding-table row against NASM.

Each row with bytes and a NASM twin is checked: NASM assembles the twin, and
objdump must disassemble NASM's bytes and the row's bytes to the same
instructions. The two byte strings may differ (ADD AX,BX is 03 C3 here and
01 D8 in NASM); what they mean may not.

usage: encoding_oracle.py CASES_DIR
"""
import concurrent.futures
import os
import pathlib
import re
import subprocess
import sys
import tempfile


def parse_table(path):
    """Yields (line number, source, bytes, NASM twin) and the NASM prelude."""
    section, prelude, rows = None, [], []
    for number, line in enumerate(path.read_text(encoding="latin-1").splitlines(), 1):
        if line.startswith("--- "):
            section = line[4:].strip()
        elif section == "nasm":
            prelude.append(line)
        elif section == "rows" and line.strip() and not line.startswith("#"):
            fields = line.split("|")
            if len(fields) < 3:
                continue
            expected = fields[1].split("error:")[0].split()
            twin = fields[2].strip()
            if expected and twin != "-":
                rows.append((number, fields[0].rstrip(), bytes(int(b, 16) for b in expected), twin))
    return prelude, rows


def disassemble(paths):
    """Instruction texts of each flat binary, without addresses and bytes."""
    output = subprocess.run(
        ["objdump", "-D", "-b", "binary", "-m", "i8086", "-M", "intel", *map(str, paths)],
        check=True, capture_output=True, text=True).stdout
    listings, current = {}, None
    for line in output.splitlines():
        header = re.match(r"^(\S.*):\s+file format binary$", line)
        if header:
            current = listings.setdefault(header.group(1), [])
        elif current is not None:
            fields = line.split("\t")
            if len(fields) >= 3 and re.match(r"^\s*[0-9a-f]+:$", fields[0]):
                current.append(" ".join(fields[2].split()))
    return [listings.get(str(path), []) for path in paths]


def assemble_twin(workdir, index, prelude, twin):
    source = workdir / f"twin{index}.asm"
    output = workdir / f"twin{index}.bin"
    source.write_text("bits 16\ncpu 8086\n" + "\n".join(prelude) + "\n" + twin + "\n")
    result = subprocess.run(["nasm", "-f", "bin", "-o", str(output), str(source)],
                            capture_output=True, text=True)
    return output if result.returncode == 0 else result.stderr.strip()


def main():
    cases = pathlib.Path(sys.argv[1])
    failures, checked = [], 0
    with tempfile.TemporaryDirectory() as temp, concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        workdir = pathlib.Path(temp)
        for table in sorted(cases.rglob("*.enc")):
            prelude, rows = parse_table(table)
            if not rows:
                continue
            ours = []
            for index, (_, _, expected, _) in enumerate(rows):
                path = workdir / f"ours{index}.bin"
                path.write_bytes(expected)
                ours.append(path)
            twins = list(pool.map(lambda item: assemble_twin(workdir, item[0], prelude, item[1][3]),
                                  enumerate(rows)))
            built = [t for t in twins if isinstance(t, pathlib.Path)]
            their_text = iter(disassemble(built)) if built else iter(())
            our_text = disassemble(ours)
            for (number, source, expected, twin), twin_result, mine in zip(rows, twins, our_text):
                where = f"{table.relative_to(cases)}:{number}: {source.strip()}"
                checked += 1
                if not isinstance(twin_result, pathlib.Path):
                    failures.append(f"{where}\n    NASM rejects '{twin}': {twin_result}")
                    continue
                theirs = next(their_text)
                if mine != theirs:
                    failures.append(f"{where}\n    ours {expected.hex(' ').upper()}: {mine}\n"
                                    f"    NASM '{twin}' {twin_result.read_bytes().hex(' ').upper()}: {theirs}")
    for failure in failures:
        print(failure)
    print(f"{checked} encodings checked against NASM, {len(failures)} disagree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
