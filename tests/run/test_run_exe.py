#!/usr/bin/env python3
"""vexa-run with .EXE programs built byte by byte (tests/emulator/exe_programs.py):
the registers a program starts with, the signature rather than the name
telling an .EXE, the command tail through DS, and the files it refuses.

usage: test_run_exe.py VEXA_RUN
"""
import dataclasses
import pathlib
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "emulator"))
from exe_programs import EXIT_0, PRINT, THREE_SEGMENTS, Label, link, refused

TIMEOUT = 60

# The tail's length at DS:80H, its text after it: ended with a '$' and printed.
PRINT_TAIL = link([
    ("CODE", [Label("start"), b"\x8A\x1E\x80\x00\xB7\x00",          # MOV BL,[80H]; MOV BH,0
              b"\xC6\x87\x81\x00$",                                 # MOV BYTE PTR [BX+81H],'$'
              b"\xBA\x81\x00", PRINT, EXIT_0]),                     # MOV DX,81H
], "start")

COM_EXIT_7 = b"\xB8\x07\x4C\xCD\x21"  # MOV AX,4C07H; INT 21H

# CS and SS are the load segment, 1010H, plus the header's 2 and 7; DS and
# ES the prefix's segment. The first instruction is MOV AX,DATA: DATA, the
# first segment, relocated to the load segment.
FIRST_TRACE_LINE = ("1012:0003  B8 10 10" + " " * 17 + "MOV AX,1010H" + " " * 34
                    + "AX=0000 BX=0000 CX=0000 DX=0000 SP=0100 BP=0000 SI=0000 DI=0000 DS=1000 ES=1000 SS=1017 FL=F202\n")


@dataclasses.dataclass
class Case:
    what: str
    name: str
    image: bytes
    args: list = dataclasses.field(default_factory=list)
    stdout: bytes = b""
    stderr: str = ""
    status: int = 0


CASES = [
    Case("an .EXE runs", "PROG.EXE", THREE_SEGMENTS, stdout=b"Hello, data far *", status=5),
    Case("the starting registers", "PROG.EXE", THREE_SEGMENTS, ["--trace", "--limit", "1"],
         stderr=FIRST_TRACE_LINE + "vexa-run: the instruction limit of 1 was reached\n", status=124),
    Case("an .EXE named .COM is an .EXE", "PROG.COM", THREE_SEGMENTS, stdout=b"Hello, data far *", status=5),
    Case("an .EXE under any name", "PROG", THREE_SEGMENTS, stdout=b"Hello, data far *", status=5),
    Case("a .COM named .EXE is a .COM", "PROG.EXE", COM_EXIT_7, status=7),
    Case("the command tail", "PROG.EXE", PRINT_TAIL, ["--", "one", "two"], stdout=b" one two"),
] + [Case(f"refused: {what}", "PROG.EXE", image, stderr=f"vexa-run: PROG.EXE {reason}\n", status=125)
     for what, image, reason in refused()]


def check(vexa_run, case, workdir):
    (workdir / case.name).write_bytes(case.image)
    result = subprocess.run([vexa_run, case.name] + case.args, stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=TIMEOUT, cwd=workdir)
    problems = []
    if result.returncode != case.status:
        problems.append(f"exit status {result.returncode}, expected {case.status}")
    if result.stdout != case.stdout:
        problems.append(f"stdout {result.stdout!r}, expected {case.stdout!r}")
    stderr = result.stderr.decode(errors="replace")
    if stderr != case.stderr:
        problems.append(f"stderr {stderr!r}, expected {case.stderr!r}")
    return problems


def main():
    vexa_run = str(pathlib.Path(sys.argv[1]).resolve())
    failures = 0
    for case in CASES:
        with tempfile.TemporaryDirectory() as temp:
            try:
                problems = check(vexa_run, case, pathlib.Path(temp))
            except subprocess.TimeoutExpired as error:
                problems = [str(error)]
        print(f"{'FAIL' if problems else 'ok'}  {case.what}" + "".join(f"\n      {p}" for p in problems))
        failures += bool(problems)
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
