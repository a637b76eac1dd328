#!/usr/bin/env python3
"""Writes a seed corpus for the source fuzzer: every input file of the
end-to-end cases, and every row of the encoding tables as a small program.

usage: make_corpus.py CASES_DIR CORPUS_DIR
"""
import pathlib
import sys


def case_inputs(text):
    """The contents of a case file's `--- file` sections."""
    inputs, current = [], None
    for line in text.split("\n"):
        if line.startswith("--- "):
            current = [] if line.split()[1] == "file" else None
            if current is not None:
                inputs.append(current)
        elif current is not None:
            current.append(line)
    return ["\n".join(lines) + "\n" for lines in inputs]


def table_programs(text):
    before, rows, section = [], [], None
    for line in text.split("\n"):
        if line.startswith("--- "):
            section = line[4:].strip()
        elif section == "before":
            before.append(line)
        elif section == "rows" and line.strip() and not line.startswith("#"):
            rows.append(line.split("|")[0].rstrip())
    return ["\n".join(before + [row, "        END"]) + "\n" for row in rows]


def main():
    cases, corpus = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    corpus.mkdir(parents=True, exist_ok=True)
    count = 0
    for path in sorted(p for p in cases.rglob("*") if p.is_file()):
        text = path.read_text(encoding="latin-1")
        programs = case_inputs(text) if path.suffix == ".case" else table_programs(text) if path.suffix == ".enc" else []
        for program in programs:
            (corpus / f"seed{count:05d}.asm").write_bytes(program.encode("latin-1"))
            count += 1
    print(f"{count} seeds in {corpus}")


if __name__ == "__main__":
    main()
