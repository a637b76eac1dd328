"""Small .EXE programs built byte by byte, each with the output and exit code
it must give, and .EXE files DOS would refuse to load.

A program is a list of segments, each a list of items: bytes of code or
data, Label(name) for the place it stands, Off(name) for a label's offset in
its segment and Seg(name) for a segment's paragraph. Every Seg word is a
relocation. Segments are laid out in order, each from a paragraph; the stack
segment comes after the load module, in the memory the header asks for.
"""
import dataclasses

from mz import build_exe


@dataclasses.dataclass
class Label:
    name: str


@dataclasses.dataclass
class Off:
    label: str


@dataclasses.dataclass
class Seg:
    segment: str


def item_size(item):
    return 0 if isinstance(item, Label) else 2 if isinstance(item, (Off, Seg)) else len(item)


def link(segments, entry, stack_size=0x100, trailing=b"", signature=b"MZ"):
    """An .EXE file of `segments` ([(name, items)]), starting at the label
    `entry`, with a stack segment STACK of `stack_size` bytes and SP at its
    top."""
    paragraphs, labels, offset = {}, {}, 0
    for name, items in segments:
        offset = (offset + 15) & ~15
        paragraphs[name] = offset // 16
        place = 0
        for item in items:
            if isinstance(item, Label):
                labels[item.name] = (name, place)
            place += item_size(item)
        offset += place
    module_end = offset
    paragraphs["STACK"] = (module_end + 15) // 16
    module, relocations = bytearray(), []
    for name, items in segments:
        module.extend(bytes(paragraphs[name] * 16 - len(module)))
        for item in items:
            if isinstance(item, Seg):
                relocations.append((paragraphs[name], len(module) - paragraphs[name] * 16))
                module += paragraphs[item.segment].to_bytes(2, "little")
            elif isinstance(item, Off):
                module += labels[item.label][1].to_bytes(2, "little")
            elif not isinstance(item, Label):
                module += item
    entry_segment, ip = labels[entry]
    min_alloc = (stack_size + 15) // 16
    return build_exe(module, relocations, cs=paragraphs[entry_segment], ip=ip, ss=paragraphs["STACK"],
                     sp=stack_size, min_alloc=min_alloc, trailing=trailing, signature=signature)


PRINT = b"\xB4\x09\xCD\x21"   # MOV AH,09H; INT 21H
EXIT_0 = b"\xB8\x00\x4C\xCD\x21"  # MOV AX,4C00H; INT 21H


@dataclasses.dataclass
class Program:
    what: str
    image: bytes
    output: bytes
    exit_code: int = 0
    input: bytes = b""


# Data first, so that CS is not the load segment, and three HLTs before the
# entry, so that a start at IP 0 ends at once. The far procedures are reached
# by a direct far call, by a far pointer in the data, and by a far jump; the
# exit code is 5 only when SS is the stack segment.
THREE_SEGMENTS = link([
    ("DATA", [Label("hello"), b"Hello, data $",
              Label("pointer"), Off("star"), Seg("FAR")]),
    ("CODE", [b"\xF4\xF4\xF4",
              Label("start"), b"\xB8", Seg("DATA"),                  # MOV AX,DATA
              b"\x8E\xD8",                                          # MOV DS,AX
              b"\xBA", Off("hello"), PRINT,                         # MOV DX,OFFSET hello
              b"\x9A", Off("greet"), Seg("FAR"),                    # CALL FAR greet
              b"\xFF\x1E", Off("pointer"),                          # CALL FAR [pointer]
              b"\xEA", Off("finish"), Seg("FAR")]),                 # JMP FAR finish
    ("FAR", [Label("greet"), b"\x1E",                               # PUSH DS
             b"\xB8", Seg("FAR"), b"\x8E\xD8",                      # MOV AX,FAR; MOV DS,AX
             b"\xBA", Off("far_text"), PRINT,
             b"\x1F\xCB",                                           # POP DS; RETF
             Label("star"), b"\xB2*\xB4\x02\xCD\x21\xCB",           # MOV DL,'*'; MOV AH,02H; INT 21H; RETF
             Label("finish"), b"\x8C\xD0",                          # MOV AX,SS
             b"\x2D", Seg("STACK"),                                 # SUB AX,STACK
             b"\x05\x05\x4C\xCD\x21",                               # ADD AX,4C05H; INT 21H
             Label("far_text"), b"far $"]),
], "start")

# The way MASM's programs end: a far return to the INT 20H at the prefix's
# offset 0, DS holding the prefix's segment at the start.
FAR_RETURN = link([
    ("CODE", [Label("start"), b"\x1E\x31\xC0\x50",                  # PUSH DS; XOR AX,AX; PUSH AX
              b"\xB8", Seg("DATA"), b"\x8E\xD8",
              b"\xBA", Off("bye"), PRINT,
              b"\xCB"]),                                            # RETF
    ("DATA", [Label("bye"), b"bye$"]),
], "start", stack_size=0x40)

# DS:2 holds the top of memory; ES:0 the INT 20H, whose CDH is the exit code.
PREFIX_SEGMENTS = link([
    ("CODE", [Label("start"), b"\xA1\x02\x00",                      # MOV AX,[0002H]
              b"\x3D\x00\xA0\x75\x08",                              # CMP AX,0A000H; JNE bad
              b"\x26\xA0\x00\x00\xB4\x4C\xCD\x21",                  # MOV AL,ES:[0000H]; MOV AH,4CH; INT 21H
              b"\xB8\x01\x4C\xCD\x21"]),                            # bad: MOV AX,4C01H; INT 21H
], "start")

# The last of the module's 480 bytes, which with the 32 of the header fill
# one page: a last-page count of 0 means a whole page.
WHOLE_PAGE = link([
    ("CODE", [Label("start"), b"\x2E\x8A\x16\xDF\x01",              # MOV DL,CS:[479]
              b"\xB4\x02\xCD\x21", EXIT_0, bytes(479 - 14), b"Z"]),
], "start")

# The byte after the module the header counts; the file goes on with an 'X'.
TRAILING_BYTES = link([
    ("CODE", [Label("start"), b"\x2E\x8A\x16", Off("end"),          # MOV DL,CS:[end]
              b"\xB4\x02\xCD\x21", EXIT_0, Label("end")]),
], "start", trailing=b"X$")

READ_KEY = link([
    ("CODE", [Label("start"), b"\xB4\x01\xCD\x21\xB4\x4C\xCD\x21"]),  # MOV AH,01H; INT 21H; MOV AH,4CH; INT 21H
], "start")

SIGNATURE_ZM = link([
    ("CODE", [Label("start"), b"\x0E\x1F", b"\xBA", Off("text"), PRINT, EXIT_0,  # PUSH CS; POP DS
              Label("text"), b"zm$"]),
], "start", signature=b"ZM")

PROGRAMS = [
    Program("three segments: far calls and a jump through relocated segment words", THREE_SEGMENTS,
            b"Hello, data far *", 5),
    Program("a far return to the prefix", FAR_RETURN, b"bye"),
    Program("DS and ES hold the prefix's segment", PREFIX_SEGMENTS, b"", 0xCD),
    Program("a last page counted whole", WHOLE_PAGE, b"Z"),
    Program("bytes after the counted length are not loaded", TRAILING_BYTES, b"\0"),
    Program("a key from the input", READ_KEY, b"k", ord("k"), b"k"),
    Program("the signature ZM", SIGNATURE_ZM, b"zm"),
]


# ---- Files that cannot be loaded ---------------------------------------------------

def with_word(image, offset, value):
    return image[:offset] + value.to_bytes(2, "little") + image[offset + 2:]


def refused():
    """(what, file, the reason vexa-run gives after the file's name)."""
    small = FAR_RETURN  # a header of 2 paragraphs, a module of 3
    return [
        ("a header shorter than 28 bytes", b"MZ" + bytes(25), "has an .EXE header shorter than 28 bytes"),
        ("a header longer than the file", with_word(small, 0x08, 0x20),
         f"has an .EXE header of 512 bytes in a file of {len(small)}"),
        ("a relocation table past the end", with_word(small, 0x18, len(small) - 2),
         "has a relocation table beyond the end of the file"),
        ("one paragraph more memory than there is", with_word(small, 0x0A, 0xA000 - 0x1010 - 3 + 1),
         "needs 589584 bytes of memory; an .EXE program has at most 589568"),
    ]
