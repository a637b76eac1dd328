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

// AAM and AAD divide and multiply by a base the second byte holds: under
// NASM's conventions it may be written (AAM 16 is D4 10), else it is 10.
int ascii_adjust(const Mnemonic& mnemonic, Statement& s) {
    if (!s.assembly.conventions.nasm || !s.operand_text[0]) return fixed_encoding(mnemonic, s);
    if (int result = require_one_operand(s)) return result;
    if (s.dst.kind != KIND_IMMEDIATE) return ERR_INVALID_OPERAND;
    if (!fits_byte(s.dst.value)) return ERR_ILLEGAL_SIZE;
    put_byte(s, mnemonic.opcode);
    put_byte(s, s.dst.value);
    return 0;
}

int fixed_encoding_186(const Mnemonic& mnemonic, Statement& s) {
    if (int refused = require_186(s, s.mnemonic_field, ERR_INVALID_OPCODE)) return refused;
    return fixed_encoding_unless_operands(mnemonic, s);
}

}  // namespace vexa
