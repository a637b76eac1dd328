#!/usr/bin/env python3
"""Differential check: runs the same inputs through an earlier commit's vexa
and the current one and compares everything they produce, byte for byte.

usage: bench/differential.py --baseline COMMIT [--current BUILD_DIR_OR_VEXA] [--workdir DIR] [--jobs N]
                             [--phase-errors-settle] [--show N]

The baseline is built in a temporary git worktree under the workdir: a
fresh temporary directory, or the one --workdir names, which then keeps the
corpus and the generated programs. The current vexa is build/vexa of the
working tree (built first when missing) unless --current names another. The inputs: every end-to-end case under tests/cases, the
fuzz seed corpus (with and without -l), generated programs of 1,000 to
1,000,000 lines and faulty variants of one of them, each under several
command lines, and small random programs of jumps and calls to names
defined before and after them. For every run the standard output, standard
error, exit status and every file left in the run's directory must be
identical.

With --phase-errors-settle, a run whose baseline stopped with the phase error
may differ (the current vexa assembles again until values settle): such runs
are listed by name, and only the other differences count.

Exits 0 when nothing differs, 1 when something does, 2 when a build fails
or the current vexa is missing.
"""
import argparse
import concurrent.futures
import contextlib
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
COMMAND_LINES = [[], ["-l"], ["-l", "-p=10"], ["-l", "-p=0"], ["-l", "-p=62"],
                 ["-o=OUT.COM", "-l=OUT.LST"], ["-o=/dev/full"], ["-o=/dev/full", "-l"]]
CORPUS_COMMAND_LINES = [[], ["-l"]]
# (lines, labels), largest first: their runs take longest and should start first
PROGRAM_SIZES = [(1_000_000, 100_000), (100_000, 10_000), (25_000, 2_500), (1_000, 100)]
FAULTY_PROGRAM_SIZE = (25_000, 2_500)
FAULT_SEED = 8086
FAULT_EVERY = 40  # one line in this many gets a fault in the mixed variant
JUMP_PROGRAMS = 400
JUMP_SEED = 8088
TIMEOUT_SECONDS = 300
PHASE_ERROR = b"Phase error : Symbol value is different between passes."
EXCERPT_BYTES = 48


@dataclass(frozen=True)
class Run:
    """One command line run in a directory holding the given files."""
    name: str
    files: dict  # file name -> bytes
    args: list

    def describe(self):
        return f"{self.name}: vexa {' '.join(self.args)}"


@dataclass(frozen=True)
class Outcome:
    """What a run left behind: its exit status and its outputs by name
    (a path for every stream and file, None for a directory)."""
    status: object
    outputs: dict


# Building the two binaries.

def fail(message):
    print(message, file=sys.stderr)
    sys.exit(2)


def run_checked(command):
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        fail(f"failed: {' '.join(map(str, command))}\n{result.stdout}{result.stderr}")
    return result.stdout


def build_vexa(source_dir, build_dir):
    run_checked(["cmake", "-S", source_dir, "-B", build_dir, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"])
    run_checked(["cmake", "--build", build_dir, "--target", "vexa", "--parallel", "2"])
    return Path(build_dir) / "vexa"


@contextlib.contextmanager
def worktree(commit, path):
    """A detached checkout of `commit` at `path`, removed afterwards."""
    run_checked(["git", "-C", REPO, "worktree", "add", "--detach", path, commit])
    try:
        yield path
    finally:
        run_checked(["git", "-C", REPO, "worktree", "remove", "--force", path])


def current_vexa(given):
    if given is None:
        built = REPO / "build" / "vexa"
        return built if built.exists() else build_vexa(REPO, REPO / "build")
    path = Path(given).resolve()
    return path / "vexa" if path.is_dir() else path


def frozen_copy(vexa, directory):
    """A copy of `vexa`, so that a build replacing it meanwhile cannot
    change the binary halfway through the runs."""
    if not (vexa.is_file() and os.access(vexa, os.X_OK)):
        fail(f"no executable vexa at {vexa}")
    directory.mkdir(parents=True, exist_ok=True)
    return Path(shutil.copy2(vexa, directory / vexa.name))


# The inputs.

def case_sections(text):
    """A case file's sections as (header words, lines), read as the test
    suite reads them."""
    lines = text.split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    sections = []
    for line in lines:
        if line.startswith(b"--- "):
            sections.append((line[4:].split(), []))
        elif sections:
            sections[-1][1].append(line)
    return sections


ESCAPES = {b"n": b"\n", b"r": b"\r", b"t": b"\t", b"f": b"\f", b"0": b"\0"}


def unescape(text):
    def replace(match):
        code = match.group(1)
        return bytes([int(code[1:], 16)]) if len(code) == 3 else ESCAPES.get(code, code)
    return re.sub(rb"\\(x[0-9A-Fa-f]{2}|.)", replace, text, flags=re.DOTALL)


def case_run(path):
    args, files = [], {}
    for header, lines in case_sections(path.read_bytes()):
        if header[:1] == [b"args"]:
            args = [os.fsdecode(word) for word in b" ".join(lines).split()]
        elif header[:1] == [b"file"]:
            escaped = len(header) >= 2 and header[-1] == b"escaped"
            content = unescape(b"".join(lines)) if escaped else b"".join(line + b"\n" for line in lines)
            files[os.fsdecode(header[1])] = content
    return Run(f"case {path.relative_to(REPO / 'tests' / 'cases')}", files, args)


def case_runs():
    return [case_run(path) for path in sorted((REPO / "tests" / "cases").rglob("*.case"))]


def source_runs(name, source, command_lines):
    return [Run(name, {"prog.asm": source}, ["prog.asm", *args]) for args in command_lines]


def corpus_runs(workdir):
    corpus = workdir / "corpus"
    shutil.rmtree(corpus, ignore_errors=True)
    run_checked([sys.executable, REPO / "fuzz" / "make_corpus.py", REPO / "tests" / "cases", corpus])
    return [run for path in sorted(corpus.iterdir())
            for run in source_runs(f"corpus {path.name}", path.read_bytes(), CORPUS_COMMAND_LINES)]


def generated_program(workdir, lines, labels):
    prefix = workdir / "generated" / f"program_{lines}_{labels}"
    prefix.parent.mkdir(parents=True, exist_ok=True)
    run_checked([sys.executable, REPO / "bench" / "generate_program.py", str(lines), str(labels), prefix])
    return prefix.with_suffix(".asm").read_bytes()


def generated_runs(workdir):
    return [run for lines, labels in PROGRAM_SIZES
            for run in source_runs(f"generated {lines} lines, {labels} labels",
                                   generated_program(workdir, lines, labels), COMMAND_LINES)]


def faulty_runs(workdir):
    program = generated_program(workdir, *FAULTY_PROGRAM_SIZE).decode("ascii")
    return [run for name, source in faulty_variants(program).items()
            for run in source_runs(f"faults {name}", source.encode("latin-1"), COMMAND_LINES)]


# Small programs of jumps and calls to names defined before and after them,
# at and beyond the reach of a short jump, by labels and by EQU, some never
# defined: where the second pass encodes a jump from its target's value, or
# must assemble it again to report.

JUMP_FORMS = ["JZ", "JNZ", "JA", "LOOP", "JCXZ", "JMP", "CALL", "JMP NEAR PTR", "CALL NEAR PTR"]
FAULTY_JUMP_FORMS = JUMP_FORMS + ["JMP SHORT", "JZ SHORT"]


def jump_program(rng, faulty):
    """Mostly clean programs, or (`faulty`) with targets out of reach, never
    defined or written as expressions."""
    names = [f"T{i}" for i in range(rng.randint(3, 40))]
    lines, defined = ["        ORG 100H"], set()
    for name in names:
        kind = rng.random()
        target = rng.choice(names * 6 + ["NEVER", "T0+1", "$+3"] if faulty else names)
        label = f"{name}: " if rng.random() < 0.5 else "        "
        if kind < 0.55:
            lines.append(f"{label}{rng.choice(FAULTY_JUMP_FORMS if faulty else JUMP_FORMS)} {target}")
        elif kind < 0.7:
            counts = [1, 20, 60, 120, 125, 126, 127, 128, 129] if faulty else [1, 2, 5, 10, 20, 40]
            lines.append(f"{label}DB {rng.choice(counts)} DUP (90H)")
        elif kind < 0.8:
            lines.append(f"{name} EQU {rng.choice(['$', '$+5', '$-3', '1234H', str(rng.randint(0, 400)), 'T0'])}")
            defined.add(name)
            continue
        elif kind < 0.9:
            lines.append(f"{label}MOV AX,[{target}]")
        else:
            lines.append(f"{label}NOP")
        if label.strip():
            defined.add(name)
    lines += [f"{name}:   RET" for name in names if name not in defined and (not faulty or rng.random() < 0.8)]
    return "\n".join(lines + ["        END"]) + "\n"


def jump_runs():
    rng = random.Random(JUMP_SEED)
    return [Run(f"jumps {i}", {"prog.asm": jump_program(rng, i % 2 == 1).encode("ascii")}, ["prog.asm", "-l"])
            for i in range(JUMP_PROGRAMS)]


# Faults mixed into a generated program. Each takes a statement's label
# (or "") and its text and returns what stands in that line's place. None
# makes the code longer: a conditional jump over it could fall out of reach,
# and the assembly would stop at the first such jump with a phase error.

def statement_line(label, statement):
    return f"{label}: {statement}" if label else f"        {statement}"


def after_label(label, statement):
    """The statement on a line after its label's own: instructions that use
    the label of a data line or of a too long line can change length between
    the passes."""
    return (f"{label}:\n" if label else "") + f"        {statement}"


def unknown_mnemonic(rng, label, statement):
    return statement_line(label, rng.choice(["MOVE AX,BX", "XLATB", "INT3", "CALLF 10H", "PUSHA"]))


def undefined_symbol(rng, label, statement):
    return statement_line(label, rng.choice(["MOV AX,NOWHERE", "CMP AX,NOWHERE+2", "CALL NOWHERE",
                                             "JMP NOWHERE"]))


def long_line(rng, label, statement):
    """A line past the longest allowed (4,096 bytes), by its comment or its operands."""
    return after_label(label, rng.choice([statement + " ; " + "=" * 4100, "DB " + "0" * 4100 + "1"]))


def bad_number(rng, label, statement):
    return statement_line(label, rng.choice(["MOV AX,12X", "MOV AX,0x1G", "MOV AL,102B", "MOV AL,19O",
                                             "ADD AX,0x", "MOV BX,10X"]))


def backward_org(rng, label, statement):
    return statement_line(label, statement) + "\n        ORG 100H"


def ds_gap(rng, label, statement):
    """A gap in place of the statement: 3 bytes for a MOV of an immediate to
    a word register, otherwise 1, never more than the statement's length."""
    size = 3 if re.fullmatch(r"MOV (AX|BX|CX|DX|SI|DI|BP),\d+", statement) else 1
    return after_label(label, f"DS {size}")


def tabs(rng, label, statement):
    return (f"{label}:\t" if label else "\t") + statement.replace(" ", "\t", 1)


def crlf(rng, label, statement):
    return statement_line(label, statement) + "\r"


def lone_cr(rng, label, statement):
    return statement_line(label, statement) + "\r        ; after a lone CR"


def nul_byte(rng, label, statement):
    """A zero byte, an invalid character, before the operands' comma or after
    the statement: never inside a name, which could become another one."""
    cut = statement.find(",") % (len(statement) + 1)
    return statement_line(label, statement[:cut] + "\0" + statement[cut:] + " ignored")


LINE_FAULTS = [unknown_mnemonic, undefined_symbol, long_line, bad_number, backward_org, ds_gap,
               tabs, crlf, lone_cr, nul_byte]


def split_statement(line):
    """(label, statement) of a generated body line."""
    if line.startswith("L"):
        return tuple(line.split(": ", 1))
    return "", line.strip()


def body_range(lines):
    """Indices of the generated statements: after the EQU constants, before END."""
    first = 1 + max(i for i, line in enumerate(lines) if " EQU " in line)
    return range(first, len(lines) - 1)


def with_line_faults(lines, rng):
    """Faults on one line in FAULT_EVERY, and a gap at the end of the image."""
    lines = list(lines)
    body = body_range(lines)
    for index in sorted(rng.sample(body, len(body) // FAULT_EVERY)):
        lines[index] = rng.choice(LINE_FAULTS)(rng, *split_statement(lines[index]))
    return lines[:-1] + ["        DS 500", lines[-1]]


def with_duplicate_labels(lines, rng):
    """Three labels defined once more, each alone on a line."""
    lines = list(lines)
    labels = [line.split(":")[0] for line in lines if line.startswith("L")]
    for index in sorted(rng.sample(body_range(lines), 3), reverse=True):
        lines.insert(index, f"{rng.choice(labels)}:")
    return lines


def with_forward_reference(lines, statement, constant):
    """A forward reference, two fifths into the program, whose instruction
    changes its length once `constant`, defined before END, is known."""
    body = body_range(lines)
    at = body.start + len(body) * 2 // 5
    return lines[:at] + [f"        {statement}"] + lines[at:-1] + [constant, lines[-1]]


def faulty_variants(program):
    """Deterministic faulty versions of a generated program, by name."""
    lines = program.split("\n")[:-1]
    variants = {
        "mixed": with_line_faults(lines, random.Random(FAULT_SEED)),
        "duplicate_labels": with_duplicate_labels(lines, random.Random(FAULT_SEED)),
        "phase_immediate": with_forward_reference(lines, "ADD BX,LATE_WORD", "LATE_WORD EQU 1000"),
        "phase_displacement": with_forward_reference(lines, "MOV AX,[BX+LATE_BYTE]", "LATE_BYTE EQU 4"),
        "missing_end": lines[:-1],
    }
    texts = {name: "\n".join(variant) + "\n" for name, variant in variants.items()}
    texts["no_final_newline"] = "\n".join(lines)
    texts["crlf_tabs"] = "\r\n".join(re.sub("^ {8}", "\t", line) for line in lines) + "\r\n"
    return texts


# Running and comparing.

def execute(binary, run, directory):
    directory.mkdir(parents=True)
    for name, content in run.files.items():
        path = directory / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
    out, err = directory.with_suffix(".stdout"), directory.with_suffix(".stderr")
    with open(out, "wb") as stdout, open(err, "wb") as stderr:
        try:
            status = subprocess.run(["vexa", *run.args], executable=binary, cwd=directory,
                                    stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                                    timeout=TIMEOUT_SECONDS).returncode
        except subprocess.TimeoutExpired:
            status = "timed out"
    return Outcome(status, {"standard output": out, "standard error": err, **snapshot(directory)})


def snapshot(directory):
    """Every file and directory under `directory`, by relative name."""
    entries = {}
    for parent, dirs, files in os.walk(directory):
        relative = Path(parent).relative_to(directory)
        entries.update({f"directory {relative / name}/": None for name in dirs})
        entries.update({f"file {relative / name}": Path(parent) / name for name in files})
    return entries


def common_prefix_length(x, y):
    length = 0
    for step in (65536, 4096, 256, 16, 1):
        while length < len(x) and x[length:length + step] == y[length:length + step]:
            length += step
    return length


def first_difference(path_a, path_b):
    """Offset of the first byte where two files differ, or None."""
    with open(path_a, "rb") as a, open(path_b, "rb") as b:
        offset = 0
        while True:
            chunk_a, chunk_b = a.read(1 << 20), b.read(1 << 20)
            if chunk_a != chunk_b:
                return offset + common_prefix_length(chunk_a, chunk_b)
            if not chunk_a:
                return None
            offset += len(chunk_a)


def excerpt(path, offset):
    start = max(0, offset - EXCERPT_BYTES // 3)
    with open(path, "rb") as file:
        file.seek(start)
        return f"from byte {start}: {file.read(EXCERPT_BYTES)!r}"


def differences(baseline, current):
    found = []
    if baseline.status != current.status:
        found.append(f"exit status: baseline {baseline.status}, current {current.status}")
    for name in sorted(baseline.outputs.keys() | current.outputs.keys()):
        path_a, path_b = baseline.outputs.get(name), current.outputs.get(name)
        if name not in current.outputs:
            found.append(f"{name}: absent from current")
        elif name not in baseline.outputs:
            found.append(f"{name}: absent from baseline")
        elif path_a is not None and (offset := first_difference(path_a, path_b)) is not None:
            found.append(f"{name}: differs at byte {offset}\n"
                         f"      baseline {excerpt(path_a, offset)}\n"
                         f"      current  {excerpt(path_b, offset)}")
    return found


@dataclass
class Result:
    differences: list
    phase_error_before: bool  # the baseline stopped with the phase error


def check(run, index, binaries, runs_dir):
    """Runs `run` with both binaries in sibling directories of equal names
    and returns what differed."""
    directories = [runs_dir / side / f"{index:06d}" for side in ("a", "b")]
    try:
        baseline, current = (execute(binary, run, directory)
                             for binary, directory in zip(binaries, directories))
        found = differences(baseline, current)
        phase_error = bool(found) and PHASE_ERROR in baseline.outputs["standard error"].read_bytes()
        return Result(found, phase_error)
    finally:
        for directory in directories:
            shutil.rmtree(directory, ignore_errors=True)
            for stream in (".stdout", ".stderr"):
                directory.with_suffix(stream).unlink(missing_ok=True)


def check_all(runs, binaries, runs_dir, jobs):
    """The result of every run, in the order of `runs`."""
    pool = concurrent.futures.ThreadPoolExecutor(max_workers=jobs)
    try:
        futures = [pool.submit(check, run, index, binaries, runs_dir) for index, run in enumerate(runs)]
        return [future.result() for future in futures]
    finally:
        pool.shutdown(cancel_futures=True)  # on an interrupt, the runs not yet started


def report(runs, results, elapsed, phase_errors_settle, shown_at_most):
    """Prints the differences; answers whether any counts."""
    settled = [run for run, result in zip(runs, results) if result.differences and result.phase_error_before]
    if phase_errors_settle:
        print(f"{len(settled)} runs that stopped with the phase error before differ:")
        for run in settled:
            print(f"  {run.describe()}")
    counted = [(run, result.differences) for run, result in zip(runs, results)
               if result.differences and not (phase_errors_settle and result.phase_error_before)]
    count = sum(len(found) for _, found in counted)
    print(f"{len(runs)} runs, {len(counted)} with differences ({count} differences), {elapsed:.1f} s")
    shown = 0
    for run, found in counted:
        for difference in found:
            if shown == shown_at_most:
                return True
            print(f"  {run.describe()}\n    {difference}")
            shown += 1
    return bool(counted)


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--baseline", required=True, help="the earlier commit")
    parser.add_argument("--current", help="a build directory or a vexa binary (default: build/vexa)")
    parser.add_argument("--workdir", help="where the worktree, inputs and runs go (default: a temporary directory)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count(), help="parallel runs (default: the CPU count)")
    parser.add_argument("--phase-errors-settle", action="store_true",
                        help="runs whose baseline stopped with the phase error may differ")
    parser.add_argument("--show", type=int, default=10, help="differences shown at most (default: 10)")
    return parser.parse_args()


def open_workdir(given, cleanup):
    """The named workdir, kept, or a temporary one removed at the end."""
    if given is None:
        return Path(cleanup.enter_context(tempfile.TemporaryDirectory(prefix="vexa-differential-")))
    workdir = Path(given).resolve()
    workdir.mkdir(parents=True, exist_ok=True)
    return workdir


def main():
    args = parse_arguments()
    started = time.monotonic()
    with contextlib.ExitStack() as cleanup:
        workdir = open_workdir(args.workdir, cleanup)
        commit = run_checked(["git", "-C", REPO, "rev-parse", "--verify", f"{args.baseline}^{{commit}}"]).strip()
        runs_dir = workdir / "runs"
        cleanup.callback(shutil.rmtree, runs_dir, ignore_errors=True)
        vexa = current_vexa(args.current)
        current = frozen_copy(vexa, runs_dir / "current")
        checkout = cleanup.enter_context(worktree(commit, workdir / "baseline"))
        print(f"baseline {commit}, building in {checkout}", flush=True)
        baseline = build_vexa(checkout, checkout / "build")
        runs = generated_runs(workdir) + faulty_runs(workdir) + case_runs() + corpus_runs(workdir) + jump_runs()
        print(f"current {vexa}: {len(runs)} runs on {args.jobs} jobs", flush=True)
        results = check_all(runs, (baseline, current), runs_dir, args.jobs)
    differ = report(runs, results, time.monotonic() - started, args.phase_errors_settle, args.show)
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
