#!/usr/bin/python3
"""Runs a DOS .EXE program in an emulated 8086 and captures what it prints.

    from run_exe import run_exe, ProgramError
    output, exit_code = run_exe(image, input=b"")

`image` is the whole .EXE file. It is loaded as DOS loads one: the program
segment prefix at paragraph 1000H (INT 20H at offset 0, the top of memory
A000H at 2, an empty command tail at 80H), the load module at 1010H, each
relocation adding 1010H to the word it names; CS:IP and SS:SP as the header
gives them, their segments counted from 1010H; DS = ES = 1000H, the other
registers 0. The program gets the header's minimum allocation after its
load module, reading as zero, below A000H.

Served, as in run_com.py: INT 20H, and INT 21H functions 02H (print DL), 09H
(print the string at DS:DX up to '$') and 4CH (exit with AL); here also 00H
(exit with 0) and 01H, 07H, 08H (a key from `input` into AL, 01H printing
it; a line end, LF or CR LF, is one Enter, 0DH). A program may end with a
far return to the prefix's INT 20H.

Returns the bytes printed and the exit code. Raises ProgramError for a file
that cannot be loaded (a header or relocation table cut short, too little
memory), a service not served, input wanted when none is left, a processor
fault, or a run of more than 5,000,000 instructions.

usage: run_exe.py PROGRAM.EXE   (prints the program's output, exits with its code)
"""
import sys

from unicorn import Uc, UC_ARCH_X86, UC_MODE_16, UC_HOOK_INTR
from unicorn.x86_const import (UC_X86_REG_AX, UC_X86_REG_CS, UC_X86_REG_DS, UC_X86_REG_ES, UC_X86_REG_IP,
                               UC_X86_REG_SP, UC_X86_REG_SS)

from mz import BadExe, read_header
from run_com import ComProgram, ProgramError

PSP_SEGMENT = 0x1000
LOAD_SEGMENT = PSP_SEGMENT + 0x10
TOP_OF_MEMORY = 0xA000    # paragraph, 640 KiB
KEY_FUNCTIONS = {0x01: True, 0x07: False, 0x08: False}  # function: whether the key is printed


def program_segment_prefix():
    prefix = bytearray(0x100)
    prefix[0:4] = b"\xcd\x20" + TOP_OF_MEMORY.to_bytes(2, "little")
    prefix[0x81] = 0x0D   # an empty tail: length 0, then CR
    return bytes(prefix)


class ExeProgram(ComProgram):
    """The .COM runner's services over a machine loaded from an .EXE file."""

    def __init__(self, image, keys=b""):
        # ComProgram's own loading is a .COM's: this takes its place.
        try:
            header = read_header(image)
        except BadExe as error:
            raise ProgramError(f"cannot load: {error}") from error
        if LOAD_SEGMENT + header["module_paragraphs"] + header["min_alloc"] > TOP_OF_MEMORY:
            raise ProgramError("cannot load: the program does not fit in memory")
        self.cpu = Uc(UC_ARCH_X86, UC_MODE_16)
        self.cpu.mem_map(0, 0x100000)
        self.cpu.mem_write(PSP_SEGMENT * 16, program_segment_prefix())
        self.cpu.mem_write(LOAD_SEGMENT * 16, header["module"])
        for segment, offset in header["relocations"]:
            address = (((LOAD_SEGMENT + segment) & 0xFFFF) * 16 + offset) & 0xFFFFF
            word = int.from_bytes(self.cpu.mem_read(address, 2), "little")
            self.cpu.mem_write(address, ((word + LOAD_SEGMENT) & 0xFFFF).to_bytes(2, "little"))
        registers = {UC_X86_REG_CS: LOAD_SEGMENT + header["cs"], UC_X86_REG_IP: header["ip"],
                     UC_X86_REG_SS: LOAD_SEGMENT + header["ss"], UC_X86_REG_SP: header["sp"],
                     UC_X86_REG_DS: PSP_SEGMENT, UC_X86_REG_ES: PSP_SEGMENT}
        for register, value in registers.items():
            self.cpu.reg_write(register, value & 0xFFFF)
        self.cpu.hook_add(UC_HOOK_INTR, self.interrupt)
        self.keys = keys.replace(b"\r\n", b"\r").replace(b"\n", b"\r")
        self.output = bytearray()
        self.exit_code = None
        self.failure = None

    def interrupt(self, cpu, number, data):
        function = cpu.reg_read(UC_X86_REG_AX) >> 8
        if number == 0x21 and function == 0x00:
            self.finish(0)
        elif number == 0x21 and function in KEY_FUNCTIONS:
            self.read_key(KEY_FUNCTIONS[function])
        else:
            super().interrupt(cpu, number, data)

    def read_key(self, printed):
        if not self.keys:
            self.fail("the program waits for input and none is left")
            return
        key, self.keys = self.keys[0], self.keys[1:]
        self.cpu.reg_write(UC_X86_REG_AX, (self.cpu.reg_read(UC_X86_REG_AX) & 0xFF00) | key)
        if printed:
            self.output.append(key)


def run_exe(image, input=b""):
    """Loads `image`, an .EXE file's bytes, runs it with `input` for its
    keyboard, and answers (output bytes, exit code)."""
    return ExeProgram(bytes(image), input).run()


def main():
    with open(sys.argv[1], "rb") as file:
        image = file.read()
    try:
        output, code = run_exe(image)
    except ProgramError as error:
        print(f"run_exe: {error}", file=sys.stderr)
        return 99
    sys.stdout.buffer.write(output)
    return code


if __name__ == "__main__":
    sys.exit(main())
