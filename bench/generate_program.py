#!/usr/bin/env python3
"""Generates a large, realistic 8086 program, deterministically, in the syntax
of Vexa, NASM and fasm.

The program mixes register, immediate and memory forms of the common
instructions, data lines, EQU constants, labels referenced backward and
forward by jumps, calls, loops and address operands. Every instruction has
the same length in all three syntaxes, so the NASM image disassembles like
Vexa's. Labels are named L and seven digits.

fasm cannot address beyond 64 KiB in 16-bit code, so its version is written
as several independent programs of at most CHUNK lines each; their times add
up to the whole program's.

usage: generate_program.py LINES LABELS OUT_PREFIX [--seed N] [--chunk-lines N] [--code-only]
       writes OUT_PREFIX.asm (Vexa), OUT_PREFIX.nasm and OUT_PREFIX.NNN.fasm;
       --code-only leaves out DB and DW, so that a disassembler never runs
       from data into code
"""
import argparse
import random

REG16 = ["AX", "BX", "CX", "DX", "SI", "DI", "BP"]
REG8 = ["AL", "BL", "CL", "DL", "AH", "BH", "CH", "DH"]
ALU = ["ADD", "SUB", "AND", "OR", "XOR", "CMP", "ADC", "SBB"]
SHIFTS = ["SHL", "SHR", "SAR", "ROL", "RCR"]
CONDITIONS = ["JE", "JNE", "JB", "JAE", "JL", "JGE", "JZ", "JNZ", "JA", "JBE"]
SINGLE_BYTES = ["NOP", "CLC", "STC", "CLD", "CBW", "CWD", "LAHF", "SAHF"]
CONSTANTS = 50
JMP_BACK_LINES = 130  # every line is at least one byte: such a JMP is near


def label(index):
    return f"L{index:07d}"


class Generator:
    """Writes statements as (vexa, nasm) pairs; fasm takes NASM's text."""

    def __init__(self, lines, labels, seed, code_only=False):
        self.random = random.Random(seed)
        self.code_only = code_only
        self.lines = lines
        self.spacing = max(1, lines // max(1, labels))
        self.label_count = (lines + self.spacing - 1) // self.spacing

    def pick(self, items):
        return self.random.choice(items)

    def small(self):
        return self.random.randint(1, 100)

    def large(self):
        return self.random.randint(300, 20000)

    def displacement(self):
        return self.random.randint(1, 100)

    def statement(self, line):
        """One statement for source line `line` (0-based) of the body."""
        here = line // self.spacing  # the label at or before this line
        kinds = [self.register_move, self.memory_move, self.alu_registers, self.alu_immediate,
                 self.alu_memory, self.single_operand, self.stack, self.shift, self.address,
                 self.label_use, self.call, self.forward_jump, self.backward_jump, self.conditional,
                 self.loop, self.data, self.constant, self.misc]
        weights = [10, 12, 12, 10, 5, 6, 6, 4, 3, 5, 4, 3, 2, 6, 2, 0 if self.code_only else 4, 3, 3]
        return self.random.choices(kinds, weights)[0](line, here)

    def register_move(self, line, here):
        if self.random.random() < 0.5:
            r, v = self.pick(REG16), self.large()
            return f"MOV {r},{v}", f"mov {r},{v}"
        r, v = self.pick(REG8), self.random.randint(0, 255)
        return f"MOV {r},{v}", f"mov {r},{v}"

    def memory_move(self, line, here):
        r, d = self.pick(REG16), self.displacement()
        forms = [(f"MOV {r},[BX+SI+{d}]", f"mov {r},[bx+si+{d}]"),
                 (f"MOV [DI+{d}],{r}", f"mov [di+{d}],{r}"),
                 (f"MOV {r},WORD PTR [BP+{d * 100}]", f"mov {r},word [bp+{d * 100}]"),
                 (f"MOV ES:[DI+{d}],AL", f"mov [es:di+{d}],al"),
                 (f"MOV BYTE PTR [BX+{d}],{d}", f"mov byte [bx+{d}],{d}")]
        return self.pick(forms)

    def alu_registers(self, line, here):
        op = self.pick(ALU)
        if self.random.random() < 0.7:
            a, b = self.pick(REG16), self.pick(REG16)
        else:
            a, b = self.pick(REG8), self.pick(REG8)
        return f"{op} {a},{b}", f"{op} {a},{b}"

    def alu_immediate(self, line, here):
        op, r = self.pick(ALU), self.pick(REG16)
        v = self.small() if self.random.random() < 0.6 else self.large()
        return f"{op} {r},{v}", f"{op} {r},{v}"

    def alu_memory(self, line, here):
        op, d = self.pick(ALU), self.displacement()
        if self.random.random() < 0.5:
            v = self.random.randint(0, 255)
            return f"{op} BYTE PTR [BX+{d}],{v}", f"{op} byte [bx+{d}],{v}"
        v = self.small() if self.random.random() < 0.5 else self.large()
        return f"{op} WORD PTR [SI+{d * 100}],{v}", f"{op} word [si+{d * 100}],{v}"

    def single_operand(self, line, here):
        forms = [(f"INC {self.pick(REG16)}", None), (f"DEC {self.pick(REG16)}", None),
                 ("INC BYTE PTR [SI]", "inc byte [si]"), (f"NEG {self.pick(REG8)}", None),
                 (f"MUL {self.pick(REG16)}", None), (f"NOT WORD PTR [DI+{self.displacement()}]", None)]
        vexa, nasm = self.pick(forms)
        return vexa, nasm or vexa.replace("WORD PTR", "word")

    def stack(self, line, here):
        r = self.pick(REG16)
        return (f"PUSH {r}", f"push {r}") if self.random.random() < 0.5 else (f"POP {r}", f"pop {r}")

    def shift(self, line, here):
        op = self.pick(SHIFTS)
        if self.random.random() < 0.5:
            r = self.pick(REG16)
            return f"{op} {r},1", f"{op} {r},1"
        r = self.pick(REG8)
        return f"{op} {r},CL", f"{op} {r},cl"

    def address(self, line, here):
        d = self.displacement()
        return f"LEA SI,[BX+DI+{d}]", f"lea si,[bx+di+{d}]"

    def any_label(self):
        return label(self.random.randrange(self.label_count))

    def label_use(self, line, here):
        target = self.any_label()
        forms = [(f"MOV AX,[{target}]", f"mov ax,[{target}]"),
                 (f"MOV [{target}],AX", f"mov [{target}],ax"),
                 (f"MOV {self.pick(REG16)},OFFSET {target}", None),
                 (f"MOV DX,[BX+{target}]", f"mov dx,[bx+{target}]")]
        vexa, nasm = self.pick(forms)
        return vexa, nasm or vexa.replace("OFFSET ", "")

    def call(self, line, here):
        target = self.any_label()
        return f"CALL {target}", f"call {target}"

    def forward_jump(self, line, here):
        if here + 1 >= self.label_count:
            return self.misc(line, here)
        target = label(self.random.randint(here + 1, min(self.label_count - 1, here + 5)))
        return f"JMP {target}", f"jmp near {target}"

    def backward_jump(self, line, here):
        farthest = (line - JMP_BACK_LINES) // self.spacing
        if farthest < 0:
            return self.misc(line, here)
        target = label(self.random.randint(max(0, farthest - 5), farthest))
        return f"JMP {target}", f"jmp near {target}"

    def conditional(self, line, here):
        # The next label, when it is close enough for an 8-bit displacement.
        next_line = (here + 1) * self.spacing
        op = self.pick(CONDITIONS)
        if here + 1 < self.label_count and next_line - line <= 8:
            target = label(here + 1)
            return f"{op} {target}", f"{op} short {target}"
        return f"{op} $+2", f"{op} short $+2"

    def loop(self, line, here):
        if line - here * self.spacing <= 8 and line > here * self.spacing:
            return f"LOOP {label(here)}", f"loop {label(here)}"
        return "LOOP $+2", "loop $+2"

    def data(self, line, here):
        if self.random.random() < 0.5:
            values = [self.random.randint(0, 255) for _ in range(self.random.randint(1, 6))]
            text = ",".join(map(str, values))
            return f"DB 'msg',{text}", f"db 'msg',{text}"
        # Labels of a large program lie beyond 64 KiB: a word of data takes numbers.
        values = f"{self.large()},{self.random.randint(0, 65535)}"
        return f"DW {values}", f"dw {values}"

    def constant(self, line, here):
        k = f"K{self.random.randrange(CONSTANTS):03d}"
        if self.random.random() < 0.5:
            return f"MOV {self.pick(REG16)},{k}", None
        return f"CMP AX,{k}", None

    def misc(self, line, here):
        forms = [(self.pick(SINGLE_BYTES), None), ("INT 21H", "int 0x21"), ("RET", "ret"),
                 (f"XCHG AX,{self.pick(REG16[1:])}", None), (f"TEST {self.pick(REG16)},CX", None)]
        vexa, nasm = self.pick(forms)
        if vexa.startswith("TEST"):  # TEST has no direction bit: NASM writes it the other way round
            reg = vexa.split()[1].split(",")[0]
            nasm = f"test cx,{reg}"
        return vexa, nasm or vexa


def write_programs(args):
    generator = Generator(args.lines, args.labels, args.seed, args.code_only)
    constants = [(f"K{i:03d}", generator.random.randint(1, 40000)) for i in range(CONSTANTS)]
    vexa = ["; generated benchmark program", "        ORG 100H"]
    nasm = ["; generated benchmark program", "bits 16", "cpu 8086", "org 0x100"]
    for name, value in constants:
        vexa.append(f"{name}    EQU {value}")
        nasm.append(f"{name} equ {value}")
    body = []
    for line in range(args.lines):
        statement_vexa, statement_nasm = generator.statement(line)
        statement_nasm = statement_nasm or statement_vexa
        name = label(line // generator.spacing) if line % generator.spacing == 0 else None
        body.append((name, statement_vexa, statement_nasm))
    for name, statement_vexa, statement_nasm in body:
        vexa.append(f"{name}: {statement_vexa}" if name else f"        {statement_vexa}")
        nasm.append(f"{name}: {statement_nasm}" if name else f"        {statement_nasm}")
    vexa.append("        END")
    with open(args.prefix + ".asm", "w") as out:
        out.write("\n".join(vexa) + "\n")
    with open(args.prefix + ".nasm", "w") as out:
        out.write("\n".join(nasm) + "\n")
    if args.chunk_lines:
        write_fasm_chunks(args, constants)


def write_fasm_chunks(args, constants):
    """Independent fasm programs of the same mix, each within 64 KiB."""
    chunks = (args.lines + args.chunk_lines - 1) // args.chunk_lines
    labels = max(1, args.labels * args.chunk_lines // args.lines)
    for chunk in range(chunks):
        generator = Generator(min(args.chunk_lines, args.lines - chunk * args.chunk_lines), labels,
                              args.seed + chunk + 1)
        lines = ["use16", "org 0x100"] + [f"{name} = {value}" for name, value in constants]
        for line in range(generator.lines):
            vexa, nasm = generator.statement(line)
            text = nasm or vexa
            name = label(line // generator.spacing) if line % generator.spacing == 0 else None
            lines.append(f"{name}: {text}" if name else f"        {text}")
        with open(f"{args.prefix}.{chunk:03d}.fasm", "w") as out:
            out.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("lines", type=int)
    parser.add_argument("labels", type=int)
    parser.add_argument("prefix")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--chunk-lines", type=int, default=0)
    parser.add_argument("--code-only", action="store_true")
    write_programs(parser.parse_args())


if __name__ == "__main__":
    main()
