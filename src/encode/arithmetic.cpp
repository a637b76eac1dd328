// The two-operand arithmetic and logic group: ADD, OR, ADC, SBB, AND, SUB,
// XOR, CMP and TEST.
//
// The group's opcodes follow one pattern (the mnemonic table gives the base
// and the digit):
//   base + 0..3        register/memory with register, bit 0 width, bit 1 direction
//   base + 4, + 5      AL or AX with an immediate
//   80, 81, 83 /digit  register or memory with an immediate
#include "driver/assembly.h"
#include "encode/encode.h"
#include "isa/forms.h"

namespace vexa {

namespace {

constexpr uint8_t CMP_BASE = opcode_of("CMP r/m8,r8");
constexpr uint8_t GROUP_IMMEDIATE = opcode_of("ADD r/m8,imm8");

constexpr uint8_t TEST_REGISTER = opcode_of("TEST r/m8,r8");
constexpr uint8_t TEST_ACCUMULATOR = opcode_of("TEST AL,imm8");
constexpr uint8_t TEST_IMMEDIATE = opcode_of("TEST r/m8,imm8");

// CMP of two byte registers keeps the first operand in the r/m field, with no
// direction bit: CMP AL,BL is 38 D8.
int compare_byte_registers(Statement& s) {
    if (s.src.size != SIZE_BYTE) return ERR_ILLEGAL_SIZE;
    put_byte(s, CMP_BASE);
    put_byte(s, modrm(MOD_REGISTER, s.src.reg, s.dst.reg));
    return 0;
}

// TEST with an immediate: the accumulator form, or F6/F7 /0. An unsized
// memory operand is tested as a word.
int test_immediate(Statement& s) {
    const int32_t value = s.src.value;
    if (is_accumulator(s.dst)) {
        bool byte = s.dst.size == SIZE_BYTE;
        if (byte && !fits_byte(value)) return ERR_ILLEGAL_SIZE;
        put_byte(s, byte ? TEST_ACCUMULATOR : TEST_ACCUMULATOR | WIDTH_BIT);
        put_immediate(s, value, byte);
        return 0;
    }
    if (!is_register_or_memory(s.dst)) return ERR_SYNTAX;
    return encode_rm_immediate(s, TEST_IMMEDIATE);
}

// TEST of a register with a register or memory operand: no direction bit, so
// TEST AX,[BX+4] and TEST [BX+4],AX are the same bytes.
int test_register(Statement& s) {
    if (s.src.size != SIZE_NONE && s.src.size != s.dst.size) return ERR_ILLEGAL_SIZE;
    if (!is_register_or_memory(s.src)) return ERR_INVALID_OPERAND;
    put_byte(s, TEST_REGISTER | (s.dst.size & WIDTH_BIT));
    // NASM keeps the first of two registers in the r/m field (TEST AX,BX is 85 D8).
    if (s.src.kind == KIND_REGISTER && s.assembly.conventions.nasm) {
        put_byte(s, modrm(MOD_REGISTER, s.src.reg, s.dst.reg));
        return 0;
    }
    put_modrm_and_displacement(s, modrm(rm_mod(s.src), s.dst.reg, s.src.reg));
    return 0;
}

}  // namespace

int alu_group(const Mnemonic& mnemonic, Statement& s) {
    if (int result = require_two_operands(s)) return result;
    const uint8_t base = mnemonic.opcode;
    if (s.src.kind == KIND_IMMEDIATE) {
        return encode_alu_immediate(s, base + 4, GROUP_IMMEDIATE, uint8_t(mnemonic.extension << 3));
    }
    bool byte_registers = s.dst.kind == KIND_REGISTER && s.src.kind == KIND_REGISTER && s.dst.size == SIZE_BYTE;
    if (base == CMP_BASE && byte_registers) return compare_byte_registers(s);
    return encode_reg_rm(s, base);
}

int test_instruction(const Mnemonic&, Statement& s) {
    if (int result = require_two_operands(s)) return result;
    if (s.src.kind == KIND_IMMEDIATE) return test_immediate(s);
    if (s.dst.kind != KIND_REGISTER) return encode_reg_rm(s, TEST_REGISTER);
    return test_register(s);
}

}  // namespace vexa
