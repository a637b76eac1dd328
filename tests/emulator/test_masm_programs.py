#!/usr/bin/python3
"""Assembles the MASM programs of tests/masm_programs/ and checks each .EXE
file field by field against the layout worked out by hand below: the header,
every relocation (as its place in the load module, paragraph * 16 + offset)
and every byte of the load module. Each program then runs in the emulator
and on vexa-run: both must print NAME.out and exit with the program's code.

The layouts follow the linker's rules: segments in the order of their
classes' first appearance (with .MODEL, DOS's order: code, then DGROUP with
BSS and STACK last), each at its alignment; a segment in a group counts its
offsets from the paragraph holding the group's first byte; the load module
ends at the last byte written, and the minimum allocation covers the rest.

usage: test_masm_programs.py VEXA VEXA_RUN PROGRAM_DIR
"""
import dataclasses
import pathlib
import shutil
import subprocess
import sys
import tempfile

from mz import read_header
from run_exe import ProgramError, run_exe

RUN_TIMEOUT = 60  # seconds; a program that runs longer is taken to hang


def w(value):
    """A word, low byte first."""
    return value.to_bytes(2, "little")


def code(*instructions):
    """The bytes of instructions given one by one as hex text or bytes."""
    return b"".join(bytes.fromhex(i) if isinstance(i, str) else bytes(i) for i in instructions)


def module_of(size, *pieces):
    """A load module of `size` bytes: each (place, bytes) piece at its
    place, zeros between."""
    module = bytearray(size)
    for place, data in pieces:
        assert module[place:place + len(data)] == bytes(len(data)), f"pieces overlap at {place:X}H"
        module[place:place + len(data)] = data
    return bytes(module)


@dataclasses.dataclass
class Expected:
    name: str
    header: dict             # the header's words, by mz.py's names
    relocations: list        # where each relocated word is in the load module
    module: bytes
    exit_code: int


def expect(name, module, relocations, min_alloc, ss, sp, cs, ip, exit_code=0):
    """A program's .EXE: its header is 28 bytes and 4 per relocation,
    rounded up to a paragraph; the file's length counts it."""
    paragraphs = (28 + 4 * len(relocations) + 15) // 16
    file_bytes = paragraphs * 16 + len(module)
    header = {"signature": 0x5A4D, "last_page_bytes": file_bytes % 512, "pages": (file_bytes + 511) // 512,
              "relocation_count": len(relocations), "header_paragraphs": paragraphs, "min_alloc": min_alloc,
              "max_alloc": 0xFFFF, "ss": ss, "sp": sp, "checksum": 0, "ip": ip, "cs": cs,
              "relocation_table": 0x1C, "overlay": 0}
    return Expected(name, header, relocations, module, exit_code)


# ---- lab_sum.asm: .MODEL SMALL, .STACK 100H, .DATA, .CODE --------------------------
#
# _TEXT     0000-0071  72H bytes of code
# _DATA     0072-008F  at the next word; DGROUP's frame is paragraph 7
#                      (0070H), so _DATA's offsets start at 2
# STACK     0090-018F  a paragraph, 100H bytes, not written
#
# In DGROUP: MSG1 0002, MSG2 000B, MARKS 0016, BONUS 001B, SUM 001D, COUNT 001F.
# A variable's offset is a word wherever it stands, as in MARKS[SI].
LAB_TEXT = code(
    "B8", w(0x0007),        # 0000  MOV AX,@DATA           (relocated)
    "8E D8",                # 0003  MOV DS,AX
    "8B 1E", w(0x001B),     # 0005  MOV BX,BONUS           the word, not its address
    "33 C0",                # 0009  XOR AX,AX
    "BE 00 00",             # 000B  MOV SI,0
    "B9 05 00",             # 000E  MOV CX,N
    "02 84", w(0x0016),     # 0011  NEXT: ADD AL,MARKS[SI]
    "80 D4 00",             # 0015  ADC AH,0
    "FE 06", w(0x001F),     # 0018  INC COUNT              a byte
    "46",                   # 001C  INC SI
    "E2 F2",                # 001D  LOOP NEXT
    "03 C3",                # 001F  ADD AX,BX
    "A3", w(0x001D),        # 0021  MOV SUM,AX
    "8D 16", w(0x0002),     # 0024  LEA DX,MSG1
    "B4 09", "CD 21",       # 0028  MOV AH,09H; INT 21H
    "A1", w(0x001D),        # 002C  MOV AX,SUM
    "E8", w(0x0057 - 0x0032),  # 002F  CALL PRINTNUM
    "BA", w(0x000B),        # 0032  MOV DX,OFFSET MSG2
    "B4 09", "CD 21",       # 0035
    "A0", w(0x001F),        # 0039  MOV AL,COUNT
    "B4 00",                # 003C  MOV AH,0
    "E8", w(0x0057 - 0x0041),  # 003E  CALL PRINTNUM
    "BB", w(0x4F4B),        # 0041  MOV BX,'OK'            'O' in BH
    "B4 02",                # 0044  MOV AH,02H
    "B2 20", "CD 21",       # 0046  MOV DL,' '; INT 21H
    "8A D7", "CD 21",       # 004A  MOV DL,BH; INT 21H
    "8A D3", "CD 21",       # 004E  MOV DL,BL; INT 21H
    "B8 00 4C", "CD 21",    # 0052  MOV AX,4C00H; INT 21H
    "BB 0A 00",             # 0057  PRINTNUM: MOV BX,10
    "33 C9",                # 005A  XOR CX,CX
    "33 D2",                # 005C  DIVIDE: XOR DX,DX
    "F7 F3",                # 005E  DIV BX
    "52", "41",             # 0060  PUSH DX; INC CX
    "83 F8 00",             # 0062  CMP AX,0
    "75 F5",                # 0065  JNE DIVIDE
    "5A",                   # 0067  SHOW: POP DX
    "80 C2 30",             # 0068  ADD DL,'0'
    "B4 02", "CD 21",       # 006B
    "E2 F6",                # 006F  LOOP SHOW
    "C3")                   # 0071  RET
LAB_DATA = code(b"Total = $", b"\r\nCount = $", bytes([12, 25, 7, 40, 16]), w(1000), w(0), b"\0")
LAB_MODULE = module_of(0x90, (0x0000, LAB_TEXT), (0x0072, LAB_DATA))
LAB = expect("lab_sum", LAB_MODULE, [0x0001], min_alloc=(0x190 - 0x90) // 16, ss=0x0009, sp=0x0100, cs=0, ip=0)


# ---- extra_segment.asm: SEGMENT, ASSUME CS:CODE,DS:DATA,ES:EXTRA,SS:STACK -----------
#
# Classes in order of appearance: '' (DATA, EXTRA, CODE), then 'STACK'.
# DATA      0000-0032  paragraph 0
# EXTRA     0040-0068  paragraph 4: COPY 0000, MARK 0028
# CODE      0070-00C6  paragraph 7
# STACK     00D0-014F  paragraph 0DH, not written
#
# In DATA: SOURCE 0000 (15H bytes), SAME 0015, DIFF 0024.
EXTRA_DATA = code(b"Segments: DS to ES\r\n$", b"Copy matches\r\n$", b"Copy differs\r\n$")
EXTRA_EXTRA = code(bytes(40), b"#")
EXTRA_CODE = code(
    "B8", w(0x0000),        # 0000  MOV AX,DATA            (relocated)
    "8E D8",                # 0003  MOV DS,AX
    "B8", w(0x0004),        # 0005  MOV AX,EXTRA           (relocated)
    "8E C0",                # 0008  MOV ES,AX
    "FC",                   # 000A  CLD
    "8D 36", w(0x0000),     # 000B  LEA SI,SOURCE
    "BF", w(0x0000),        # 000F  MOV DI,OFFSET COPY
    "B9", w(0x0015),        # 0012  MOV CX,LEN
    "F3 A4",                # 0015  REP MOVSB
    "8D 36", w(0x0000),     # 0017  LEA SI,SOURCE
    "BF", w(0x0000),        # 001B  MOV DI,OFFSET COPY
    "B9", w(0x0015),        # 001E  MOV CX,LEN
    "F3 A6",                # 0021  REPE CMPSB
    "75 06",                # 0023  JNE BAD
    "BA", w(0x0015),        # 0025  MOV DX,OFFSET SAME
    "E9", w(0x002E - 0x002B),  # 0028  JMP SHOW
    "BA", w(0x0024),        # 002B  BAD: MOV DX,OFFSET DIFF
    "B4 09", "CD 21",       # 002E  SHOW: MOV AH,09H; INT 21H
    "26 8A 16", w(0x0028),  # 0032  MOV DL,MARK            ES: from the ASSUME
    "B4 02", "CD 21",       # 0037  MOV AH,02H; INT 21H
    "26 C6 06", w(0x0028), "2A",  # 003B  MOV MARK,'*'
    "1E", "06", "1F",       # 0041  PUSH DS; PUSH ES; POP DS
    "8A 16", w(0x0028),     # 0044  MOV DL,MARK            after ASSUME DS:EXTRA
    "CD 21",                # 0048  INT 21H
    "BA", w(0x0000),        # 004A  MOV DX,OFFSET COPY
    "B4 09", "CD 21",       # 004D  MOV AH,09H; INT 21H
    "1F",                   # 0051  POP DS
    "B8 00 4C", "CD 21")    # 0052  MOV AX,4C00H; INT 21H
EXTRA_MODULE = module_of(0xC7, (0x0000, EXTRA_DATA), (0x0040, EXTRA_EXTRA), (0x0070, EXTRA_CODE))
EXTRA = expect("extra_segment", EXTRA_MODULE, [0x0070 + 0x01, 0x0070 + 0x06], min_alloc=(0x150 - 0xC7 + 15) // 16,
               ss=0x000D, sp=0x0080, cs=0x0007, ip=0)


# ---- far_procedures.asm: CALL FAR PTR, CALL of a FAR procedure, CALL DWORD PTR -------
#
# One class, '': the segments in the order written.
# DATA      0000-0012  paragraph 0: HELLO 0000, VECTOR 000F
# STACK     0020-011F  paragraph 2, written (code follows it)
# CODE      0120-014C  paragraph 12H
# LIB       0150-017F  paragraph 15H: GREET 0000, STARS 000F, LIBMSG 0020
FAR_DATA = code(b"Main program\r\n$", w(0x000F), w(0x0015))  # VECTOR DD STARS
FAR_CODE = code(
    "B8", w(0x0000),        # 0000  MOV AX,DATA            (relocated)
    "8E D8",                # 0003  MOV DS,AX
    "BA", w(0x0000),        # 0005  MOV DX,OFFSET HELLO
    "B4 09", "CD 21",       # 0008
    "9A", w(0x0000), w(0x0015),  # 000C  CALL FAR PTR GREET  (segment relocated)
    "B9 03 00",             # 0011  MOV CX,3
    "9A", w(0x000F), w(0x0015),  # 0014  CALL STARS          (segment relocated)
    "B9 05 00",             # 0019  MOV CX,5
    "FF 1E", w(0x000F),     # 001C  CALL DWORD PTR VECTOR
    "B8", w(0x0015),        # 0020  MOV AX,SEG LIBMSG      (relocated)
    "8E C0",                # 0023  MOV ES,AX
    "26 A0", w(0x0020),     # 0025  MOV AL,ES:LIBMSG
    "B4 4C", "CD 21")       # 0029  MOV AH,4CH; INT 21H
FAR_LIB = code(
    "1E",                   # 0000  GREET: PUSH DS
    "B8", w(0x0015),        # 0001  MOV AX,SEG LIBMSG      (relocated)
    "8E D8",                # 0004  MOV DS,AX
    "BA", w(0x0020),        # 0006  MOV DX,OFFSET LIBMSG
    "B4 09", "CD 21",       # 0009
    "1F",                   # 000D  POP DS
    "CB",                   # 000E  RET                    far
    "B4 02",                # 000F  STARS: MOV AH,02H
    "B2 2A", "CD 21",       # 0011  AGAIN: MOV DL,'*'; INT 21H
    "E2 FA",                # 0015  LOOP AGAIN
    "B2 0D", "CD 21",       # 0017
    "B2 0A", "CD 21",       # 001B
    "CB",                   # 001F  RET                    far
    b"Far procedure\r\n$")  # 0020  LIBMSG
FAR_MODULE = module_of(0x180, (0x0000, FAR_DATA), (0x0120, FAR_CODE), (0x0150, FAR_LIB))
FAR = expect("far_procedures", FAR_MODULE, [0x0011, 0x0120 + 0x01, 0x0120 + 0x0F, 0x0120 + 0x17, 0x0120 + 0x21,
                                            0x0150 + 0x02],
             min_alloc=0, ss=0x0002, sp=0x0100, cs=0x0012, ip=0, exit_code=ord("F"))


# ---- startup_exit.asm: .STARTUP, .EXIT 3, .CONST, .DATA? -------------------------
#
# DOS's order: _TEXT, then DGROUP: CONST and _DATA in the order of their
# classes' appearance, then _BSS, then STACK.
# _TEXT     0000-0091  92H bytes of code
# CONST     0092-009A  DGROUP's frame is paragraph 9 (0090H): offsets from 2
# _DATA     009C-00A6  the last byte written: the load module is A7H bytes
# _BSS      00A8-00C3  not written, TOTAL's DW ? no more than the DUP(?)s
# STACK     00D0-02CF  paragraph 0DH
#
# In DGROUP: HEADING 0002, SUMMSG 000C, DONE 0014, TOTAL 0018, SQUARES 001A,
# DIGITS 002E.
STARTUP_TEXT = code(
    "BA", w(0x0009),        # 0000  .STARTUP: MOV DX,DGROUP (relocated)
    "8E DA", "8C D3", "2B DA",  #     MOV DS,DX; MOV BX,SS; SUB BX,DX
    "D1 E3" * 4,            #       SHL BX,1 four times
    "FA", "8E D2", "03 E3", "FB",  # CLI; MOV SS,DX; ADD SP,BX; STI
    "C7 06", w(0x0018), w(0),  # 0017  MOV TOTAL,0
    "B9 0A 00",             # 001D  MOV CX,10
    "BB 01 00",             # 0020  MOV BX,1
    "BF 00 00",             # 0023  MOV DI,0
    "8B C3",                # 0026  FILL: MOV AX,BX
    "F7 E3",                # 0028  MUL BX
    "89 85", w(0x001A),     # 002A  MOV SQUARES[DI],AX
    "01 06", w(0x0018),     # 002E  ADD TOTAL,AX
    "83 C7 02",             # 0032  ADD DI,2
    "43",                   # 0035  INC BX
    "E2 EE",                # 0036  LOOP FILL
    "BA", w(0x0002),        # 0038  MOV DX,OFFSET HEADING
    "B4 09", "CD 21",       # 003B
    "BE 00 00",             # 003F  MOV SI,0
    "B9 0A 00",             # 0042  MOV CX,10
    "B2 20",                # 0045  PRINT: MOV DL,' '
    "B4 02", "CD 21",       # 0047
    "8B 84", w(0x001A),     # 004B  MOV AX,SQUARES[SI]
    "E8", w(0x0070 - 0x0052),  # 004F  CALL PUTNUM
    "83 C6 02",             # 0052  ADD SI,2
    "E2 EE",                # 0055  LOOP PRINT
    "BA", w(0x000C),        # 0057  MOV DX,OFFSET SUMMSG
    "B4 09", "CD 21",       # 005A
    "A1", w(0x0018),        # 005E  MOV AX,TOTAL
    "E8", w(0x0070 - 0x0064),  # 0061  CALL PUTNUM
    "BA", w(0x0014),        # 0064  MOV DX,OFFSET DONE
    "B4 09", "CD 21",       # 0067
    "B8 03 4C", "CD 21",    # 006B  .EXIT 3
    "51", "56",             # 0070  PUTNUM: PUSH CX; PUSH SI
    "BE", w(0x002E + 5),    # 0072  MOV SI,OFFSET DIGITS+5
    "C6 04 24",             # 0075  MOV BYTE PTR [SI],'$'
    "BB 0A 00",             # 0078  MOV BX,10
    "33 D2",                # 007B  NEXTDIG: XOR DX,DX
    "F7 F3",                # 007D  DIV BX
    "80 C2 30",             # 007F  ADD DL,'0'
    "4E",                   # 0082  DEC SI
    "88 14",                # 0083  MOV [SI],DL
    "0B C0",                # 0085  OR AX,AX
    "75 F2",                # 0087  JNZ NEXTDIG
    "8B D6",                # 0089  MOV DX,SI
    "B4 09", "CD 21",       # 008B
    "5E", "59", "C3")       # 008F  POP SI; POP CX; RET
STARTUP_DATA = code(b"\r\nSum: $", b"\r\n$")
STARTUP_MODULE = module_of(0xA7, (0x0000, STARTUP_TEXT), (0x0092, b"Squares:$"), (0x009C, STARTUP_DATA))
STARTUP = expect("startup_exit", STARTUP_MODULE, [0x0001], min_alloc=(0x2D0 - 0xA7 + 15) // 16, ss=0x000D,
                 sp=0x0200, cs=0, ip=0, exit_code=3)


# ---- groups.asm: GROUP, ASSUME DS:DGROUP, then ASSUME DS at a member ---------------
#
# Classes in order of appearance: 'DATA', 'STACK', 'CODE'.
# NAMES     0000-0007  paragraph 0, DGROUP's frame: FIRST 0000
# NUMBERS   0010-0011  paragraph 1: DIGIT 0010 in DGROUP, LETTER 0001 in NUMBERS
# STACK     0020-005F  paragraph 2, written (code follows it)
# CODE      0060-0085  paragraph 6
GROUPS_CODE = code(
    "B8", w(0x0000),        # 0000  MOV AX,DGROUP          (relocated)
    "8E D8",                # 0003  MOV DS,AX
    "BA", w(0x0000),        # 0005  MOV DX,OFFSET FIRST
    "B4 09", "CD 21",       # 0008
    "8A 16", w(0x0010),     # 000C  MOV DL,DIGIT           in DGROUP
    "B4 02", "CD 21",       # 0010
    "B8", w(0x0001),        # 0014  MOV AX,NUMBERS         (relocated)
    "8E D8",                # 0017  MOV DS,AX
    "8A 16", w(0x0001),     # 0019  MOV DL,LETTER          in NUMBERS, as ASSUME says
    "B4 02", "CD 21",       # 001D
    "B8 00 4C", "CD 21")    # 0021  MOV AX,4C00H; INT 21H
GROUPS_MODULE = module_of(0x86, (0x0000, b"Group: $"), (0x0010, b"7N"), (0x0060, GROUPS_CODE))
GROUPS = expect("groups", GROUPS_MODULE, [0x0060 + 0x01, 0x0060 + 0x15], min_alloc=0, ss=0x0002, sp=0x0040,
                cs=0x0006, ip=0)


PROGRAMS = [LAB, EXTRA, FAR, STARTUP, GROUPS]

# The sizes the layouts above give each hand-made segment: a byte left out
# or added would move every address after it.
SEGMENT_SIZES = [("lab_sum _TEXT", LAB_TEXT, 0x72), ("lab_sum _DATA", LAB_DATA, 0x1E),
                 ("extra_segment DATA", EXTRA_DATA, 0x33), ("extra_segment EXTRA", EXTRA_EXTRA, 0x29),
                 ("extra_segment CODE", EXTRA_CODE, 0x57), ("far_procedures DATA", FAR_DATA, 0x13),
                 ("far_procedures CODE", FAR_CODE, 0x2D), ("far_procedures LIB", FAR_LIB, 0x30),
                 ("startup_exit _TEXT", STARTUP_TEXT, 0x92),
                 ("startup_exit _DATA", STARTUP_DATA, 0x0B), ("groups CODE", GROUPS_CODE, 0x26)]


def check_layouts():
    return [f"{what}: {len(data):X}H bytes made, the layout says {size:X}H"
            for what, data, size in SEGMENT_SIZES if len(data) != size]


def check_exe(expected, image):
    problems = []
    found = read_header(image)
    for field, value in expected.header.items():
        if found[field] != value:
            problems.append(f"{field} {found[field]:04X}H, expected {value:04X}H")
    places = sorted(segment * 16 + offset for segment, offset in found["relocations"])
    if places != sorted(expected.relocations):
        problems.append(f"relocations at {[f'{p:04X}H' for p in places]}, "
                        f"expected {[f'{p:04X}H' for p in sorted(expected.relocations)]}")
    if len(image) != found["header_paragraphs"] * 16 + len(expected.module):
        problems.append(f"the file is {len(image)} bytes")
    module = found["module"]
    if len(module) != len(expected.module):
        problems.append(f"the load module is {len(module):X}H bytes, expected {len(expected.module):X}H")
    differ = next((i for i, (a, b) in enumerate(zip(module, expected.module)) if a != b), None)
    if differ is not None:
        problems.append(f"the load module differs from byte {differ:04X}H: "
                        f"{module[differ:differ + 8].hex(' ')} where {expected.module[differ:differ + 8].hex(' ')}")
    return problems


def check_run(expected, image, wanted, vexa_run, program):
    try:
        emulated = run_exe(image)
    except ProgramError as error:
        return [f"the emulator: {error}"]
    problems = []
    if emulated != (wanted, expected.exit_code):
        problems.append(f"the emulator: {emulated}, expected {(wanted, expected.exit_code)}")
    try:
        run = subprocess.run([vexa_run, str(program)], stdin=subprocess.DEVNULL, capture_output=True,
                             timeout=RUN_TIMEOUT)
    except subprocess.TimeoutExpired:
        return problems + [f"vexa-run did not end within {RUN_TIMEOUT} s"]
    if (run.stdout, run.returncode) != (wanted, expected.exit_code) or run.stderr:
        problems.append(f"vexa-run: {(run.stdout, run.returncode)} {run.stderr!r}")
    return problems


def check(expected, vexa, vexa_run, folder, workdir):
    source = folder / f"{expected.name}.asm"
    shutil.copy(source, workdir)
    assembled = subprocess.run([vexa, "-q", source.name], cwd=workdir, capture_output=True, text=True)
    if assembled.returncode != 0 or assembled.stdout or assembled.stderr:
        return [f"assembly failed ({assembled.returncode}):\n{assembled.stdout}{assembled.stderr}"]
    program = workdir / f"{expected.name}.EXE"
    if not program.exists() or (workdir / f"{expected.name}.COM").exists():
        return [f"no {program.name} written, or a .COM beside it"]
    image = program.read_bytes()
    problems = check_exe(expected, image)
    wanted = source.with_suffix(".out").read_bytes()
    return problems + check_run(expected, image, wanted, vexa_run, program)


def main():
    vexa, vexa_run = (str(pathlib.Path(arg).resolve()) for arg in sys.argv[1:3])
    folder = pathlib.Path(sys.argv[3])
    failures = 0
    layout = check_layouts()
    if layout:
        print("FAIL  the hand layouts" + "".join(f"\n      {p}" for p in layout))
        return 1
    for expected in PROGRAMS:
        with tempfile.TemporaryDirectory() as temp:
            problems = check(expected, vexa, vexa_run, folder, pathlib.Path(temp))
        print(f"{'FAIL' if problems else 'ok'}  {expected.name}.asm" + "".join(f"\n      {p}" for p in problems))
        failures += bool(problems)
    print(f"{len(PROGRAMS) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
