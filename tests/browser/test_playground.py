#!/usr/bin/python3
"""The playground page in headless Chromium, against the native commands.

Each source assembled on the page must give the bytes and listing that
`vexa PROGRAM.ASM -l -p=N` gives, and the messages, each once with its place
and notes, that `vexa PROGRAM.ASM --diagnostics=gnu` gives, their lines marked
in the editor's gutter; each program run there must print and end as
`vexa-run PROGRAM.COM --input TEXT` does. Also: the editor's keys, the
example menu, Stop on an endless program, the source kept in the address,
the page served over HTTP, and a screenshot.

usage: test_playground.py WEB_DIR VEXA VEXA_RUN EXAMPLES_DIR SCREENSHOT.png
"""
import base64
import dataclasses
import functools
import http.server
import os
import pathlib
import re
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

WAIT = 15                  # seconds for any one thing the page does
PROMPT = 1.0               # seconds a script call may take while a program runs
DEFAULT_LIMIT = 100000000  # the page's instruction limit
WIDTH, HEIGHT = 1400, 900
SCROLLBACK_LINES = 10000  # the console's lines at the end of a run
CHECK_SECONDS = 40         # a check that takes longer finds the page frozen


# ---- The native commands -------------------------------------------------------

@dataclasses.dataclass
class Assembly:
    status: int
    out: str  # "Pass 1" and so on
    err: str  # the banner, then the messages
    image: bytes
    listing: str  # CR LF as LF
    gnu: str  # the messages each once: `vexa --diagnostics=gnu`

    @property
    def settled(self):
        """The GNU messages as the page words them: "line 2, column 3: error: ..." and plain notes."""
        text = re.sub(r"^[^:\n]+:\d+:\d+: note: ", "note: ", self.gnu, flags=re.MULTILINE)
        text = re.sub(r"^PROGRAM\.ASM:(\d+):(\d+): ", r"line \1, column \2: ", text, flags=re.MULTILINE)
        text = re.sub(r"^([^:\n]+):(\d+):(\d+): ", r"\1, line \2, column \3: ", text, flags=re.MULTILINE)
        text = re.sub(r"^(PROGRAM\.ASM|vexa): ", "", text, flags=re.MULTILINE)
        return re.sub(r" \[-w=(\w+)\]$", r" [\1]", text, flags=re.MULTILINE).removesuffix("\n")

    @property
    def placed(self):
        """(line, column as shown, "error" or "warning") of each message on a line of the source."""
        return [(int(line), int(column), kind) for line, column, kind
                in re.findall(r"^PROGRAM\.ASM:(\d+):(\d+): (error|warning): ", self.gnu, re.MULTILINE)]

    @property
    def messages(self):
        """The messages, without the banner, as the page should show them."""
        return self.err.split("\n", 1)[1].removesuffix("\n") if "\n" in self.err else ""

    @property
    def passes(self):
        return self.out.count("Pass ")


def assemble_natively(vexa, source, lines_per_page=None):
    """`vexa PROGRAM.ASM -l -p=N`, without -p when lines_per_page is None."""
    page_option = [] if lines_per_page is None else [f"-p={lines_per_page}"]
    with tempfile.TemporaryDirectory() as temp:
        work = pathlib.Path(temp)
        (work / "PROGRAM.ASM").write_bytes(source.encode("latin-1"))
        done = subprocess.run([vexa, "PROGRAM.ASM", "-l"] + page_option, cwd=work,
                              capture_output=True, timeout=WAIT)
        image = work / "PROGRAM.COM"
        if not image.exists():
            image = work / "PROGRAM.EXE"  # a program of MASM's segments
        listing = work / "PROGRAM.LST"
        image = image.read_bytes() if image.exists() else b""
        listing = listing.read_bytes().decode("latin-1").replace("\r\n", "\n") if listing.exists() else ""
        gnu = subprocess.run([vexa, "PROGRAM.ASM", "-q", "--diagnostics=gnu", "-o=GNU.COM"], cwd=work,
                             capture_output=True, timeout=WAIT)
        return Assembly(done.returncode, done.stdout.decode("latin-1"), done.stderr.decode("latin-1"),
                        image, listing, gnu.stderr.decode("latin-1"))


@dataclasses.dataclass
class Run:
    output: bytes
    ending: str
    exit_code: int | None  # None when the program did not exit


CPU_186 = re.compile(r"^\s*(CPU\s+186|\.186)\b", re.IGNORECASE | re.MULTILINE)


def cpu_options(source):
    """vexa-run's processor for a source: the 80186 when it enables its instructions."""
    return ["--cpu=186"] if CPU_186.search(source) else []


def run_natively(vexa_run, image, text, limit, options=()):
    with tempfile.TemporaryDirectory() as temp:
        program = pathlib.Path(temp) / "PROGRAM.COM"
        program.write_bytes(image)
        done = subprocess.run([vexa_run, *options, str(program), "--input", text, "--limit", str(limit)],
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=WAIT * 4)
    stderr = done.stderr.decode("latin-1")
    if not stderr:
        return Run(done.stdout, f"the program exited with code {done.returncode}", done.returncode)
    return Run(done.stdout, stderr.removeprefix("vexa-run: ").rstrip("\n"), None)


def hex_dump(image, origin):
    lines = []
    for offset in range(0, len(image), 16):
        row = image[offset:offset + 16]
        cells = " ".join(f"{byte:02X}" for byte in row)
        text = "".join(chr(byte) if 0x20 <= byte < 0x7F else "." for byte in row)
        lines.append(f"{(origin + offset) & 0xFFFF:04X}  {cells:<47}  {text}")
    return "\n".join(lines) if lines else "(no bytes)"


def statement_errors(messages):
    """(line number, the two lines) for each statement error of the main source in the messages."""
    lines = messages.rstrip("\n").split("\n")
    return [(int(lines[i][:6]), f"{lines[i]}\n{lines[i + 1]}")
            for i in range(len(lines) - 1)
            if lines[i][:6].isdigit() and lines[i][6:9] == " : " and lines[i + 1].startswith("\t")]


def in_address(source):
    return "#source=" + base64.urlsafe_b64encode(source.encode("utf-8")).decode().rstrip("=")


# ---- The page --------------------------------------------------------------------

class Page:
    def __init__(self, driver):
        self.driver = driver

    def wait(self, script, what, timeout=WAIT):
        try:
            return WebDriverWait(self.driver, timeout, poll_frequency=0.02).until(
                lambda d: d.execute_script(script))
        except TimeoutException:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}") from None

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def element(self, id_):
        return self.driver.find_element(By.ID, id_)

    def open(self, url):
        self.driver.get("about:blank")  # a new document even when only the hash differs
        self.driver.get(url)
        self.wait("return !!(window.vexaPlayground && vexaPlayground.ready)", "the page to be ready")

    def set_source(self, source):
        self.js("const e = document.getElementById('source'); e.value = arguments[0];"
                "e.dispatchEvent(new Event('input', {bubbles: true}));", source)

    def source(self):
        return self.js("return document.getElementById('source').value")

    def set_field(self, id_, value):
        field = self.element(id_)
        field.clear()
        field.send_keys(str(value))

    def assemble(self, lines_per_page):
        self.set_field("lines-per-page", lines_per_page)
        self.element("assemble").click()
        self.wait(f"const p = vexaPlayground; return !!p.assembled && p.assembledPageLength === {lines_per_page}"
                  " && p.assembledSource === document.getElementById('source').value", "the assembly")
        return self.assembly()

    def assembly(self):
        return self.js("""
            const a = vexaPlayground.assembled;
            return {status: a.status, passes: a.passes, messages: a.messages, image: Array.from(a.image),
                    origin: a.origin, status_line: document.getElementById('status').textContent,
                    listing: a.listing, source: vexaPlayground.assembledSource,
                    entries: Array.from(document.querySelectorAll('#messages > *'), (e) => ({
                        button: e.tagName === "BUTTON", kind: e.classList[1], text: e.textContent,
                        line: e.dataset.line ? Number(e.dataset.line) : null,
                        place: e.querySelector('.place')?.textContent, message: e.querySelector('.text').textContent,
                        notes: Array.from(e.querySelectorAll('.note'), (n) => n.textContent)})),
                    marks: Array.from(document.querySelectorAll('#gutter .mark'), (m) => {
                        // How far the mark lies from its line in the editor, in pixels.
                        const e = document.getElementById('source'), style = getComputedStyle(e);
                        const line = Number(m.dataset.line);
                        const top = e.getBoundingClientRect().top + parseFloat(style.paddingTop) - e.scrollTop +
                                    (line - 1) * parseFloat(style.lineHeight);
                        return [line, m.classList[1], m.title, m.getBoundingClientRect().top - top];
                    }),
                    gutter: document.getElementById('gutter').textContent,
                    hexDump: document.getElementById('hex-dump').textContent,
                    listingText: document.getElementById('listing-text').textContent};""")

    def prepare_run(self, text, limit):
        self.driver.find_element(By.CSS_SELECTOR, ".tabs [data-tab=run-tab]").click()
        if text:
            self.set_field("program-input", text)
        else:
            self.element("program-input").clear()
        self.set_field("limit", limit)

    def wait_for_run(self, timeout=WAIT):
        self.wait("return !vexaPlayground.running && document.getElementById('ending').textContent !== ''",
                  "the run to end", timeout)
        return self.last_run()

    def last_run(self):
        return self.js("""
            const r = vexaPlayground.lastRun;
            return {output: Array.from(r.output), ending: r.ending, exitCode: r.exitCode, executed: r.executed,
                    endingText: document.getElementById('ending').textContent,
                    endingClass: document.getElementById('ending').className,
                    console: document.getElementById('console').textContent,
                    registers: Array.from(document.querySelectorAll('#registers td'), (td) => td.textContent)};""")


def compare_assembly(page, assembled, native, origin):
    problems = []
    if assembled["status"] != native.status:
        problems.append(f"status {assembled['status']}, vexa's exit status {native.status}")
    if assembled["passes"] != native.passes:
        problems.append(f"{assembled['passes']} passes, vexa ran {native.passes}")
    shown = "\n".join(entry["text"] for entry in assembled["entries"])
    if shown != native.settled:
        problems.append(f"the messages box shows {shown!r}\n        vexa printed {native.settled!r}")
    kept = [m for m in assembled["messages"] if m["line"] and m["severity"] != "note" and not m["file"]]
    if [(m["line"], m["displayColumn"], m["severity"] != "error" or m["code"] < 0) for m in kept] != \
            [(line, column, True) for line, column, _ in native.placed]:
        problems.append(f"the errors and warnings as data {kept}")
    buttons = [entry["line"] for entry in assembled["entries"] if entry["button"]]
    if buttons != [line for line, _, _ in native.placed]:
        problems.append(f"entries leading to lines {buttons}, expected {native.placed}")
    # The gutter: each line's number, a line with messages marked as its worst, and told them.
    marks = {}
    for line, _, kind in native.placed:
        marks[line] = "error" if "error" in (kind, marks.get(line)) else kind
    if {line: kind for line, kind, _, _ in assembled["marks"]} != marks:
        problems.append(f"the gutter marks {assembled['marks']}, expected {marks}")
    for line, _, title, off in assembled["marks"]:
        if abs(off) >= 1 or any(entry["message"] not in title for entry in assembled["entries"]
                                if entry["line"] == line):
            problems.append(f"the mark of line {line}, {off} pixels from it, reads {title!r}")
    if assembled["gutter"] != "\n".join(str(n) for n in range(1, assembled["source"].count("\n") + 2)):
        problems.append(f"the gutter's numbers {assembled['gutter'][:80]!r}...")
    hidden = [e.text for e in page.driver.find_elements(By.CSS_SELECTOR, "#messages > *") if not e.is_displayed()]
    if hidden:
        problems.append(f"messages not shown: {hidden[:3]}")
    if assembled["origin"] != origin:
        problems.append(f"origin {assembled['origin']:04X}H, expected {origin:04X}H")
    if bytes(assembled["image"]) != native.image:
        problems.append(f"image {bytes(assembled['image'])[:64].hex()}...\n"
                        f"        vexa wrote {native.image[:64].hex()}...")
    if assembled["hexDump"] != hex_dump(native.image, origin):
        problems.append(first_difference("the hex dump", assembled["hexDump"], hex_dump(native.image, origin)))
    if assembled["listing"].replace("\r\n", "\n") != native.listing:
        problems.append("the engine's listing differs from vexa's")
    if assembled["listingText"] != native.listing:
        problems.append(first_difference("the listing shown", assembled["listingText"], native.listing))
    return problems


def first_difference(what, got, expected):
    got_lines, expected_lines = got.split("\n"), expected.split("\n")
    for number, (one, other) in enumerate(zip(got_lines, expected_lines), 1):
        if one != other:
            return f"{what}, line {number}: {one!r}\n        expected {other!r}"
    return f"{what}: {len(got_lines)} lines, expected {len(expected_lines)}"


def compare_run(shown, native):
    problems = []
    output = bytes(shown["output"])
    if output != native.output:
        problems.append(f"output {output[:200]!r}\n        vexa-run printed {native.output[:200]!r}")
    if shown["ending"] != native.ending:
        problems.append(f"ending {shown['ending']!r}, vexa-run: {native.ending!r}")
    if native.exit_code is not None and shown["exitCode"] != native.exit_code:
        problems.append(f"exit code {shown['exitCode']}, vexa-run's status {native.exit_code}")
    if not shown["endingText"].startswith(native.ending[:1].upper() + native.ending[1:] + ";"):
        problems.append(f"the ending shown: {shown['endingText']!r}")
    good = native.exit_code == 0
    if ("good" in shown["endingClass"].split()) != good:
        problems.append(f"the ending is marked {shown['endingClass']!r}")
    # Plain text shows as itself, CR LF as one line end, its last lines only
    # when there are many.
    if all(0x20 <= byte < 0x7F or byte in b"\r\n" for byte in output) and b"\r\n" in output:
        text = output.decode().replace("\r\n", "\n")
        lines = text.split("\n")
        if len(lines) - 1 > SCROLLBACK_LINES:
            text = f"({len(lines) - 1 - SCROLLBACK_LINES} earlier lines not shown)\n" + "\n".join(lines[-SCROLLBACK_LINES - 1:])
        if "\r" not in text and shown["console"] != text:
            problems.append(f"the console shows {shown['console']!r}, expected {text!r}")
    return problems


# ---- The cases ---------------------------------------------------------------------

def program(body, origin="100H"):
    """Statements indented, labels (NAME: or NAME DB) in column 0, between ORG and END."""
    lines = []
    for line in body.strip("\n").split("\n"):
        words = line.split()
        labelled = words[0].endswith(":") or (len(words) > 1 and words[1] in ("DB", "DW"))
        lines.append(line if labelled else "        " + line)
    return f"        ORG {origin}\n" + "\n".join(lines) + "\n        END\n"


def numbered_lines(count, origin):
    return program("".join(f"L{i}: MOV AX,{i}\nDB 'line {i}',0\n" for i in range(count)) + "INT 20H", origin)


@dataclasses.dataclass
class AssemblyCase:
    what: str
    source: str
    lines_per_page: int = 60
    origin: int = 0x100
    error_lines: tuple = ()   # the lines with statement errors
    pages: range = range(1, 2)  # how many pages the listing has


ERRORS = program("""MOV AX,
MOV DX,OFFSET MSG
FOO BX
MOV AH,09H
INT 21H
MOV CL,300
JMP NOWHERE
RET
MSG DB 0DH,0AH,'x$'""")

SETTLING = """        ORG 100H
        MOV SI,OFFSET TABLE
        CMP SI,TABLE_END
        MOV AX,[BX+OFS]
        RET
TABLE:  DB 1,2,3
TABLE_END: DB 0
OFS     EQU 4
        END
"""

NO_INCLUDE = "        ORG 100H\n        INCLUDE 'MACROS.INC'\n        RET\n"

NEVER_SETTLING = """A       EQU B+1
B       EQU A+1
        RET
        END
"""

def assembly_cases(examples):
    return [
        AssemblyCase("a clean example", (examples / "factorial.asm").read_text(encoding="latin-1")),
        AssemblyCase("statement errors", ERRORS, error_lines=(2, 4, 7, 8)),
        AssemblyCase("a listing of several pages, -p=10", numbered_lines(25, "200H"), 10, 0x200,
                     pages=range(5, 7)),
        AssemblyCase("one endless page, -p=7", numbered_lines(25, "200H"), 7, 0x200),
        AssemblyCase("a large source", numbered_lines(1500, "100H"), 60, pages=range(60, 90)),
        AssemblyCase("forward references that take a third pass", SETTLING),
        AssemblyCase("an included file the page does not have, no END", NO_INCLUDE, error_lines=(2,)),
        AssemblyCase("values that never settle", NEVER_SETTLING, origin=0, error_lines=(1,), pages=range(0, 1)),
    ]


def check_assembly(page, vexa, case):
    page.set_source(case.source)
    assembled = page.assemble(case.lines_per_page)
    native = assemble_natively(vexa, case.source, case.lines_per_page)
    problems = compare_assembly(page, assembled, native, case.origin)
    if f"({native.passes} pass" not in assembled["status_line"]:
        problems.append(f"the status line {assembled['status_line']!r} does not say {native.passes} passes")
    # The case must test what it says.
    error_lines = sorted({line for line, _ in statement_errors(native.messages)})
    if error_lines != sorted(case.error_lines):
        problems.append(f"vexa reports errors on lines {error_lines}, the case expects {list(case.error_lines)}")
    pages = len(re.findall(r"Page \d+$", native.listing, re.MULTILINE))
    if pages not in case.pages:
        problems.append(f"vexa's listing has {pages} pages, the case expects {case.pages}")
    return problems + check_entries_lead(page, case.source, native.placed)


def check_entries_lead(page, source, placed):
    """Each entry for a line of the source puts the cursor at its place, the
    later ones first; so does each mark of the gutter, at its line's first message."""
    problems = []
    buttons = page.driver.find_elements(By.CSS_SELECTOR, "#messages > button")
    clicks = list(zip(buttons, placed))[::-1]
    firsts = {}
    for line, column, _ in placed:
        firsts.setdefault(line, column)
    clicks += [(page.driver.find_element(By.CSS_SELECTOR, f"#gutter .mark[data-line='{line}']"), (line, column))
               for line, column in firsts.items()]
    lines = source.split("\n")
    for target, (line, column, *_) in clicks:
        target.click()
        start = sum(len(text) + 1 for text in lines[:line - 1])
        # The character shown at the column, tabs reaching multiples of eight.
        at = start + next(i for i in range(len(lines[line - 1]) + 1)
                          if len(lines[line - 1][:i].expandtabs(8)) + 1 >= column)
        selected = page.js("const e = document.getElementById('source');"
                           "return [e.selectionStart, e.selectionEnd, document.activeElement === e]")
        if selected != [at, at, True]:
            problems.append(f"{target.tag_name} for line {line}, column {column} selects {selected[:2]}"
                            f" (focused {selected[2]}), expected the cursor at {at}")
    return problems


@dataclasses.dataclass
class DiagnosticCase:
    what: str
    source: str
    shown: list  # (kind, place, message, notes or None for any) of each entry, in order
    assembles: bool = False


WARNING_AND_ERROR = "        ORG 100H\n  move ax,1\n  mov [bx],5\n        RET\n        END\n"
TABBED = "\tORG\t100H\n\tmvo\tax,bx\n\tmov\tcs,ax\n\tRET\n\tEND\n"
SIZE_ASSUMED = "Operand size not specified, WORD assumed"

DIAGNOSTIC_CASES = [
    DiagnosticCase("an error with a suggestion, then a warning", WARNING_AND_ERROR,
                   [("error", "line 2, column 3", "Invalid Operation Code", ["note: did you mean 'MOV'?"]),
                    ("warning", "line 3, column 7", SIZE_ASSUMED, None)]),
    # Columns as the editor shows tabs; the cursor goes to the character.
    DiagnosticCase("tabs before the place", TABBED,
                   [("error", "line 2, column 9", "Invalid Operation Code", ["note: did you mean 'MOV'?"]),
                    ("warning", "line 3, column 17", "CS loaded directly: only the 8086 and 8088 do it", None)]),
    # Reported by both passes, shown once.
    DiagnosticCase("an error of every pass", "        ORG 100H\n        MOV AX,\n        JMP NOWHERE\n        END\n",
                   [("error", "line 2, column 13", "Syntax Error", []),
                    ("error", "line 3, column 13", "Symbol Not Defined", [])]),
    # The line's mark is the error's.
    DiagnosticCase("an error and a warning on one line", "        ORG 100H\n        MOV [BX],NOWHERE\n        END\n",
                   [("error", "line 2, column 18", "Symbol Not Defined", []),
                    ("warning", "line 2, column 13", SIZE_ASSUMED, None)]),
    DiagnosticCase("a warning alone", "        ORG 100H\n        MOV [BX],5\n        RET\n        END\n",
                   [("warning", "line 2, column 13", SIZE_ASSUMED, None)], assembles=True),
]


def check_diagnostics(page, vexa, case):
    page.set_source(case.source)
    assembled = page.assemble(60)
    native = assemble_natively(vexa, case.source, 60)
    problems = compare_assembly(page, assembled, native, 0x100)
    # The first entry also says which conventions apply (compared with vexa's above).
    shown = [(e["kind"], e["place"], e["message"], [n for n in e["notes"] if "conventions apply" not in n])
             for e in assembled["entries"]]
    if len(shown) != len(case.shown) or any(got[:3] != want[:3] or want[3] not in (None, got[3])
                                            for got, want in zip(shown, case.shown)):
        problems.append(f"the messages box shows {shown}\n        expected {case.shown}")
    if (assembled["status"] == 0) != case.assembles:
        problems.append(f"status {assembled['status']}: warnings alone must not fail the assembly")
    problems += check_entries_lead(page, case.source, native.placed)
    # An edit leaves the marks standing for the last assembly, faded.
    page.set_source(case.source + "; edited\n")
    if not page.js("return document.getElementById('gutter').matches('.stale')"):
        problems.append("the gutter's marks do not show the source changed since")
    return problems


@dataclasses.dataclass
class RunCase:
    what: str
    body: str
    input: str = ""
    limit: int = DEFAULT_LIMIT
    executed: int | None = None  # instructions, when known
    registers: dict = dataclasses.field(default_factory=dict)  # some registers shown at the end


PRINTS = """MOV CX,5
MOV DL,'a'
L: MOV AH,02H
INT 21H
INC DL
LOOP L
MOV DX,OFFSET MSG
MOV AH,09H
INT 21H
MOV AX,4C00H
INT 21H
MSG DB 0DH,0AH,'five letters',0DH,0AH,'$'"""
LINE_BACK = """MOV DX,OFFSET BUF
MOV AH,0AH
INT 21H
MOV BL,[BUF+1]
MOV BH,0
MOV BYTE PTR [BX+BUF+2],'$'
MOV DX,OFFSET SAID
MOV AH,09H
INT 21H
MOV DX,OFFSET BUF+2
INT 21H
MOV AX,4C00H
INT 21H
SAID DB 0DH,0AH,'said: $'
BUF DB 20,0
DB 22 DUP(0)"""
KEYS = """MOV CX,3
L: MOV AH,01H
INT 21H
LOOP L
MOV AH,4CH
INT 21H"""

RUN_CASES = [
    RunCase("a program that prints", PRINTS),
    RunCase("a line read with function 0AH", LINE_BACK, "hello there\nmore"),
    RunCase("keys read with function 01H, the last one the exit code", KEYS, "xyz"),
    # An ending inside a service shows the program's registers after its INT.
    RunCase("a non-zero return code", "MOV DL,'!'\nMOV AH,02H\nINT 21H\nMOV AX,4C07H\nINT 21H",
            registers={"AX": "4C07", "CS": "1000", "IP": "010B", "SP": "FFFE", "DX": "0021"}),
    RunCase("RET ends with code 0", "MOV DL,'r'\nMOV AH,02H\nINT 21H\nRET"),
    RunCase("the input runs out", "L: MOV AH,01H\nINT 21H\nJMP L", "ab",
            registers={"CS": "1000", "IP": "0104", "SP": "FFFE"}),
    RunCase("a divide error", "MOV AX,1\nMOV BL,0\nDIV BL"),
    RunCase("HLT", "NOP\nHLT", registers={"CS": "1000", "IP": "0102", "SP": "FFFE"}),
    RunCase("an unsupported function", "MOV AH,3DH\nINT 21H"),
    RunCase("a small instruction limit", "L: JMP L", limit=5000, executed=5000),
    # Much output on one line, then lines: the console keeps up and the page answers.
    RunCase("a program that prints without end", "L: MOV DL,'A'\nMOV AH,02H\nINT 21H\nJMP L", limit=2000000),
    RunCase("many short lines", "L: MOV DX,OFFSET M\nMOV AH,09H\nINT 21H\nJMP L\nM DB 'line',0DH,0AH,'$'",
            limit=500000),
]


def check_run(page, vexa, vexa_run, case):
    source = program(case.body)
    page.set_source(source)
    page.prepare_run(case.input, case.limit)
    page.element("run").click()
    shown = page.wait_for_run()
    native = assemble_natively(vexa, source, 60)
    if native.status != 0:
        return [f"the case does not assemble:\n{native.err}"]
    problems = compare_run(shown, run_natively(vexa_run, native.image, case.input, case.limit))
    shown_registers = dict(cell.split()[:2] for cell in shown["registers"])
    for name, value in case.registers.items():
        if shown_registers.get(name) != value:
            problems.append(f"{name} shown as {shown_registers.get(name)}, expected {value}")
    if case.executed is not None and shown["executed"] != case.executed:
        problems.append(f"{shown['executed']} instructions executed, expected {case.executed}")
    return problems


# Typed with real keys: "\t" is the Tab key, "\n" Enter. Its address holds
# '-' and '_' and loses its padding; the accent is two bytes of UTF-8.
TYPED = ("\tORG\t100H\t; typed, caf\u00e9 >>> ???\n"
         "\tMOV\tDX,OFFSET MSG\n"
         "\tMOV\tAH,09H\n"
         "\tINT\t21H\n"
         "\tMOV\tAX,4C03H\n"
         "\tINT\t21H\n"
         "MSG\tDB\t'Typed in',0DH,0AH,'$'\n"
         "\tEND")


def check_typing(page, vexa, vexa_run):
    page.prepare_run("", DEFAULT_LIMIT)
    editor = page.element("source")
    editor.click()
    editor.send_keys(Keys.CONTROL, "a")
    editor.send_keys(Keys.DELETE)
    editor.send_keys(TYPED)
    problems = []
    if page.source() != TYPED:
        return [f"the editor holds {page.source()!r}\n        typed {TYPED!r}"]
    gutter = page.js("return document.getElementById('gutter').textContent")
    if gutter != "\n".join(str(n) for n in range(1, TYPED.count("\n") + 2)):
        problems.append(f"the gutter shows {gutter!r}")
    editor.send_keys(Keys.CONTROL, Keys.ENTER)
    shown = page.wait_for_run()
    if page.source() != TYPED:
        problems.append("Ctrl+Enter changed the source")
    native = assemble_natively(vexa, TYPED, 60)
    if bytes(page.js("return Array.from(vexaPlayground.assembled.image)")) != native.image:
        problems.append("the typed program's image differs from vexa's")
    problems += compare_run(shown, run_natively(vexa_run, native.image, "", DEFAULT_LIMIT))
    # The source is kept in the address and comes back with it.
    try:
        page.wait(f"return location.hash === {in_address(TYPED)!r}", "the source in the address")
    except AssertionError as error:
        return problems + [f"{error}; the address is {page.driver.current_url[:200]!r}"]
    page.open(page.driver.current_url)
    if page.source() != TYPED:
        problems.append(f"a fresh load of the address shows {page.source()!r}")
    if page.js("return document.getElementById('examples').value") != "":
        problems.append("a fresh load of the address names an example")
    return problems


def check_examples(page, vexa, vexa_run, examples):
    menu = Select(page.element("examples"))
    names = [option.get_attribute("value") for option in menu.options if option.get_attribute("value")]
    expected = sorted(path.name for path in examples.glob("*.asm"))
    problems = [] if names == expected else [f"the menu offers {names}, examples/ holds {expected}"]
    page.prepare_run("", DEFAULT_LIMIT)
    page.set_field("lines-per-page", 60)
    for name in names:
        source = (examples / name).read_text(encoding="latin-1")
        menu.select_by_value(name)
        if page.source() != source:
            problems.append(f"{name}: the editor does not hold examples/{name}")
            continue
        page.element("run").click()
        shown = page.wait_for_run()
        native = assemble_natively(vexa, source, 60)
        # An .EXE file is shown from its first byte, a .COM from 100H.
        found = compare_assembly(page, page.assembly(), native, 0 if native.image[:2] == b"MZ" else 0x100)
        options = cpu_options(source)
        found += compare_run(shown, run_natively(vexa_run, native.image, "", DEFAULT_LIMIT, options))
        if shown["endingText"].endswith("executed on the 80186.") != bool(options):
            found.append(f"the ending shown, {shown['endingText']!r}, names the wrong processor")
        wanted = (examples / name).with_suffix(".out").read_bytes()
        if bytes(shown["output"]) != wanted:
            found.append(f"printed {bytes(shown['output'])!r}, {name[:-4]}.out holds {wanted!r}")
        problems += [f"{name}: {problem}" for problem in found]
    return problems


def check_stop(page):
    page.set_source(program("L: JMP L"))
    page.prepare_run("", 10 ** 12)
    page.element("run").click()
    page.wait("return vexaPlayground.running", "the run to start")
    problems = []
    for _ in range(5):
        started = time.monotonic()
        state = page.js("return [vexaPlayground.running, document.getElementById('stop').disabled,"
                        " document.getElementById('run').disabled]")
        took = time.monotonic() - started
        if took > PROMPT:
            problems.append(f"a script call took {took:.2f} s while the program ran")
        if state != [True, False, True]:
            problems.append(f"while running: running, Stop disabled, Run disabled = {state}")
            break
    page.element("stop").click()
    shown = page.wait_for_run()
    if shown["ending"] != "stopped before the program ended":
        problems.append(f"ending {shown['ending']!r} after Stop")
    if not shown["endingText"].startswith("Stopped before the program ended;") or shown["executed"] <= 0:
        problems.append(f"the ending shown after Stop: {shown['endingText']!r}")
    if page.js("return [document.getElementById('stop').disabled, document.getElementById('run').disabled]") \
            != [True, False]:
        problems.append("Stop stays enabled or Run disabled after the run")
    return problems


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def check_http(page, web, vexa_run, examples):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(QuietHandler, directory=str(web)))
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        source = (examples / "strings.asm").read_text(encoding="latin-1")
        page.open(f"http://127.0.0.1:{server.server_address[1]}/index.html{in_address(source)}")
        if page.source() != source:
            return ["over HTTP, the address's source is not in the editor"]
        page.prepare_run("", DEFAULT_LIMIT)
        page.element("run").click()
        shown = page.wait_for_run()
        image = bytes(page.js("return Array.from(vexaPlayground.assembled.image)"))
        problems = compare_run(shown, run_natively(vexa_run, image, "", DEFAULT_LIMIT))
        if bytes(shown["output"]) != (examples / "strings.out").read_bytes():
            problems.append("over HTTP, strings.asm does not print strings.out")
        return problems
    finally:
        server.shutdown()
        server.server_close()


def check_default_page_length(page, url, vexa):
    """A fresh page's lines per page are vexa's own default."""
    page.open(url)
    source = numbered_lines(150, "100H")
    page.set_source(source)
    page.element("assemble").click()
    page.wait("return vexaPlayground.assembledSource === document.getElementById('source').value",
              "the assembly")
    return compare_assembly(page, page.assembly(), assemble_natively(vexa, source), 0x100)


def check_screenshot(page, url, path):
    page.open(url)
    if page.js("return document.getElementById('examples').value") != "hello.asm":
        return ["the page does not open with hello.asm"]
    page.element("assemble").click()
    page.element("run").click()
    shown = page.wait_for_run()
    if shown["ending"] != "the program exited with code 0":
        return [f"hello.asm ends: {shown['ending']!r}"]
    page.wait("return location.hash.startsWith('#source=')", "the source in the address")
    path.parent.mkdir(parents=True, exist_ok=True)
    page.driver.save_screenshot(str(path))
    header = path.read_bytes()[:24]
    if header[:8] != b"\x89PNG\r\n\x1a\n" or header[12:16] != b"IHDR":
        return [f"{path} is not a PNG"]
    size = struct.unpack(">II", header[16:24])
    return [] if size == (WIDTH, HEIGHT) else [f"the screenshot is {size}, expected {(WIDTH, HEIGHT)}"]


# ---- Running the checks ---------------------------------------------------------------

class Browser:
    """Headless Chromium under chromedriver, with the page to test."""

    def __init__(self):
        options = webdriver.ChromeOptions()
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", f"--window-size={WIDTH},{HEIGHT}"):
            options.add_argument(argument)
        options.binary_location = "/usr/bin/chromium"
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.driver.set_script_timeout(WAIT)
        self.driver.set_page_load_timeout(WAIT)
        # The viewport itself at the window's size, for the screenshot.
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                    {"width": WIDTH, "height": HEIGHT, "deviceScaleFactor": 1, "mobile": False})
        self.page = Page(self.driver)

    def console_errors(self):
        return [entry["message"] for entry in self.driver.get_log("browser")
                if entry["level"] == "SEVERE" and "favicon.ico" not in entry["message"]]

    def kill(self):
        """Ends chromedriver and the browser it started, for a page that no longer answers."""
        driver_pid = self.driver.service.process.pid
        parents = {}
        for stat in pathlib.Path("/proc").glob("[0-9]*/stat"):
            try:
                parents[int(stat.parent.name)] = int(stat.read_text().rsplit(")", 1)[1].split()[1])
            except (OSError, ValueError, IndexError):
                pass
        tree, grown = {driver_pid}, True
        while grown:
            children = {pid for pid, parent in parents.items() if parent in tree} - tree
            tree |= children
            grown = bool(children)
        for pid in sorted(tree - {driver_pid}) + [driver_pid]:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass

    def quit(self):
        try:
            self.driver.quit()
        except Exception:  # already gone
            pass


def main():
    if len(sys.argv) != 6:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    web, vexa, vexa_run, examples, screenshot = (pathlib.Path(arg).resolve() for arg in sys.argv[1:])
    vexa, vexa_run = str(vexa), str(vexa_run)
    url = (web / "index.html").as_uri()
    began = time.monotonic()
    checks = [(f"assembly: {case.what}", lambda page, case=case: check_assembly(page, vexa, case))
              for case in assembly_cases(examples)]
    checks += [(f"messages: {case.what}", lambda page, case=case: check_diagnostics(page, vexa, case))
               for case in DIAGNOSTIC_CASES]
    checks += [(f"run: {case.what}", lambda page, case=case: check_run(page, vexa, vexa_run, case))
               for case in RUN_CASES]
    checks += [("every example from the menu", lambda page: check_examples(page, vexa, vexa_run, examples)),
               ("an endless program and Stop", check_stop),
               ("typed with keys; the source in the address", lambda page: check_typing(page, vexa, vexa_run)),
               ("served over HTTP", lambda page: check_http(page, web, vexa_run, examples)),
               ("the default page length", lambda page: check_default_page_length(page, url, vexa)),
               ("a screenshot", lambda page: check_screenshot(page, url, screenshot))]
    failures = 0
    browser = Browser()
    try:
        browser.page.open(url)
        for what, check in checks:
            # A frozen page holds a WebDriver command for ever: past its time
            # the check ends with the browser.
            fired = threading.Event()
            watchdog = threading.Timer(CHECK_SECONDS, lambda browser=browser: (fired.set(), browser.kill()))
            watchdog.start()
            started = time.monotonic()
            try:
                problems = check(browser.page) + browser.console_errors()
                fresh = False
            except Exception as error:  # the check could not finish
                problems = [f"{type(error).__name__}: {str(error).strip()[:500]}"]
                fresh = True
            watchdog.cancel()
            if fired.is_set():
                problems.insert(0, f"the page did not answer within {CHECK_SECONDS} s")
            print(f"{'FAIL' if problems else 'ok'}  {what} ({time.monotonic() - started:.1f} s)"
                  + "".join(f"\n      {p}" for p in problems), flush=True)
            failures += bool(problems)
            if fresh:  # a new browser for the next check
                browser.quit()
                browser = Browser()
                browser.page.open(url)
    finally:
        browser.quit()
    print(f"{len(checks)} checks, {failures} failed, {time.monotonic() - began:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
