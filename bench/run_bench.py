#!/usr/bin/env python3
"""Times Vexa against the peer assemblers on generated programs.

For each program size the generator writes the same program in Vexa's, NASM's
and fasm's syntax. Every installed tool assembles it several times after a
warm-up, the tools taking turns; the table shows medians, Vexa's speed-up over each peer, lines per
second, peak memory, and the floor: a program that only reads the file and
counts its lines.

usage: run_bench.py --vexa build/vexa --floor build/bench/count_lines [--runs N]
                    [--sizes 10000:1000,100000:10000,1000000:100000] [--tools floor,vexa,...]
                    [--baseline OLD_VEXA] [--workdir DIR]
"""
import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
FASM_CHUNK_LINES = 20000  # fasm's 16-bit code must stay within 64 KiB


def run_once(command, cwd, status=0):
    """Wall-clock seconds of one run, which must end with `status`."""
    start = time.perf_counter()
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if result.returncode != status:
        raise RuntimeError(f"{' '.join(command)} failed")
    return elapsed


def expected_status(command, cwd):
    """The status every run of `command` must end with: 0, or for Vexa 2 when
    its one complaint is that the program's code passes the 64 KiB segment
    (the larger generated programs do; every line is still assembled). The
    addresses beyond it, cut to 16 bits where OFFSET takes them, are warned
    about: warnings are no complaint."""
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                            errors="replace")
    messages = {line.strip() for line in result.stderr.splitlines()
                if line.startswith("\t") and not line.startswith("\tWarning : ")}
    if result.returncode == 0 or (result.returncode == 2 and messages == {"Address Overflow"}):
        return result.returncode
    raise RuntimeError(f"{' '.join(command)} failed:\n{result.stderr[:2000]}")


def peak_memory(command, cwd):
    """Peak resident memory (KiB) of one run, as GNU time reports it.

    (A child's own rusage would count the memory of this Python process,
    which it was forked from.)
    """
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *command], cwd=cwd,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1])


def measure_all(tool_commands, cwd, runs):
    """{tool: (median total time of its commands, peak memory)}. The tools take
    turns within each round, so that a machine slowing down or speeding up
    during the measurement touches every tool alike."""
    statuses = {}  # warm-up: the file cache and the binaries
    for _, commands in tool_commands:
        for command in commands:
            statuses[tuple(command)] = expected_status(command, cwd)
    totals = {tool: [] for tool, _ in tool_commands}
    for _ in range(runs):
        for tool, commands in tool_commands:
            totals[tool].append(sum(run_once(command, cwd, statuses[tuple(command)]) for command in commands))
    results = {}
    for tool, commands in tool_commands:
        peak = max(peak_memory(command, cwd) for command in commands) if os.path.exists("/usr/bin/time") else 0
        results[tool] = (statistics.median(totals[tool]), peak)
    return results


def generate(workdir, lines, labels):
    prefix = workdir / f"prog{lines}_{labels}"
    if not (workdir / f"{prefix.name}.asm").exists():
        subprocess.run([sys.executable, str(HERE / "generate_program.py"), str(lines), str(labels), str(prefix),
                        "--chunk-lines", str(FASM_CHUNK_LINES)], check=True)
    return prefix.name


def installed_copy(binary, workdir, name):
    """A copy of `binary` in the work directory, timed instead of the file the
    linker wrote: on this machine's file system a binary just written by the
    linker runs several percent slower than the same bytes copied, as
    installing copies them (measured, not explained: likely the way the file
    cache holds what the linker wrote)."""
    copy = workdir / "bin" / name
    copy.parent.mkdir(exist_ok=True)
    shutil.copyfile(binary, copy)
    copy.chmod(0o755)
    return str(copy)


def tools(args, name, workdir):
    """(tool, commands) for every assembler installed."""
    fasm_chunks = sorted(workdir.glob(f"{name}.*.fasm"))
    candidates = [
        ("floor", [[args.floor, f"{name}.asm"]]),
        ("vexa", [[args.vexa, f"{name}.asm"]]),
        ("vexa -l", [[args.vexa, f"{name}.asm", "-l"]]),
        ("baseline", [[args.baseline, f"{name}.asm"]] if args.baseline else []),
        ("baseline -l", [[args.baseline, f"{name}.asm", "-l"]] if args.baseline else []),
        ("fasm", [["fasm", chunk.name, os.devnull] for chunk in fasm_chunks]),
        ("yasm", [["yasm", "-f", "bin", "-w", "-o", os.devnull, f"{name}.nasm"]]),
        ("nasm", [["nasm", "-f", "bin", "-w-all", "-o", os.devnull, f"{name}.nasm"]]),
    ]
    wanted = args.tools.split(",") if args.tools else [tool for tool, _ in candidates]
    return [(tool, commands) for tool, commands in candidates
            if tool in wanted and commands and shutil.which(commands[0][0])]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--vexa", required=True)
    parser.add_argument("--floor", required=True)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--sizes", default="10000:1000,100000:10000,1000000:100000")
    parser.add_argument("--baseline", help="an earlier vexa to measure beside this one (tools baseline, baseline -l)")
    parser.add_argument("--tools", help="comma-separated subset of floor, vexa, vexa -l, baseline, baseline -l, "
                                        "fasm, yasm, nasm")
    parser.add_argument("--workdir", default="/tmp/vexa-bench")
    args = parser.parse_args()
    workdir = pathlib.Path(args.workdir)
    workdir.mkdir(parents=True, exist_ok=True)
    args.vexa = installed_copy(args.vexa, workdir, "vexa")
    args.floor = installed_copy(args.floor, workdir, "count_lines")
    if args.baseline:
        args.baseline = installed_copy(args.baseline, workdir, "baseline")

    print("| lines | labels | source | tool | median ms | time / vexa's | lines/s | peak memory |")
    print("|---|---|---|---|---|---|---|---|")
    for size in args.sizes.split(","):
        lines, labels = map(int, size.split(":"))
        name = generate(workdir, lines, labels)
        source_kib = (workdir / f"{name}.asm").stat().st_size // 1024
        results = measure_all(tools(args, name, workdir), workdir, args.runs)
        ours = results["vexa"][0]
        for tool, (seconds, memory) in results.items():
            ratio = "" if tool == "vexa" else f"{seconds / ours:.2f}"
            print(f"| {lines:,} | {labels:,} | {source_kib:,} KiB | {tool} | {seconds * 1000:.1f} | {ratio} | "
                  f"{lines / seconds / 1e6:.1f} M | {memory:,} KiB |", flush=True)


if __name__ == "__main__":
    main()
