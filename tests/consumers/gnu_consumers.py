#!/usr/bin/env python3
"""The GNU diagnostics as real consumers read them: vim's default
errorformat in batch mode, and the pattern of VS Code's $gcc problem
matcher. Each must find every message with its file, line, column and text.

usage: gnu_consumers.py VEXA
"""
import pathlib
import re
import subprocess
import sys
import tempfile

SOURCE = "\tORG 100H\n\tMOVE\tAX,1\n        MOV AX,COUNTR\n        MOV [BX],5\n        INCLUDE sub.inc\n" \
         "COUNTER DW 0\n        END\n"
INCLUDED = "        NOP\n        PUSH 5\n"

# (file, line, column, severity, message) as the source above must give them;
# the column counts a tab to the next multiple of eight.
EXPECTED = [
    ("prog.asm", 2, 9, "error", "Invalid Operation Code"),
    ("prog.asm", 3, 16, "error", "Symbol Not Defined"),
    ("prog.asm", 4, 13, "warning", "Operand size not specified, WORD assumed [-w=size]"),
    ("sub.inc", 2, 14, "error", "Syntax Error"),
]

# VS Code's $gcc problem matcher.
GCC_PATTERN = re.compile(r"^(.*?):(\d+):(\d*):?\s+(?:fatal\s+)?(warning|error):\s+(.*)$")

VIM_SCRIPT = """set errorformat&
cgetfile messages.txt
let found = []
for entry in getqflist()
  if entry.valid
    call add(found, bufname(entry.bufnr) . '|' . entry.lnum . '|' . entry.col . '|' . entry.text)
  endif
endfor
call writefile(found, 'quickfix.txt')
qall!
"""


def check(name, found, expected):
    if found != expected:
        print(f"FAIL {name}:\n  found    {found}\n  expected {expected}")
        return 1
    print(f"ok   {name}")
    return 0


def main():
    vexa = sys.argv[1]
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        d = pathlib.Path(scratch)
        (d / "prog.asm").write_text(SOURCE)
        (d / "sub.inc").write_text(INCLUDED)
        run = subprocess.run([vexa, "prog.asm", "--diagnostics=gnu"], cwd=d, capture_output=True, text=True)
        (d / "messages.txt").write_text(run.stderr)
        failures += check("exit status", run.returncode, 2)

        gcc = [m.groups() for m in map(GCC_PATTERN.match, run.stderr.splitlines()) if m]
        failures += check("$gcc problem matcher",
                          [(f, int(l), int(c), s, m) for f, l, c, s, m in gcc], EXPECTED)

        (d / "quickfix.vim").write_text(VIM_SCRIPT)
        subprocess.run(["vim", "-u", "NONE", "-i", "NONE", "-N", "-es", "-S", "quickfix.vim"], cwd=d,
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        entries = [line.split("|", 3) for line in (d / "quickfix.txt").read_text().splitlines()]
        # The notes are entries of their own, at their message's place.
        errors = [(f, int(l), int(c), t.strip()) for f, l, c, t in entries if not t.strip().startswith("note:")]
        failures += check("vim's default errorformat", errors,
                          [(f, l, c, f"{s}: {m}") for f, l, c, s, m in EXPECTED])
        notes = [(f, int(l), t.strip()) for f, l, c, t in entries if t.strip().startswith("note:")]
        # The first diagnostic also says which conventions apply.
        conventions = [(f, l) for f, l, t in notes if "conventions apply" in t]
        failures += check("vim reads the conventions' note", conventions, [("prog.asm", 2)])
        notes = [note for note in notes if "conventions apply" not in note[2]]
        failures += check("vim reads the notes", notes[:2],
                          [("prog.asm", 2, "note: did you mean 'MOV'?"),
                           ("prog.asm", 3, "note: did you mean 'COUNTER'?")])
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
