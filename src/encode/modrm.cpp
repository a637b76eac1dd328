// The code buffer and the encoders shared by the instruction families: ModRM
// byte, displacement and size agreement.
#include "driver/assembly.h"
#include "encode/encode.h"

namespace vexa {

namespace {

constexpr uint8_t DIRECTION_BIT = 0x02;

// Values from -128 to 126, and the 16-bit forms of -128 to -1, fit the
// sign-extended byte of opcode 0x83.
bool is_sign_extendable(int32_t value) { return (value >= -128 && value <= 126) || (value & 0xFF80) == 0xFF80; }

// STRICT WORD: the word form, whatever the value.
bool is_strict_word(const Operand& immediate) {
    return (immediate.value_marks & VALUE_STRICT) && immediate.size == SIZE_WORD;
}

// A word immediate in the sign-extended byte of 0x83. Under the shortest
// forms every value that fits is one, a name's not known yet too (its
// first guess), but under NASM's an address keeps its word.
[[gnu::always_inline]] inline bool takes_byte_immediate(const Statement& s, int32_t value, bool accumulator) {
    const Conventions& conventions = s.assembly.conventions;
    bool from_name = s.long_forms && s.src.reg != IMM_NUMBER;
    if (!conventions.shortest) {
        // MASM keeps an address (OFFSET VAR) in a word, as it may be relocated.
        if (conventions.masm && is_address_value(s.src)) return false;
        return is_sign_extendable(value) && (accumulator || !(s.long_forms && s.src.reg == IMM_SYMBOL));
    }
    if (from_name || (conventions.nasm && is_address_value(s.src)) || is_strict_word(s.src)) return false;
    return fits_signed_byte(value);
}
}  // namespace

bool fits_signed_byte(int32_t value) { return (value >= -128 && value <= 127) || (value & 0xFF80) == 0xFF80; }

bool is_forward_placeholder(Statement& s, const Operand& operand) {
    bool placeholder = s.pass.pass_index == 0 && operand.value == FORWARD_PLACEHOLDER;
    if (placeholder) s.first_pass_guess = true;
    return placeholder;
}

bool takes_signed_byte(const Statement& s, const Operand& immediate) {
    // PUSH BYTE 5; PUSH WORD 5 is a push of a word, in the byte form where the value fits.
    if ((immediate.value_marks & VALUE_STATED) && immediate.size == SIZE_BYTE) return true;
    if ((s.long_forms && immediate.reg != IMM_NUMBER) || is_strict_word(immediate)) return false;
    // NASM and MASM keep an address in a word, as it may be relocated.
    if ((s.assembly.conventions.nasm || s.assembly.conventions.masm) && is_address_value(immediate)) return false;
    return fits_signed_byte(immediate.value);
}

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

void put_modrm_and_displacement(Statement& s, uint8_t byte) {
    put_byte(s, byte);
    put_displacement(s, byte);
}

void put_byte(Statement& s, int32_t value) { s.code_buf[s.code_len++] = uint8_t(value); }

void put_word(Statement& s, int32_t value) {
    put_byte(s, value);
    put_byte(s, value >> 8);
}

void put_displacement(Statement& s, uint8_t byte) {
    uint8_t mod = byte >> 6;
    uint8_t rm = byte & 7;
    if (mod == 1) {
        put_byte(s, s.dst.value);
    } else if (mod == 2 || (mod == 0 && rm == RM_DIRECT)) {
        put_word(s, s.dst.value);
    }
}

void put_immediate(Statement& s, int32_t value, bool byte) {
    if (byte) {
        put_byte(s, value);
    } else {
        if (value < -32768 || value > 65535) s.warnings |= WARNED_VALUE_CUT;
        put_word(s, value);
    }
}

void note_size_assumed(Statement& s, uint8_t warned) {
    if (s.dst.kind == KIND_MEMORY && s.dst.size == SIZE_NONE) s.warnings |= warned;
}

int encode_rm_immediate(Statement& s, uint8_t byte_opcode) {
    if (int result = require_data_size(s.dst)) return result;
    const int32_t value = s.src.value;
    bool byte = s.dst.size == SIZE_BYTE;
    if (byte && !fits_byte(value)) return ERR_ILLEGAL_SIZE;
    note_size_assumed(s, WARNED_WORD_ASSUMED);
    put_byte(s, byte ? byte_opcode : byte_opcode | WIDTH_BIT);
    put_modrm_and_displacement(s, modrm(rm_mod(s.dst), 0, s.dst.reg));
    put_immediate(s, value, byte);
    return 0;
}

int require_data_size(const Operand& operand) {
    bool data = operand.size == SIZE_BYTE || operand.size == SIZE_WORD || operand.size == SIZE_NONE;
    return data || !is_register_or_memory(operand) ? 0 : ERR_ILLEGAL_SIZE;
}

int agree_sizes(Statement& s) {
    if (s.dst.size == SIZE_NONE) {
        if (s.src.size == SIZE_NONE) return ERR_ILLEGAL_SIZE;
        s.dst.size = s.src.size;
    } else if (s.src.size != SIZE_NONE && s.src.size != s.dst.size) {
        return ERR_ILLEGAL_SIZE;
    }
    return 0;
}

int encode_reg_rm(Statement& s, uint8_t opcode) {
    if (int result = agree_sizes(s)) return result;
    opcode = uint8_t((opcode & ~WIDTH_BIT) | (s.dst.size & WIDTH_BIT));
    uint8_t byte;
    // The reg field takes a general register only: a segment register, an
    // immediate or a second memory operand there has no encoding.
    if (s.dst.kind == KIND_REGISTER) {
        if (!is_register_or_memory(s.src)) return ERR_INVALID_OPERAND;
        if (s.src.kind == KIND_REGISTER && s.assembly.conventions.nasm) {
            // NASM's form: the first register in the r/m field (MOV AX,BX is 89 D8).
            opcode &= uint8_t(~DIRECTION_BIT);
            byte = modrm(MOD_REGISTER, s.src.reg, s.dst.reg);
        } else {
            opcode |= DIRECTION_BIT;
            byte = modrm(s.src.mod, s.dst.reg, s.src.reg);
        }
    } else if (s.dst.kind == KIND_MEMORY) {
        if (s.src.kind != KIND_REGISTER) return ERR_INVALID_OPERAND;
        opcode &= uint8_t(~DIRECTION_BIT);
        byte = modrm(s.dst.mod, s.src.reg, s.dst.reg);
    } else {
        return ERR_SYNTAX;
    }
    put_byte(s, opcode);
    put_modrm_and_displacement(s, byte);
    return 0;
}

int encode_sreg_move(Statement& s, uint8_t opcode) {
    if (int result = agree_sizes(s)) return result;
    uint8_t byte;
    if (s.dst.kind == KIND_SEGREG) {
        if (!is_register_or_memory(s.src)) return ERR_INVALID_OPERAND;  // no move between segment registers
        byte = modrm(rm_mod(s.src), s.dst.reg, s.src.reg);
    } else if (is_register_or_memory(s.dst)) {
        byte = modrm(s.dst.mod, s.src.reg, s.dst.reg);
    } else {
        return ERR_SYNTAX;
    }
    put_byte(s, opcode);
    put_modrm_and_displacement(s, byte);
    return 0;
}

int encode_rm_ext(Statement& s, uint8_t opcode, uint8_t modrm_template) {
    if (!is_register_or_memory(s.dst)) return ERR_SYNTAX;
    if (s.dst.size == SIZE_BYTE || s.dst.size == SIZE_WORD) opcode = uint8_t((opcode & ~WIDTH_BIT) | s.dst.size);
    put_byte(s, opcode);
    put_modrm_and_displacement(s, modrm(rm_mod(s.dst), modrm_template >> 3, s.dst.reg));
    return 0;
}

int encode_alu_immediate(Statement& s, uint8_t accumulator_opcode, uint8_t group_opcode, uint8_t modrm_template) {
    const int32_t value = s.src.value;
    const uint8_t digit = modrm_template >> 3;
    if (is_accumulator(s.dst)) {
        if (s.dst.size == SIZE_BYTE) {
            if (!fits_byte(value)) return ERR_ILLEGAL_SIZE;
            put_byte(s, accumulator_opcode);
            put_byte(s, value);
        } else if (takes_byte_immediate(s, value, true)) {
            // AX with a small immediate: the sign-extended form, as long as the short one.
            put_byte(s, group_opcode | 3);
            put_byte(s, modrm(MOD_REGISTER, digit, 0));
            put_byte(s, value);
        } else {
            put_byte(s, accumulator_opcode | WIDTH_BIT);
            put_immediate(s, value, false);
        }
        return 0;
    }
    if (!is_register_or_memory(s.dst)) return ERR_SYNTAX;
    if (int result = require_data_size(s.dst)) return result;
    if (s.dst.kind == KIND_REGISTER && s.src.reg == IMM_SYMBOL && (s.warnings & NAMED_VARIABLE)) {
        s.warnings |= WARNED_ADDRESS;
    }

    if (s.dst.size == SIZE_WORD) {
        // Where lengths must not shrink, a name's value takes the word form.
        bool short_immediate = takes_byte_immediate(s, value, false);
        put_byte(s, group_opcode | (short_immediate ? 3 : 1));
        put_modrm_and_displacement(s, modrm(rm_mod(s.dst), digit, s.dst.reg));
        put_immediate(s, value, short_immediate);
        return 0;
    }
    // Any other size, none included, is a byte operation. Its range is checked
    // after the whole instruction is stored, so the listing shows it.
    note_size_assumed(s, WARNED_BYTE_ASSUMED);
    put_byte(s, group_opcode);
    put_modrm_and_displacement(s, modrm(rm_mod(s.dst), digit, s.dst.reg));
    put_byte(s, value);
    return fits_byte(value) ? 0 : ERR_ILLEGAL_SIZE;
}

}  // namespace vexa
