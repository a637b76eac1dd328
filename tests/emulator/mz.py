"""The header of an MZ .EXE file: read as DOS reads it, and written for tests.

The header is 14 little-endian words, then (usually) the relocation table:
one offset word and one segment word per entry. The file is counted in
512-byte pages, header included; the load module is what follows the header
up to that length.
"""
import struct

HEADER_SIZE = 28
PAGE = 512
FIELDS = ("signature", "last_page_bytes", "pages", "relocation_count", "header_paragraphs", "min_alloc",
          "max_alloc", "ss", "sp", "checksum", "ip", "cs", "relocation_table", "overlay")


class BadExe(Exception):
    pass


def is_exe(image):
    return image[:2] in (b"MZ", b"ZM")


def read_header(image):
    """The header's fields by name, the relocations as (segment, offset)
    pairs, and the load module's bytes present in the file."""
    if len(image) < HEADER_SIZE:
        raise BadExe(f"header shorter than {HEADER_SIZE} bytes")
    header = dict(zip(FIELDS, struct.unpack_from("<14H", image)))
    header_size = header["header_paragraphs"] * 16
    if header_size > len(image):
        raise BadExe(f"header of {header_size} bytes in a file of {len(image)}")
    table, count = header["relocation_table"], header["relocation_count"]
    if count and table + 4 * count > len(image):
        raise BadExe("relocation table beyond the end of the file")
    pages, last = header["pages"], header["last_page_bytes"]
    declared = max(0, (pages - 1) * PAGE + (last or PAGE) - header_size) if pages else 0
    header["module_paragraphs"] = (declared + 15) // 16
    header["relocations"] = [struct.unpack_from("<HH", image, table + 4 * i)[::-1] for i in range(count)]
    header["module"] = image[header_size:header_size + declared]
    return header


def build_exe(module, relocations=(), cs=0, ip=0, ss=0, sp=0, min_alloc=0, max_alloc=0xFFFF, trailing=b"",
              signature=b"MZ"):
    """An .EXE file: the header with its relocation table ((segment, offset)
    pairs) padded to a paragraph, the module, then `trailing` bytes the
    header does not count (as a debugger's or an overlay's data)."""
    table_end = HEADER_SIZE + 4 * len(relocations)
    header_paragraphs = (table_end + 15) // 16
    total = header_paragraphs * 16 + len(module)
    words = {"last_page_bytes": total % PAGE, "pages": (total + PAGE - 1) // PAGE,
             "relocation_count": len(relocations), "header_paragraphs": header_paragraphs,
             "min_alloc": min_alloc, "max_alloc": max_alloc, "ss": ss, "sp": sp, "checksum": 0, "ip": ip,
             "cs": cs, "relocation_table": HEADER_SIZE, "overlay": 0}
    header = signature + struct.pack("<13H", *(words[name] for name in FIELDS[1:]))
    header += b"".join(struct.pack("<HH", offset, segment) for segment, offset in relocations)
    return header.ljust(header_paragraphs * 16, b"\0") + bytes(module) + trailing
