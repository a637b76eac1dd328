// The code buffer and the encoders shared by the instruction families: ModRM
// byte, displacement and size agreement.
#include "encode/encode.h"

namespace vexa {

uint8_t code_buf[CODE_CAPACITY];
uint8_t code_len;
uint8_t code_prefix;

namespace {

constexpr uint8_t DIRECTION_BIT = 0x02;

// Values from -128 to 126, and the 16-bit forms of -128 to -1, fit the
// sign-extended byte of opcode 0x83.
bool is_sign_extendable(int32_t value) { return (value >= -128 && value <= 126) || (value & 0xFF80) == 0xFF80; }

}  // namespace

uint8_t modrm(uint8_t mod, uint8_t reg_field, uint8_t rm) {
    return uint8_t((mod << 6) | ((reg_field & 7) << 3) | (rm & 7));
}

uint8_t rm_mod(const Operand& operand) { return operand.kind == KIND_REGISTER ? MOD_REGISTER : operand.mod; }

bool is_register_or_memory(const Operand& operand) {
    return operand.kind == KIND_REGISTER || operand.kind == KIND_MEMORY;
}

bool is_accumulator(const Operand& operand) { return operand.kind == KIND_REGISTER && operand.reg == 0; }

bool is_direct_address(const Operand& operand) {
    return operand.kind == KIND_MEMORY && operand.mod == 0 && operand.reg == RM_DIRECT;
}

void put_modrm_and_displacement(uint8_t byte) {
    put_byte(byte);
    put_displacement(byte);
}

void put_byte(int32_t value) { code_buf[code_len++] = uint8_t(value); }

void put_word(int32_t value) {
    put_byte(value);
    put_byte(value >> 8);
}

void put_displacement(uint8_t byte) {
    uint8_t mod = byte >> 6;
    uint8_t rm = byte & 7;
    if (mod == 1) {
        put_byte(dst.value);
    } else if (mod == 2 || (mod == 0 && rm == RM_DIRECT)) {
        put_word(dst.value);
    }
}

void put_immediate(int32_t value, bool byte) {
    if (byte) {
        put_byte(value);
    } else {
        put_word(value);
    }
}

int encode_rm_immediate(uint8_t byte_opcode) {
    if (int result = require_data_size(dst)) return result;
    const int32_t value = src.value;
    bool byte = dst.size == SIZE_BYTE;
    if (byte && !fits_byte(value)) return ERR_ILLEGAL_SIZE;
    put_byte(byte ? byte_opcode : byte_opcode | WIDTH_BIT);
    put_modrm_and_displacement(modrm(rm_mod(dst), 0, dst.reg));
    put_immediate(value, byte);
    return 0;
}

int require_data_size(const Operand& operand) {
    bool data = operand.size == SIZE_BYTE || operand.size == SIZE_WORD || operand.size == SIZE_NONE;
    return data || !is_register_or_memory(operand) ? 0 : ERR_ILLEGAL_SIZE;
}

int agree_sizes() {
    if (dst.size == SIZE_NONE) {
        if (src.size == SIZE_NONE) return ERR_ILLEGAL_SIZE;
        dst.size = src.size;
    } else if (src.size != SIZE_NONE && src.size != dst.size) {
        return ERR_ILLEGAL_SIZE;
    }
    return 0;
}

int encode_reg_rm(uint8_t opcode) {
    if (int result = agree_sizes()) return result;
    opcode = uint8_t((opcode & ~WIDTH_BIT) | (dst.size & WIDTH_BIT));
    uint8_t byte;
    // The reg field takes a general register only: a segment register, an
    // immediate or a second memory operand there has no encoding.
    if (dst.kind == KIND_REGISTER) {
        if (!is_register_or_memory(src)) return ERR_INVALID_OPERAND;
        opcode |= DIRECTION_BIT;
        byte = modrm(src.mod, dst.reg, src.reg);
    } else if (dst.kind == KIND_MEMORY) {
        if (src.kind != KIND_REGISTER) return ERR_INVALID_OPERAND;
        opcode &= uint8_t(~DIRECTION_BIT);
        byte = modrm(dst.mod, src.reg, dst.reg);
    } else {
        return ERR_SYNTAX;
    }
    put_byte(opcode);
    put_modrm_and_displacement(byte);
    return 0;
}

int encode_sreg_move(uint8_t opcode) {
    if (int result = agree_sizes()) return result;
    uint8_t byte;
    if (dst.kind == KIND_SEGREG) {
        if (!is_register_or_memory(src)) return ERR_INVALID_OPERAND;  // no move between segment registers
        byte = modrm(rm_mod(src), dst.reg, src.reg);
    } else if (is_register_or_memory(dst)) {
        byte = modrm(dst.mod, src.reg, dst.reg);
    } else {
        return ERR_SYNTAX;
    }
    put_byte(opcode);
    put_modrm_and_displacement(byte);
    return 0;
}

int encode_rm_ext(uint8_t opcode, uint8_t modrm_template) {
    if (!is_register_or_memory(dst)) return ERR_SYNTAX;
    if (dst.size == SIZE_BYTE || dst.size == SIZE_WORD) opcode = uint8_t((opcode & ~WIDTH_BIT) | dst.size);
    put_byte(opcode);
    put_modrm_and_displacement(modrm(rm_mod(dst), modrm_template >> 3, dst.reg));
    return 0;
}

int encode_alu_immediate(uint8_t accumulator_opcode, uint8_t group_opcode, uint8_t modrm_template) {
    const int32_t value = src.value;
    const uint8_t digit = modrm_template >> 3;
    if (is_accumulator(dst)) {
        if (dst.size == SIZE_BYTE) {
            if (!fits_byte(value)) return ERR_ILLEGAL_SIZE;
            put_byte(accumulator_opcode);
            put_byte(value);
        } else if (is_sign_extendable(value)) {
            // AX with a small immediate: the sign-extended form, as long as the short one.
            put_byte(group_opcode | 3);
            put_byte(modrm(MOD_REGISTER, digit, 0));
            put_byte(value);
        } else {
            put_byte(accumulator_opcode | WIDTH_BIT);
            put_word(value);
        }
        return 0;
    }
    if (!is_register_or_memory(dst)) return ERR_SYNTAX;
    if (int result = require_data_size(dst)) return result;

    if (dst.size == SIZE_WORD) {
        bool short_immediate = is_sign_extendable(value);
        put_byte(group_opcode | (short_immediate ? 3 : 1));
        put_modrm_and_displacement(modrm(rm_mod(dst), digit, dst.reg));
        put_immediate(value, short_immediate);
        return 0;
    }
    // Any other size, none included, is a byte operation. Its range is checked
    // after the whole instruction is stored, so the listing shows it.
    put_byte(group_opcode);
    put_modrm_and_displacement(modrm(rm_mod(dst), digit, dst.reg));
    put_byte(value);
    return fits_byte(value) ? 0 : ERR_ILLEGAL_SIZE;
}

}  // namespace vexa
