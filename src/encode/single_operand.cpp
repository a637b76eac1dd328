// One register or memory operand: INC, DEC, NEG, NOT, MUL, IMUL, DIV, IDIV,
// and the shifts and rotates ROL, ROR, RCL, RCR, SAL, SHL, SHR, SAR. The
// mnemonic table gives each its opcode extension (/digit). The 80186 adds
// IMUL by an immediate and the shifts by an immediate count.
//
// All take the byte form of their opcode unless the operand is a word: an
// unsized memory operand is a byte.
#include "driver/assembly.h"
#include "encode/encode.h"
#include "isa/forms.h"

namespace vexa {

namespace {

constexpr uint8_t INC_WORD_REGISTER = opcode_of("INC r16");  // + register; DEC is 48H + register
constexpr uint8_t SHIFT_BY_ONE = opcode_of("SHL r/m8,1");
constexpr uint8_t SHIFT_BY_CL = opcode_of("SHL r/m8,CL");
constexpr uint8_t SHIFT_BY_COUNT = opcode_of("SHL r/m8,imm8");
constexpr uint8_t IMUL_BY_BYTE = opcode_of("IMUL r16,r/m16,imm8");
constexpr uint8_t IMUL_BY_WORD = opcode_of("IMUL r16,r/m16,imm16");
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

// IMUL r16,r/m16,imm and IMUL r16,imm (the register is both): the
// product of a word and a signed immediate, in a word register.
int imul_instruction(const Mnemonic& mnemonic, Statement& s) {
    if (s.operand_count < 2) return unary_group(mnemonic, s);
    const Operand& immediate = s.operand_count == 3 ? s.third : s.src;
    if (immediate.kind != KIND_IMMEDIATE && s.operand_count == 3) {
        return s.deferred_error ? s.deferred_error : ERR_INVALID_OPERAND;
    }
    if (immediate.kind != KIND_IMMEDIATE) return ERR_EXTRA_OPERAND;
    if (int refused = require_186(s, "IMUL by an immediate", ERR_EXTRA_OPERAND)) return refused;
    if (s.dst.kind != KIND_REGISTER || s.dst.size != SIZE_WORD) return ERR_INVALID_OPERAND;
    Operand factor = s.operand_count == 3 ? s.src : s.dst;
    if (!is_register_or_memory(factor)) return ERR_INVALID_OPERAND;
    if (factor.size == SIZE_NONE && factor.kind == KIND_MEMORY) factor.size = factor.variable_size;
    if (factor.size != SIZE_WORD && factor.size != SIZE_NONE) return ERR_ILLEGAL_SIZE;
    bool byte = takes_signed_byte(s, immediate);
    if (byte && !fits_signed_byte(immediate.value)) return ERR_ILLEGAL_SIZE;  // IMUL AX,BX,BYTE 200
    put_byte(s, byte ? IMUL_BY_BYTE : IMUL_BY_WORD);
    put_modrm_and_displacement(s, modrm(rm_mod(factor), s.dst.reg, factor.reg));
    put_immediate(s, immediate.value, byte);
    return 0;
}

// The shifts and rotates: the count is 1 (D0/D1), CL (D2/D3) or, on the
// 80186, an immediate byte (C0/C1), and it is checked before the operand it
// shifts.
int encode_shift(const Mnemonic& mnemonic, Statement& s) {
    if (int result = require_two_operands(s)) return result;
    uint8_t opcode;
    bool count_byte = false;
    if (s.src.kind == KIND_IMMEDIATE) {
        // A count that may still change keeps the form it took once lengths must not shrink.
        bool settled_one = s.src.value == 1 && !(s.long_forms && s.src.reg != IMM_NUMBER);
        // NASM's first pass takes a count not known yet for 1.
        bool guessed_one = s.assembly.conventions.shortest && s.src.reg != IMM_NUMBER && is_forward_placeholder(s, s.src);
        if (settled_one || guessed_one) {
            opcode = SHIFT_BY_ONE;
        } else {
            if (int refused = require_186(s, "shift by an immediate count other than 1", ERR_INVALID_OPERAND)) {
                return refused;
            }
            if (!fits_byte(s.src.value)) return ERR_ILLEGAL_SIZE;
            opcode = SHIFT_BY_COUNT;
            count_byte = true;
        }
    } else {
        if (!is_cl(s.src)) return ERR_INVALID_OPERAND;
        opcode = SHIFT_BY_CL;
    }
    // CL is the count: a variable still gives the size (SHL [FLAG],CL).
    if (s.dst.kind == KIND_MEMORY && s.dst.size == SIZE_NONE) s.dst.size = s.dst.variable_size;
    if (int result = require_data_size(s.dst)) return result;
    note_size_assumed(s, WARNED_BYTE_ASSUMED);
    int result = encode_rm_ext(s, opcode, uint8_t(mnemonic.extension << 3));
    if (result == 0 && count_byte) put_byte(s, s.src.value);
    return result;
}

}  // namespace vexa
