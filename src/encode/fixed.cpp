// Instructions without operands whose bytes never change: AAA, AAD, AAM, AAS,
// CBW, CLC, CLD, CLI, CMC, CWD, DAA, DAS, HLT, NOP, STC, STD, STI, and the
// single bytes of other families (XLAT, LAHF, SAHF, PUSHF, POPF, ...).
#include "driver/assembly.h"
#include "encode/encode.h"

namespace vexa {

// The bytes are stored before the operand test: a statement rejected for its
// operands is listed with them, though nothing is emitted.
int fixed_encoding(const Mnemonic& mnemonic, Statement& s) {
    put_byte(s, mnemonic.opcode);
    if (mnemonic.extension) put_byte(s, mnemonic.extension);
    return s.operand_text[0] ? ERR_EXTRA_OPERAND : 0;
}

int fixed_encoding_unless_operands(const Mnemonic& mnemonic, Statement& s) {
    if (s.operand_text[0]) return ERR_EXTRA_OPERAND;
    return fixed_encoding(mnemonic, s);
}

int nasm_fixed_encoding(const Mnemonic& mnemonic, Statement& s) {
    return s.assembly.conventions.nasm ? fixed_encoding(mnemonic, s) : ERR_INVALID_OPCODE;
}

int fixed_encoding_186(const Mnemonic& mnemonic, Statement& s) {
    if (int refused = require_186(s, s.mnemonic_field, ERR_INVALID_OPCODE)) return refused;
    return fixed_encoding_unless_operands(mnemonic, s);
}

}  // namespace vexa
