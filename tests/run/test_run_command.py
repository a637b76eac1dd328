#!/usr/bin/env python3
"""vexa-run as a command: small programs assembled with vexa, run with their
options and input; exit status, standard output and standard error compared.

usage: test_run_command.py VEXA VEXA_RUN
"""
import dataclasses
import os
import pathlib
import pty
import select
import subprocess
import sys
import tempfile

TIMEOUT = 60

TRACE_FIELDS = "AX={} BX=0000 CX=0000 DX=0000 SP={} BP=0000 SI=0000 DI=0000 DS=1000 ES=1000 SS=1000 FL={}"


def trace_line(address, code, text, ax, sp="FFFE", flags="F202"):
    """The address, the instruction's bytes and its text in columns, then the registers."""
    return f"{address}  {code:<23}  {text:<44}  " + TRACE_FIELDS.format(ax, sp, flags) + "\n"


@dataclasses.dataclass
class Case:
    what: str
    source: str             # the lines after ORG 100H
    args: list = dataclasses.field(default_factory=list)
    stdin: bytes = b""
    stdout: bytes = b""
    stderr: str = ""
    status: int = 0


EXIT_7 = "MOV AX,4C07H\nINT 21H"
LINE_BACK = """MOV DX,OFFSET BUF
MOV AH,0AH
INT 21H
MOV BL,[BUF+1]
MOV BH,0
MOV BYTE PTR [BX+BUF+2],'$'
MOV DX,OFFSET BUF+2
MOV AH,09H
INT 21H
MOV AX,4C00H
INT 21H
BUF DB 20,0
DB 22 DUP(0)"""
FOUR_KEYS = """MOV CX,4
L: MOV AH,01H
INT 21H
LOOP L
MOV AH,4CH
INT 21H"""
READ_FOREVER = "L: MOV AH,01H\nINT 21H\nJMP L"
ENDLESS = "L: JMP L"
COUNT_KEYS = """XOR CX,CX
L: MOV DL,0FFH
MOV AH,06H
INT 21H
JZ DONE
INC CX
JMP L
DONE: MOV AL,CL
MOV AH,4CH
INT 21H"""
PRINT_TAIL = """MOV BL,[80H]
MOV BH,0
MOV BYTE PTR [BX+81H],'$'
MOV DX,81H
MOV AH,09H
INT 21H
RET"""
# 6A FF: the 80186's PUSH -1, the 8086's JP (not taken, PF clear); the code
# is the popped word's low byte: FFH, or 0 from the zero word on the stack.
PUSH_OR_JUMP = "DB 6AH,0FFH\nPOP AX\nMOV AH,4CH\nINT 21H"
# BOUND AX,[B] with AX above the upper bound.
BOUND_OUT = "MOV AX,5\nDB 62H,06H\nDW B\nRET\nB DW 0,4"
THREE_STEPS = "MOV AX,1234H\nMOV AX,4C00H\nINT 21H"
PRINT_SOURCE_LINE = """MOV DX,OFFSET MSG
MOV AH,09H
INT 21H
RET
MSG DB 'mov ax,1',0DH,0AH,'$'"""

# A line end at every place a read might stop: a CR before each LF, and
# the input shifted so that a CR falls on the 64 KiB mark.
MANY_LINES = b"yy" + (b"x" * 49 + b"\r\n") * 1300
MANY_KEYS = 2 + 50 * 1300

USAGE = "usage: vexa-run PROGRAM.COM|PROGRAM.EXE [--cpu=8086|186] [--input TEXT] [--limit N] [--trace] " \
        "[-- ARGUMENT...]\n" \
        "       vexa-run [--cpu=8086|186] --processor-tests FILE...\n"

CASES = [
    Case("the exit status is the program's return code", EXIT_7, status=7),
    Case("code 255", "MOV AX,4CFFH\nINT 21H", status=255),
    Case("RET ends with code 0", "MOV DL,'!'\nMOV AH,02H\nINT 21H\nRET", stdout=b"!"),
    Case("--input feeds a line", LINE_BACK, ["--input", "hello\nmore"], stdout=b"hello\rhello"),
    Case("--input=TEXT", LINE_BACK, ["--input=hi"], stdout=b"hi\rhi"),
    Case("standard input, CR LF as one Enter", FOUR_KEYS, stdin=b"ab\r\nc", stdout=b"ab\rc", status=ord("c")),
    Case("standard input, LF and CR", FOUR_KEYS, stdin=b"a\n\rb", stdout=b"a\r\rb", status=ord("b")),
    Case("--input rather than standard input", FOUR_KEYS, ["--input", "wxyz"], stdin=b"abcd",
         stdout=b"wxyz", status=ord("z")),
    Case("a long input read in pieces", COUNT_KEYS, stdin=MANY_LINES, status=MANY_KEYS % 256),
    Case("no input left", READ_FOREVER, ["--input", "xy"], stdout=b"xy",
         stderr="vexa-run: the program waits for input and none is left\n", status=121),
    Case("no standard input at all", READ_FOREVER, stderr="vexa-run: the program waits for input and none is left\n",
         status=121),
    Case("an unsupported function", "MOV DL,'x'\nMOV AH,02H\nINT 21H\nMOV AH,3DH\nINT 21H", stdout=b"x",
         stderr="vexa-run: INT 21H function 3DH is not supported\n", status=122),
    Case("an unsupported vector", "INT 05H", stderr="vexa-run: INT 05H is not supported\n", status=122),
    Case("--cpu=186 runs the 80186's instructions", PUSH_OR_JUMP, ["--cpu=186"], status=255),
    Case("the 8086 is the default", PUSH_OR_JUMP, status=0),
    Case("--cpu=8086", PUSH_OR_JUMP, ["--cpu", "8086"], status=0),
    Case("an opcode the 80186 leaves undefined", "NOP\nSEG ES\nDB 0FH", ["--cpu=80186"],
         stderr="vexa-run: undefined instruction 0FH at 1000:0101 (INT 06H)\n", status=122),
    Case("the 8086 takes 0FH as POP CS", "PUSH CS\nDB 0FH\nRET", status=0),
    Case("BOUND out of bounds", BOUND_OUT, ["--cpu=186"],
         stderr="vexa-run: BOUND index out of bounds at 1000:0103 (INT 05H)\n", status=122),
    Case("INT 05H on the 80186", "INT 05H", ["--cpu=186"], stderr="vexa-run: INT 05H is not supported\n", status=122),
    Case("INT 06H on the 80186", "INT 06H", ["--cpu=186"], stderr="vexa-run: INT 06H is not supported\n", status=122),
    Case("HLT", "NOP\nHLT", stderr="vexa-run: the program halted (HLT) at 1000:0101\n", status=123),
    Case("--limit", ENDLESS, ["--limit", "5000"], stderr="vexa-run: the instruction limit of 5000 was reached\n",
         status=124),
    Case("--limit=N", ENDLESS, ["--limit=77"], stderr="vexa-run: the instruction limit of 77 was reached\n",
         status=124),
    Case("a divide error", "MOV AX,1\nMOV BL,0\nDIV BL",
         stderr="vexa-run: divide error at 1000:0105: division by zero or a quotient too large\n", status=120),
    Case("the command tail", PRINT_TAIL, ["--", "one", "two"], stdout=b" one two"),
    Case("--trace", THREE_STEPS, ["--trace"],
         stderr=trace_line("1000:0100", "B8 34 12", "MOV AX,1234H", "0000")
         + trace_line("1000:0103", "B8 00 4C", "MOV AX,4C00H", "1234")
         + trace_line("1000:0106", "CD 21", "INT 21H", "4C00")
         + trace_line("F000:0042", "F1 21", "service of INT 21H", "4C00", sp="FFF8", flags="F002")),
    Case("--trace up to the limit", ENDLESS, ["--trace", "--limit", "2"],
         stderr=trace_line("1000:0100", "E9 FD FF", "JMP 0100H", "0000") * 2
         + "vexa-run: the instruction limit of 2 was reached\n", status=124),
    Case("--trace decodes as the 8086", PUSH_OR_JUMP, ["--trace", "--limit", "1"],
         stderr=trace_line("1000:0100", "6A FF", "JP 0101H", "0000")
         + "vexa-run: the instruction limit of 1 was reached\n", status=124),
    Case("--trace decodes as the 80186", PUSH_OR_JUMP, ["--cpu=186", "--trace", "--limit", "1"],
         stderr=trace_line("1000:0100", "6A FF", "PUSH -1", "0000")
         + "vexa-run: the instruction limit of 1 was reached\n", status=124),
    Case("--trace: prefixes in an order no one line holds", "SEG ES\nREP MOVSB\nLOCK MOV ES:[BX+SI+1234H],5678H",
         ["--trace", "--limit", "2"],
         stderr=trace_line("1000:0100", "26 F3 A4", "SEG ES REP MOVSB", "0000")
         + trace_line("1000:0103", "F0 26 C7 80 34 12 78 56", "LOCK MOV WORD PTR ES:[BX+SI+1234H],5678H", "0000")
         + "vexa-run: the instruction limit of 2 was reached\n", status=124),
    Case("--help", EXIT_7, ["--help"], stdout=USAGE.encode()),
    Case("a program holding a line of source runs", PRINT_SOURCE_LINE, stdout=b"mov ax,1\r\n"),
    Case("an unknown option", EXIT_7, ["--fast"], stderr="vexa-run: unknown option '--fast'\n" + USAGE, status=125),
    Case("--limit without a number", EXIT_7, ["--limit", "lots"],
         stderr="vexa-run: --limit wants a count of instructions, not 'lots'\n" + USAGE, status=125),
    Case("--cpu of another processor", EXIT_7, ["--cpu=286"],
         stderr="vexa-run: --cpu wants 8086 or 186, not '286'\n" + USAGE, status=125),
    Case("--input without its text", EXIT_7, ["--input"], stderr="vexa-run: --input wants a value\n" + USAGE,
         status=125),
    Case("two programs", EXIT_7, ["OTHER.COM"], stderr="vexa-run: more than one program to run\n" + USAGE,
         status=125),
    Case("a command tail too long", EXIT_7, ["--", "x" * 130],
         stderr="vexa-run: the command tail is longer than 126 characters\n" + USAGE, status=125),
]


def layout(source):
    """Indents each statement; a label (NAME: or NAME DB/DW) stays in column 0."""
    lines = []
    for line in source.splitlines():
        words = line.split()
        labelled = words[0].endswith(":") or (len(words) > 1 and words[1] in ("DB", "DW"))
        lines.append(line if labelled else "        " + line)
    return "\n".join(lines)


def assemble(vexa, source, workdir):
    (workdir / "PROG.ASM").write_text("        ORG 100H\n" + layout(source) + "\n        END\n")
    assembled = subprocess.run([vexa, "PROG.ASM"], cwd=workdir, capture_output=True, text=True)
    if assembled.returncode != 0:
        raise RuntimeError(f"assembly failed:\n{assembled.stderr}")
    return workdir / "PROG.COM"


def run(vexa_run, args, stdin=b"", cwd=None):
    return subprocess.run([vexa_run] + args, input=stdin, capture_output=True, timeout=TIMEOUT, cwd=cwd)


def check_case(vexa, vexa_run, case, workdir):
    program = assemble(vexa, case.source, workdir)
    result = run(vexa_run, [str(program)] + case.args, case.stdin)
    problems = []
    if result.returncode != case.status:
        problems.append(f"exit status {result.returncode}, expected {case.status}")
    if result.stdout != case.stdout:
        problems.append(f"stdout {result.stdout[:200]!r}, expected {case.stdout[:200]!r}")
    stderr = result.stderr.decode(errors="replace")
    if stderr != case.stderr:
        problems.append(f"stderr {stderr!r}, expected {case.stderr!r}")
    return problems


# Cases without a program of their own: files that cannot start.
def check_files(vexa_run, workdir):
    problems = []
    missing = run(vexa_run, [str(workdir / "MISSING.COM")])
    if missing.returncode != 125 or b"cannot open" not in missing.stderr:
        problems.append(f"a missing program: {missing.returncode} {missing.stderr!r}")
    big = workdir / "BIG.COM"
    big.write_bytes(b"\x90" * 65279)
    too_large = run(vexa_run, [str(big)])
    if too_large.returncode != 125 or too_large.stderr != f"vexa-run: {big} is 65279 bytes; a .COM program " \
                                                           f"holds at most 65278\n".encode():
        problems.append(f"an image too large: {too_large.returncode} {too_large.stderr!r}")
    largest = workdir / "LARGEST.COM"
    largest.write_bytes(b"\xCD\x20" + b"\x90" * 65276)
    if run(vexa_run, [str(largest)]).returncode != 0:
        problems.append("the largest image does not run")
    nothing = run(vexa_run, [])
    if nothing.returncode != 125 or nothing.stderr != b"vexa-run: no program to run\n" + USAGE.encode():
        problems.append(f"no arguments: {nothing.returncode} {nothing.stderr!r}")
    return problems


# Files run as they are, not assembled: assembly source is refused before it
# runs; other text runs as any program would (here up to a limit of four
# instructions: '@' is INC AX).
SOURCE_REFUSED = "vexa-run: PROG.ASM looks like assembly source: assemble it first with vexa\n"
RAN_4 = "vexa-run: the instruction limit of 4 was reached\n"


@dataclasses.dataclass
class RawFile:
    what: str
    contents: bytes
    stderr: str = SOURCE_REFUSED
    status: int = 125


RAW_FILES = [
    RawFile("assembly source", b"  org 100h\n  mov ax,4c00h\n  int 21h\n"),
    RawFile("comments and blank lines first, CR LF", b"; hello\r\n\r\n   ; more\r\n\tMOV AX,4C00H\r\n"),
    RawFile("a label and a directive, an end-of-file mark", b"msg db 'hi$'\n\x1a"),
    RawFile("a dotted directive", b".MODEL SMALL\n"),
    RawFile("no line end", b"INC AX", RAN_4, 124),
    RawFile("a mnemonic after the first statement", b"@@@@ hello\nmov ax,1\n", RAN_4, 124),
    RawFile("a mnemonic in a comment", b"@@@@ ; mov\n", RAN_4, 124),
    RawFile("a mnemonic inside a word", b"@@@@ movie\n", RAN_4, 124),
    RawFile("a byte outside text", b"@@@@ mov ax,1\n\xff", RAN_4, 124),
]


def check_raw_file(vexa_run, raw, workdir):
    (workdir / "PROG.ASM").write_bytes(raw.contents)
    result = run(vexa_run, ["PROG.ASM", "--limit", "4"], cwd=workdir)
    if result.returncode != raw.status or result.stderr.decode(errors="replace") != raw.stderr:
        return [f"{result.returncode} {result.stderr!r}, expected {raw.status} {raw.stderr!r}"]
    return []


def check_version(vexa_run):
    result = run(vexa_run, ["--version"])
    lines = result.stdout.decode(errors="replace").splitlines()
    if result.returncode != 0 or result.stderr or len(lines) != 2 or lines[0] != "Vexa Assembler Ver. 1.05" \
            or not lines[1].startswith("build ") or not lines[1][6:].strip():
        return [f"{result.returncode} {result.stdout!r} {result.stderr!r}"]
    return []


NOP_TEST = """[{"name": "nop", "bytes": [144],
  "initial": {"regs": {"ax": 0, "bx": 0, "cx": 0, "dx": 0, "cs": 0, "ss": 0, "ds": 0, "es": 0,
                       "sp": 0, "bp": 0, "si": 0, "di": 0, "ip": 4096, "flags": 61442},
              "ram": [[4096, 144]]},
  "final": {"regs": {"ip": 4097 AX}, "ram": [[4096, 144]]}, "test_num": 0}]"""


def check_processor_tests(vexa_run, workdir):
    problems = []
    (workdir / "metadata.json").write_text('{"opcodes": {"90": {"status": "normal"}}}')
    (workdir / "90.json").write_text(NOP_TEST.replace(" AX", ""))
    wrong = workdir / "tests"
    wrong.mkdir()
    (wrong / "metadata.json").write_text('{"opcodes": {"90": {"status": "normal"}}}')
    (wrong / "90.json").write_text(NOP_TEST.replace(" AX", ', "ax": 1'))
    passing = run(vexa_run, ["--processor-tests", str(workdir / "90.json")])
    if passing.returncode != 0 or passing.stdout != b"90.json: 1 passed, 0 failed, 0 skipped\n":
        problems.append(f"a passing test: {passing.returncode} {passing.stdout!r}")
    failing = run(vexa_run, ["--processor-tests", str(workdir / "90.json"), str(wrong / "90.json")])
    expected = (b"90.json: 1 passed, 0 failed, 0 skipped\n"
                b"  FAIL nop [test 0]: ax expected 0001, got 0000\n"
                b"90.json: 0 passed, 1 failed, 0 skipped\n"
                b"total: 1 passed, 1 failed, 0 skipped\n")
    if failing.returncode != 1 or failing.stdout != expected:
        problems.append(f"a failing test: {failing.returncode} {failing.stdout!r}")
    (workdir / "empty").mkdir()
    (workdir / "empty" / "90.json").write_text("[]")
    unreadable = run(vexa_run, ["--processor-tests", str(workdir / "empty" / "90.json")])
    if unreadable.returncode != 125 or b"metadata.json: cannot be read" not in unreadable.stdout:
        problems.append(f"no metadata: {unreadable.returncode} {unreadable.stdout!r}")
    return problems


# A terminal: the prompt shows before the program waits, and the line typed
# reaches it at once.
GREETING = """MOV DX,OFFSET PROMPT
MOV AH,09H
INT 21H
MOV DX,OFFSET BUF
MOV AH,0AH
INT 21H
MOV BL,[BUF+1]
MOV BH,0
MOV BYTE PTR [BX+BUF+2],'$'
MOV DX,OFFSET HELLO
MOV AH,09H
INT 21H
MOV DX,OFFSET BUF+2
INT 21H
RET
PROMPT DB 'name? $'
HELLO DB 0AH,'hi $'
BUF DB 20,0
DB 22 DUP(0)"""


def read_until(fd, wanted, seen=b""):
    while wanted not in seen:
        ready, _, _ = select.select([fd], [], [], TIMEOUT)
        if not ready:
            break
        try:
            piece = os.read(fd, 1024)
        except OSError:
            break
        if not piece:
            break
        seen += piece
    return seen


def check_terminal(vexa, vexa_run, workdir):
    program = assemble(vexa, GREETING, workdir)
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(vexa_run, [vexa_run, str(program)])
    seen = read_until(fd, b"name? ")
    problems = [] if b"name? " in seen else [f"no prompt before the input: {seen!r}"]
    os.write(fd, b"bob\r")
    seen = read_until(fd, b"hi bob", seen)
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    if b"hi bob" not in seen:
        problems.append(f"the typed line did not arrive: {seen!r}")
    if os.waitstatus_to_exitcode(status) != 0:
        problems.append(f"exit status {os.waitstatus_to_exitcode(status)}")
    return problems


def main():
    vexa, vexa_run = (str(pathlib.Path(path).resolve()) for path in sys.argv[1:3])
    failures = 0
    checks = [(case.what, lambda work, case=case: check_case(vexa, vexa_run, case, work)) for case in CASES]
    checks += [(raw.what, lambda work, raw=raw: check_raw_file(vexa_run, raw, work)) for raw in RAW_FILES]
    checks += [("--version", lambda work: check_version(vexa_run)),
               ("files that cannot start", lambda work: check_files(vexa_run, work)),
               ("processor tests", lambda work: check_processor_tests(vexa_run, work)),
               ("a terminal", lambda work: check_terminal(vexa, vexa_run, work))]
    for what, check in checks:
        with tempfile.TemporaryDirectory() as temp:
            try:
                problems = check(pathlib.Path(temp))
            except (RuntimeError, subprocess.TimeoutExpired) as error:
                problems = [str(error)]
        print(f"{'FAIL' if problems else 'ok'}  {what}" + "".join(f"\n      {p}" for p in problems))
        failures += bool(problems)
    print(f"{len(checks)} checks, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
