#!/usr/bin/python3
"""Runs a DOS .COM program in an emulated 8086 and captures what it prints.

The image is loaded at offset 100H of a 64 KiB segment, with CS, DS, ES and SS
all set to that segment and SP at FFFEH. As under DOS, the word at the top of
the stack is 0 and the segment starts with INT 20H, so a program may end with
RET as well as with INT 20H or INT 21H function 4CH. INT 21H functions 02H
(print DL) and 09H (print the string at DS:DX up to '$') are served; anything
else stops the run with an error.

usage: run_com.py PROGRAM.COM   (prints the program's output, exits with its code)
"""
import sys

from unicorn import Uc, UcError, UC_ARCH_X86, UC_MODE_16, UC_HOOK_INTR
from unicorn.x86_const import (UC_X86_REG_AX, UC_X86_REG_CS, UC_X86_REG_DS, UC_X86_REG_DX,
                               UC_X86_REG_ES, UC_X86_REG_IP, UC_X86_REG_SP, UC_X86_REG_SS)

SEGMENT = 0x1000          # paragraph of the program's segment
STACK_TOP = 0xFFFE
MAX_STEPS = 5_000_000     # a program that runs longer than this is taken to hang


class ProgramError(Exception):
    pass


class ComProgram:
    def __init__(self, image):
        if len(image) > 0x10000 - 0x100:
            raise ProgramError("image larger than its segment")
        self.cpu = Uc(UC_ARCH_X86, UC_MODE_16)
        self.base = SEGMENT * 16
        self.cpu.mem_map(0, 0x100000)
        self.cpu.mem_write(self.base, b"\xcd\x20")          # INT 20H at PSP:0000
        self.cpu.mem_write(self.base + 0x100, image)
        self.cpu.mem_write(self.base + STACK_TOP, b"\x00\x00")  # RET goes to PSP:0000
        for register in (UC_X86_REG_CS, UC_X86_REG_DS, UC_X86_REG_ES, UC_X86_REG_SS):
            self.cpu.reg_write(register, SEGMENT)
        self.cpu.reg_write(UC_X86_REG_SP, STACK_TOP)
        self.cpu.reg_write(UC_X86_REG_IP, 0x100)
        self.cpu.hook_add(UC_HOOK_INTR, self.interrupt)
        self.output = bytearray()
        self.exit_code = None
        self.failure = None

    def linear(self, segment_register, offset):
        return self.cpu.reg_read(segment_register) * 16 + offset

    def finish(self, code):
        self.exit_code = code
        self.cpu.emu_stop()

    def fail(self, message):
        self.failure = message
        self.cpu.emu_stop()

    def interrupt(self, cpu, number, _):
        ax = cpu.reg_read(UC_X86_REG_AX)
        if number == 0x20:
            self.finish(0)
        elif number != 0x21:
            self.fail(f"unsupported interrupt {number:02X}H")
        elif ax >> 8 == 0x02:
            self.output.append(cpu.reg_read(UC_X86_REG_DX) & 0xFF)
        elif ax >> 8 == 0x09:
            self.print_string(cpu.reg_read(UC_X86_REG_DX))
        elif ax >> 8 == 0x4C:
            self.finish(ax & 0xFF)
        else:
            self.fail(f"unsupported INT 21H function {ax >> 8:02X}H")

    def print_string(self, offset):
        for count in range(0x10000):
            byte = self.cpu.mem_read(self.linear(UC_X86_REG_DS, (offset + count) & 0xFFFF), 1)[0]
            if byte == ord("$"):
                return
            self.output.append(byte)
        self.fail("string without '$'")

    def run(self):
        # Unicorn takes the start as a linear address and sets IP from it: CS:IP.
        start = self.cpu.reg_read(UC_X86_REG_CS) * 16 + self.cpu.reg_read(UC_X86_REG_IP)
        try:
            self.cpu.emu_start(start, 0xFFFFFFFF, count=MAX_STEPS)
        except UcError as error:
            cs, ip = self.cpu.reg_read(UC_X86_REG_CS), self.cpu.reg_read(UC_X86_REG_IP)
            raise ProgramError(f"CPU fault at {cs:04X}:{ip:04X}: {error}") from error
        if self.failure:
            raise ProgramError(self.failure)
        if self.exit_code is None:
            raise ProgramError(f"no exit within {MAX_STEPS} instructions")
        return bytes(self.output), self.exit_code


def main():
    with open(sys.argv[1], "rb") as image:
        program = ComProgram(image.read())
    try:
        output, code = program.run()
    except ProgramError as error:
        print(f"run_com: {error}", file=sys.stderr)
        return 99
    sys.stdout.buffer.write(output)
    return code


if __name__ == "__main__":
    sys.exit(main())
