// The two-operand arithmetic and logic group: ADD, OR, ADC, SBB, AND, SUB,
// XOR, CMP and TEST.
//
// The group's opcodes follow one pattern (the mnemonic table gives the base
// and the digit):
//   base + 0..3        register/memory with register, bit 0 width, bit 1 direction
//   base + 4, + 5      AL or AX with an immediate
//   80, 81, 83 /digit  register or memory with an immediate
#include "encode/encode.h"

namespace vexa {

namespace {

constexpr uint8_t CMP_BASE = 0x38;
constexpr uint8_t GROUP_IMMEDIATE = 0x80;

constexpr uint8_t TEST_REGISTER = 0x84;
constexpr uint8_t TEST_ACCUMULATOR = 0xA8;
constexpr uint8_t TEST_IMMEDIATE = 0xF6;

// CMP of two byte registers keeps the first operand in the r/m field, with no
// direction bit: CMP AL,BL is 38 D8.
int compare_byte_registers() {
    if (src.size != SIZE_BYTE) return ERR_ILLEGAL_SIZE;
    put_byte(CMP_BASE);
    put_byte(modrm(MOD_REGISTER, src.reg, dst.reg));
    return 0;
}

// TEST with an immediate: the accumulator form, or F6/F7 /0. An unsized
// memory operand is tested as a word.
int test_immediate() {
    const int32_t value = src.value;
    if (is_accumulator(dst)) {
        bool byte = dst.size == SIZE_BYTE;
        if (byte && !fits_byte(value)) return ERR_ILLEGAL_SIZE;
        put_byte(byte ? TEST_ACCUMULATOR : TEST_ACCUMULATOR | WIDTH_BIT);
        put_immediate(value, byte);
        return 0;
    }
    if (!is_register_or_memory(dst)) return ERR_SYNTAX;
    return encode_rm_immediate(TEST_IMMEDIATE);
}

// TEST of a register with a register or memory operand: no direction bit, so
// TEST AX,[BX+4] and TEST [BX+4],AX are the same bytes.
int test_register() {
    if (src.size != SIZE_NONE && src.size != dst.size) return ERR_ILLEGAL_SIZE;
    if (!is_register_or_memory(src)) return ERR_INVALID_OPERAND;
    put_byte(TEST_REGISTER | (dst.size & WIDTH_BIT));
    put_modrm_and_displacement(modrm(rm_mod(src), dst.reg, src.reg));
    return 0;
}

}  // namespace

int alu_group(const Mnemonic& mnemonic) {
    if (int result = require_two_operands()) return result;
    const uint8_t base = mnemonic.opcode;
    if (src.kind == KIND_IMMEDIATE) {
        return encode_alu_immediate(base + 4, GROUP_IMMEDIATE, uint8_t(mnemonic.extension << 3));
    }
    bool byte_registers = dst.kind == KIND_REGISTER && src.kind == KIND_REGISTER && dst.size == SIZE_BYTE;
    if (base == CMP_BASE && byte_registers) return compare_byte_registers();
    return encode_reg_rm(base);
}

int test_instruction(const Mnemonic&) {
    if (int result = require_two_operands()) return result;
    if (src.kind == KIND_IMMEDIATE) return test_immediate();
    if (dst.kind != KIND_REGISTER) return encode_reg_rm(TEST_REGISTER);
    return test_register();
}

}  // namespace vexa
