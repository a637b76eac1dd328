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
    char text[96] = {};    // "MOV AX,1234H", in the assembler's own syntax
};

// Decodes the instruction at `bytes` (at most `available` bytes readable),
// which stands at offset `address` of its segment (relative targets are
// printed as offsets), as `processor` decodes it.
Disassembly disassemble(const uint8_t* bytes, size_t available, uint16_t address, DecodeProcessor processor);

}  // namespace vexa
