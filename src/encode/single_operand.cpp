// One register or memory operand: INC, DEC, NEG, NOT, MUL, IMUL, DIV, IDIV,
// and the shifts and rotates ROL, ROR, RCL, RCR, SAL, SHL, SHR, SAR. The
// mnemonic table gives each its opcode extension (/digit).
//
// All take the byte form of their opcode unless the operand is a word: an
// unsized memory operand is a byte.
#include "driver/assembly.h"
#include "encode/encode.h"

namespace vexa {

namespace {

constexpr uint8_t INC_WORD_REGISTER = 0x40;  // + register; DEC is 0x48 + register
constexpr uint8_t SHIFT_BY_ONE = 0xD0;
constexpr uint8_t SHIFT_BY_CL = 0xD2;
constexpr uint8_t REGISTER_CL = 1;

bool is_cl(const Operand& operand) {
    return operand.kind == KIND_REGISTER && operand.size == SIZE_BYTE && operand.reg == REGISTER_CL;
}

}  // namespace

// INC and DEC have a one-byte form for every word register.
int inc_dec(const Mnemonic& mnemonic, Statement& s) {
    if (int result = require_one_operand(s)) return result;
    if (int result = require_data_size(s.dst)) return result;
    if (s.dst.kind == KIND_REGISTER && s.dst.size == SIZE_WORD) {
        put_byte(s, INC_WORD_REGISTER + (mnemonic.extension << 3) + s.dst.reg);
        return 0;
    }
    note_size_assumed(s, WARNED_BYTE_ASSUMED);
    return encode_rm_ext(s, mnemonic.opcode, uint8_t(mnemonic.extension << 3));
}

// NEG, NOT, MUL, IMUL, DIV, IDIV: F6 /digit, F7 for a word.
int unary_group(const Mnemonic& mnemonic, Statement& s) {
    if (int result = require_one_operand(s)) return result;
    if (int result = require_data_size(s.dst)) return result;
    note_size_assumed(s, WARNED_BYTE_ASSUMED);
    return encode_rm_ext(s, mnemonic.opcode, uint8_t(mnemonic.extension << 3));
}

// The shifts and rotates: the count is 1 (D0/D1) or CL (D2/D3), and it is
// checked before the operand it shifts.
int encode_shift(const Mnemonic& mnemonic, Statement& s) {
    if (int result = require_two_operands(s)) return result;
    uint8_t opcode;
    if (s.src.kind == KIND_IMMEDIATE) {
        if (s.src.value != 1) return ERR_INVALID_OPERAND;
        opcode = SHIFT_BY_ONE;
    } else {
        if (!is_cl(s.src)) return ERR_INVALID_OPERAND;
        opcode = SHIFT_BY_CL;
    }
    // CL is the count: a variable still gives the size (SHL [FLAG],CL).
    if (s.dst.kind == KIND_MEMORY && s.dst.size == SIZE_NONE) s.dst.size = s.dst.variable_size;
    if (int result = require_data_size(s.dst)) return result;
    note_size_assumed(s, WARNED_BYTE_ASSUMED);
    return encode_rm_ext(s, opcode, uint8_t(mnemonic.extension << 3));
}

}  // namespace vexa
