// Instructions as text, decoded by the table of forms.
#include "isa/disassemble.h"

namespace vexa {

Disassembly disassemble(const uint8_t*, size_t, uint16_t, DecodeProcessor) { return {}; }

}  // namespace vexa
