#!/usr/bin/python3
"""The 80186's instructions on vexa-run --cpu=186 against unicorn's x86 in 16-bit mode.

Every opcode the 80186 added (60-62, 68-6F, C0 and C1 with every reg field,
C8, C9) and D2/D3 with counts of 32 and more run from random register and
memory states in unicorn; each state and unicorn's result become a
processor test, and `vexa-run --cpu=186 --processor-tests` must agree with
every one. Flags are compared except where the architecture leaves them
undefined: OF after a shift or rotate by a count other than 1, AF after a
shift, SF ZF AF PF after IMUL, and the bits 12-15 a 386 keeps otherwise.

The states keep clear of what a 386 does otherwise than an 80186: no word
straddles offset FFFFH, no address reaches 1 MiB, BOUND names memory.
Unicorn reports BOUND's interrupt 5 without taking it; the frame it pushes
is added here.

usage: test_cpu186_unicorn.py VEXA_RUN [--seed N] [--count N]
"""
import argparse
import collections
import json
import pathlib
import random
import subprocess
import sys
import tempfile

from unicorn import Uc, UC_ARCH_X86, UC_MODE_16, UC_HOOK_INTR, UC_HOOK_INSN
from unicorn.x86_const import (UC_X86_INS_IN, UC_X86_INS_OUT, UC_X86_REG_AX, UC_X86_REG_BP, UC_X86_REG_BX,
                               UC_X86_REG_CS, UC_X86_REG_CX, UC_X86_REG_DI, UC_X86_REG_DS, UC_X86_REG_DX,
                               UC_X86_REG_EFLAGS, UC_X86_REG_ES, UC_X86_REG_IP, UC_X86_REG_SI, UC_X86_REG_SP,
                               UC_X86_REG_SS)

REGISTERS = {"ax": UC_X86_REG_AX, "bx": UC_X86_REG_BX, "cx": UC_X86_REG_CX, "dx": UC_X86_REG_DX,
             "cs": UC_X86_REG_CS, "ss": UC_X86_REG_SS, "ds": UC_X86_REG_DS, "es": UC_X86_REG_ES,
             "sp": UC_X86_REG_SP, "bp": UC_X86_REG_BP, "si": UC_X86_REG_SI, "di": UC_X86_REG_DI,
             "ip": UC_X86_REG_IP, "flags": UC_X86_REG_EFLAGS}
WORD_REGISTERS = ["ax", "cx", "dx", "bx", "sp", "bp", "si", "di"]

CF, PF, AF, ZF, SF, TF, IF, DF, OF = 0x001, 0x004, 0x010, 0x040, 0x080, 0x100, 0x200, 0x400, 0x800
ALL_FLAGS = 0x0FFF                # bits 12-15 left out: a 386 keeps IOPL and NT there
ROTATE_MASK = ALL_FLAGS & ~OF
SHIFT_MASK = ALL_FLAGS & ~(OF | AF)
IMUL_MASK = ALL_FLAGS & ~(SF | ZF | AF | PF)

VECTOR_BOUND = 5
SEGMENT_LIMIT = 0xCFFF            # data and stack segments end below 0E0000H, where the code goes
CODE_BASE = 0xE0000
PREFIXES = [0x26, 0x2E, 0x36, 0x3E]
SEGMENT_OF_PREFIX = {0x26: "es", 0x2E: "cs", 0x36: "ss", 0x3E: "ds"}
# The r/m field's base and index registers and default segment.
ADDRESSING = [("bx", "si", "ds"), ("bx", "di", "ds"), ("bp", "si", "ss"), ("bp", "di", "ss"),
              (None, "si", "ds"), (None, "di", "ds"), ("bp", None, "ss"), ("bx", None, "ds")]


class Case:
    """One instruction and the state it starts from."""

    def __init__(self, rng, name, file, mask):
        self.rng = rng
        self.name = name
        self.file = file           # the test file's name: XX or XX.N
        self.mask = mask
        self.prefixes = []
        self.body = []
        self.regs = {}
        self.ram = {}               # physical address: byte
        self.random_state()

    def random_state(self):
        rng = self.rng
        for name in WORD_REGISTERS:
            self.regs[name] = rng.randrange(0x10000)
        for name in ("ds", "es", "ss"):
            self.regs[name] = rng.randrange(0x0040, SEGMENT_LIMIT)
        for name in ("sp", "bp", "si", "di"):
            self.regs[name] = rng.randrange(0x0100, 0xFF00)
        self.regs["flags"] = 0x0002 | rng.choice([0, IF]) | (rng.randrange(0x10000) & (CF | PF | AF | ZF | SF | DF | OF))
        offset = rng.randrange(0x0000, 0xFF00)
        self.regs["cs"] = (CODE_BASE + 0x10 + rng.randrange(0, 0xF000) - offset) >> 4
        self.regs["ip"] = offset

    def linear(self, segment, offset):
        return (self.regs[segment] << 4) + (offset & 0xFFFF)

    def fill(self, segment, offset, before, after):
        """Random bytes around segment:offset, within the segment."""
        for delta in range(-before, after):
            self.ram.setdefault(self.linear(segment, offset + delta), self.rng.randrange(256))

    def store_word(self, segment, offset, value):
        self.ram[self.linear(segment, offset)] = value & 0xFF
        self.ram[self.linear(segment, offset + 1)] = value >> 8

    def modrm(self, reg, memory_only=False):
        """A ModRM byte with `reg` (None: random) and its displacement, with
        memory around the operand; answers the operand's segment and offset
        (None for a register)."""
        rng = self.rng
        reg = rng.randrange(8) if reg is None else reg
        mod = rng.randrange(3 if memory_only else 4)
        rm = rng.randrange(8)
        if mod == 3:
            self.body += [0xC0 | reg << 3 | rm]
            return None
        for _ in range(100):
            base, index, segment = ADDRESSING[rm]
            displacement = []
            if mod == 0 and rm == 6:
                base, index, segment = None, None, "ds"
                displacement = [rng.randrange(256), rng.randrange(256)]
            elif mod == 1:
                displacement = [rng.randrange(256)]
            elif mod == 2:
                displacement = [rng.randrange(256), rng.randrange(256)]
            value = (displacement[0] - (256 if displacement[0] > 127 else 0)) if len(displacement) == 1 else \
                displacement[0] | displacement[1] << 8 if displacement else 0
            offset = ((self.regs[base] if base else 0) + (self.regs[index] if index else 0) + value) & 0xFFFF
            if 0x10 <= offset <= 0xFFF0:
                break
        else:
            raise RuntimeError("no operand address inside the segment")
        segment = SEGMENT_OF_PREFIX[self.prefixes[-1]] if self.prefixes and self.prefixes[-1] in PREFIXES \
            else segment
        self.body += [mod << 6 | reg << 3 | rm] + displacement
        self.fill(segment, offset, 4, 8)
        return segment, offset

    def maybe_segment_prefix(self, chance=0.3):
        if self.rng.random() < chance:
            self.prefixes.append(self.rng.choice(PREFIXES))

    def bytes(self):
        return self.prefixes + self.body

    def finish(self):
        """The code, the stack around SS:SP and SS:BP, and interrupt 5's vector."""
        code = self.bytes()
        start = self.linear("cs", self.regs["ip"])
        self.fill("ss", self.regs["sp"], 0x50, 0x30)
        self.fill("ss", self.regs["bp"], 0x44, 0x08)
        self.store_word_at(VECTOR_BOUND * 4, self.rng.randrange(0x10000))
        self.store_word_at(VECTOR_BOUND * 4 + 2, self.rng.randrange(0x10000))
        for i, byte in enumerate(code + [0xF4, 0x90, 0x90, 0x90]):
            self.ram[start + i] = byte

    def store_word_at(self, address, value):
        self.ram[address] = value & 0xFF
        self.ram[address + 1] = value >> 8


# ---- The instructions ----------------------------------------------------------------------

def simple(opcode, name):
    def make(case):
        case.maybe_segment_prefix(0.2)
        case.body = [opcode]
    return make, name, f"{opcode:02X}", ALL_FLAGS


def bound(case):
    case.maybe_segment_prefix()
    reg = case.rng.randrange(8)
    case.body = [0x62]
    operand = case.modrm(reg, memory_only=True)
    segment, offset = operand
    index = case.regs[WORD_REGISTERS[reg]]
    signed = index - 0x10000 if index & 0x8000 else index
    choice = case.rng.random()
    if choice < 0.4:        # inside
        lower, upper = signed - case.rng.randrange(0, 20), signed + case.rng.randrange(0, 20)
    elif choice < 0.6:      # just below or above
        lower, upper = (signed + 1, signed + 5) if case.rng.random() < 0.5 else (signed - 5, signed - 1)
    else:                   # anywhere
        lower, upper = case.rng.randrange(-0x8000, 0x8000), case.rng.randrange(-0x8000, 0x8000)
    lower, upper = max(-0x8000, min(0x7FFF, lower)), max(-0x8000, min(0x7FFF, upper))
    case.store_word(segment, offset, lower & 0xFFFF)
    case.store_word(segment, offset + 2, upper & 0xFFFF)


def push_immediate(size):
    def make(case):
        case.maybe_segment_prefix(0.2)
        case.body = [0x68 if size == 2 else 0x6A] + [case.rng.randrange(256) for _ in range(size)]
    return make


def multiply_immediate(size):
    def make(case):
        case.maybe_segment_prefix()
        # Small factors as well as any: products that fit and products that do not.
        for name in ("ax", "cx", "dx"):
            if case.rng.random() < 0.5:
                case.regs[name] = case.rng.randrange(-300, 300) & 0xFFFF
        case.body = [0x69 if size == 2 else 0x6B]
        operand = case.modrm(None)
        if operand and case.rng.random() < 0.5:
            case.store_word(*operand, case.rng.randrange(-300, 300) & 0xFFFF)
        small = case.rng.random() < 0.5
        immediate = case.rng.randrange(-128, 128) if small or size == 1 else case.rng.randrange(-0x8000, 0x8000)
        case.body += list((immediate & 0xFFFF).to_bytes(2, "little"))[:size]
    return make


def string_port(opcode):
    def make(case):
        case.maybe_segment_prefix()
        repeat = case.rng.random() < 0.5
        if repeat:
            case.prefixes.append(case.rng.choice([0xF3, 0xF2]))
            case.regs["cx"] = case.rng.randrange(0, 24)
        case.body = [opcode]
        width = 2 if opcode & 1 else 1
        count = case.regs["cx"] if repeat else 1
        span = width * count + 2
        source = SEGMENT_OF_PREFIX.get(next((p for p in case.prefixes if p in PREFIXES), 0x3E), "ds")
        down = case.regs["flags"] & DF
        case.fill(source, case.regs["si"], span if down else 2, 2 if down else span)
        case.fill("es", case.regs["di"], span if down else 2, 2 if down else span)
    return make


def shift(opcode, reg, large_counts):
    def make(case):
        case.maybe_segment_prefix()
        case.body = [opcode]
        case.modrm(reg)
        if opcode in (0xC0, 0xC1):
            count = case.rng.randrange(256)
            case.body += [count]
        else:
            count = case.rng.randrange(32, 256) if large_counts else case.rng.randrange(256)
            case.regs["cx"] = (case.regs["cx"] & 0xFF00) | count
        # OF is defined for a count of 1 only; shifts leave AF undefined.
        defined = ALL_FLAGS if (count & 0x1F) == 1 else ROTATE_MASK
        if reg >= 4:
            defined &= ~AF
        case.mask = defined
    return make


def enter(case):
    case.maybe_segment_prefix(0.2)
    level = case.rng.choice([0, 1, 2, case.rng.randrange(256)])
    size = case.rng.choice([0, case.rng.randrange(0x40), case.rng.randrange(0x10000)])
    case.body = [0xC8, size & 0xFF, size >> 8, level]


def leave(case):
    case.maybe_segment_prefix(0.2)
    case.body = [0xC9]


def makers():
    """(make, name, file, mask) for every instruction tested."""
    shift_names = ["rol", "ror", "rcl", "rcr", "shl", "shr", "sal", "sar"]
    rows = [
        simple(0x60, "pusha"), simple(0x61, "popa"),
        (bound, "bound", "62", ALL_FLAGS),
        (push_immediate(2), "push imm16", "68", ALL_FLAGS),
        (multiply_immediate(2), "imul imm16", "69", IMUL_MASK),
        (push_immediate(1), "push imm8", "6A", ALL_FLAGS),
        (multiply_immediate(1), "imul imm8", "6B", IMUL_MASK),
        (string_port(0x6C), "insb", "6C", ALL_FLAGS), (string_port(0x6D), "insw", "6D", ALL_FLAGS),
        (string_port(0x6E), "outsb", "6E", ALL_FLAGS), (string_port(0x6F), "outsw", "6F", ALL_FLAGS),
        (enter, "enter", "C8", ALL_FLAGS), (leave, "leave", "C9", ALL_FLAGS),
    ]
    for opcode in (0xC0, 0xC1, 0xD2, 0xD3):
        for reg in range(8):
            large = opcode in (0xD2, 0xD3)
            name = f"{shift_names[reg]} {'r/m8' if opcode % 2 == 0 else 'r/m16'},{'imm8' if not large else 'cl>=32'}"
            rows.append((shift(opcode, reg, large), name, f"{opcode:02X}.{reg}", None))
    return rows


# ---- Unicorn -------------------------------------------------------------------------------

def run_unicorn(case):
    """Runs the case; answers the final registers and RAM as a processor test lists them."""
    cpu = Uc(UC_ARCH_X86, UC_MODE_16)
    cpu.mem_map(0, 0x110000)
    for address, value in case.ram.items():
        cpu.mem_write(address, bytes([value]))
    for name, register in REGISTERS.items():
        cpu.reg_write(register, case.regs[name])
    # No hook on memory writes: with one, unicorn's flags after a shift of a
    # memory byte go wrong. What the instruction wrote is read back from the
    # memory around its operands, which the state fills.
    written = set()
    interrupts = []

    def on_interrupt(machine, number, _data):
        interrupts.append(number)
        machine.emu_stop()

    cpu.hook_add(UC_HOOK_INTR, on_interrupt)
    cpu.hook_add(UC_HOOK_INSN, lambda _cpu, _port, size, _data: 0xFF if size == 1 else 0xFFFF, None, 1, 0,
                 UC_X86_INS_IN)
    cpu.hook_add(UC_HOOK_INSN, lambda *_: None, None, 1, 0, UC_X86_INS_OUT)
    start = case.linear("cs", case.regs["ip"])
    cpu.emu_start(start, start + len(case.bytes()))
    final = {name: cpu.reg_read(register) & 0xFFFF for name, register in REGISTERS.items()}
    if interrupts:
        if interrupts != [VECTOR_BOUND] or final["ip"] != case.regs["ip"]:
            raise RuntimeError(f"{case.name}: unexpected interrupts {interrupts} at IP {final['ip']:04X}")
        take_interrupt(cpu, final, written)
    addresses = set(case.ram) | written
    ram = [[address, cpu.mem_read(address, 1)[0]] for address in sorted(addresses)]
    return final, ram


def take_interrupt(cpu, final, written):
    """Interrupt 5 as the processor takes it: FLAGS, CS and IP pushed, IF and
    TF cleared, CS:IP from the vector."""
    for value in (final["flags"], final["cs"], final["ip"]):
        final["sp"] = (final["sp"] - 2) & 0xFFFF
        address = (final["ss"] << 4) + final["sp"]
        cpu.mem_write(address, bytes([value & 0xFF, value >> 8]))
        written.update((address, address + 1))
    vector = cpu.mem_read(VECTOR_BOUND * 4, 4)
    final["ip"], final["cs"] = vector[0] | vector[1] << 8, vector[2] | vector[3] << 8
    final["flags"] &= ~(IF | TF)


def as_test(case, final, ram, number):
    initial_ram = [[address, value] for address, value in sorted(case.ram.items())]
    changed = {name: value for name, value in final.items() if value != case.regs[name]}
    return {"name": case.name, "bytes": case.bytes(), "initial": {"regs": dict(case.regs), "ram": initial_ram},
            "final": {"regs": changed, "ram": ram}, "test_num": number}


# ---- The run -------------------------------------------------------------------------------

def write_tests(directory, count, seed):
    """Groups the tests by flags mask: one folder per mask, its metadata
    giving each file that mask."""
    rng = random.Random(seed)
    groups = collections.defaultdict(lambda: collections.defaultdict(list))
    for make, name, file, mask in makers():
        for number in range(count):
            case = Case(rng, name, file, mask)
            make(case)
            case.finish()
            final, ram = run_unicorn(case)
            groups[case.mask][file].append(as_test(case, final, ram, number))
    paths = []
    for mask, files in groups.items():
        folder = directory / f"mask{mask:04X}"
        folder.mkdir()
        opcodes = {}
        for file, tests in files.items():
            (folder / f"{file}.json").write_text(json.dumps(tests))
            paths.append(folder / f"{file}.json")
            opcode, _, reg = file.partition(".")
            entry = {"status": "normal", "flags-mask": mask}
            if reg:
                opcodes.setdefault(opcode, {"reg": {}})["reg"][reg] = entry
            else:
                opcodes[opcode] = entry
        (folder / "metadata.json").write_text(json.dumps({"opcodes": opcodes}))
    return paths


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("vexa_run")
    parser.add_argument("--seed", type=int, default=186)
    parser.add_argument("--count", type=int, default=60, help="tests of each opcode and reg field")
    options = parser.parse_args()
    with tempfile.TemporaryDirectory() as temp:
        paths = write_tests(pathlib.Path(temp), options.count, options.seed)
        run = subprocess.run([options.vexa_run, "--cpu=186", "--processor-tests"] + [str(p) for p in sorted(paths)],
                             capture_output=True, text=True)
    failures = [line for line in run.stdout.splitlines() if line.startswith("  FAIL")]
    for line in failures[:40]:
        print(line)
    print(run.stdout.splitlines()[-1] if run.stdout else run.stderr)
    if run.returncode != 0 or failures:
        print(f"vexa-run and unicorn disagree (exit status {run.returncode})")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
