// Instructions without operands whose bytes never change: AAA, AAD, AAM, AAS,
// CBW, CLC, CLD, CLI, CMC, CWD, DAA, DAS, HLT, NOP, STC, STD, STI, and the
// single bytes of other families (XLAT, LAHF, SAHF, PUSHF, POPF, ...).
#include "encode/encode.h"

namespace vexa {

// The bytes are stored before the operand test: a statement rejected for its
// operands is listed with them, though nothing is emitted.
int fixed_encoding(const Mnemonic& mnemonic) {
    put_byte(mnemonic.opcode);
    if (mnemonic.extension) put_byte(mnemonic.extension);
    return operand_text[0] ? ERR_EXTRA_OPERAND : 0;
}

int fixed_encoding_unless_operands(const Mnemonic& mnemonic) {
    if (operand_text[0]) return ERR_EXTRA_OPERAND;
    return fixed_encoding(mnemonic);
}

}  // namespace vexa
