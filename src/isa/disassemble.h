// Instructions as text, decoded by the table of forms.
#pragma once

#include <cstddef>
#include <cstdint>

#include "isa/forms.h"

namespace vexa {

// One decoded instruction.
struct Disassembly {
    int length = 0;  // bytes taken, prefixes included; 0: none could be decoded
    bool defined = false;  // false: the bytes are no instruction on this processor
    // A prefix written as a statement of its own ("SEG ES", "REP"): one line
    // cannot hold it with the prefixes after it, in their order. The
    // processor takes it with the instruction that follows.
    bool prefix = false;
    char text[96] = {};    // "MOV AX,1234H", in the assembler's own syntax
};

// Decodes the instruction at `bytes` (at most `available` bytes readable),
// which stands at offset `address` of its segment (relative targets are
// printed as offsets), as `processor` decodes it.
//
// The text assembles back to the same bytes wherever the assembler's own
// conventions give those bytes a writing: sizes are spelt out (`BYTE PTR`),
// a short JMP says `SHORT`, a near return is `RETN`, a segment override
// stands on its memory operand (`ES:[DI]`), on the source of MOVS, CMPS
// and LODS, or else before the line (`ES: STOSB`). Bytes that are no
// instruction, or are cut short by `available`, are `DB` of those bytes.
Disassembly disassemble(const uint8_t* bytes, size_t available, uint16_t address, DecodeProcessor processor);

}  // namespace vexa
