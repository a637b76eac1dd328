// Data transfer: MOV, XCHG, LEA, LDS, LES, PUSH, POP, IN and OUT. (PUSHF,
// POPF, XLAT, LAHF and SAHF are single bytes: see the mnemonic table.)
#include "driver/assembly.h"
#include "encode/encode.h"
#include "isa/forms.h"

namespace vexa {

namespace {

constexpr uint8_t MOV_REGISTER_MEMORY = opcode_of("MOV r/m8,r8");
constexpr uint8_t MOV_BYTE_TO_REGISTER = opcode_of("MOV r8,imm8");   // + register
constexpr uint8_t MOV_WORD_TO_REGISTER = opcode_of("MOV r16,imm16");   // + register
constexpr uint8_t MOV_IMMEDIATE_TO_MEMORY = opcode_of("MOV r/m8,imm8");  // /0, + width
constexpr uint8_t MOV_DIRECT_TO_ACCUMULATOR = opcode_of("MOV AL,moffs8");  // + width
constexpr uint8_t MOV_ACCUMULATOR_TO_DIRECT = opcode_of("MOV moffs8,AL");  // + width
constexpr uint8_t MOV_TO_SEGMENT = opcode_of("MOV Sreg,r/m16");
constexpr uint8_t MOV_FROM_SEGMENT = opcode_of("MOV r/m16,Sreg");

constexpr uint8_t XCHG_WITH_AX = opcode_of("XCHG AX,r16");  // + register
constexpr uint8_t XCHG_REGISTER_MEMORY = opcode_of("XCHG r/m8,r8");  // + width

constexpr uint8_t LDS = opcode_of("LDS r16,m16:16");
constexpr uint8_t LES = opcode_of("LES r16,m16:16");

constexpr uint8_t REGISTER_DX = 2;
constexpr uint8_t SEGMENT_CS = 1;

uint8_t width_of(const Operand& operand) { return operand.size == SIZE_WORD ? 1 : 0; }

bool is_word_register(const Operand& operand) { return operand.kind == KIND_REGISTER && operand.size == SIZE_WORD; }

// A segment's value is a word the loader relocates: the instruction's last.
[[gnu::noinline, gnu::cold]] void relocate_segment_value(Statement& s, const Operand& value) {
    s.code_fixup = relocated_frame(s.assembly, value.frame);
}

int move_immediate(Statement& s) {
    const int32_t value = s.src.value;
    if (s.src.value_marks & VALUE_SEGMENT) [[unlikely]] {
        if (s.dst.size == SIZE_BYTE) return ERR_ILLEGAL_SIZE;
        if (s.dst.kind == KIND_MEMORY && s.dst.size == SIZE_NONE) s.dst.size = SIZE_WORD;
        relocate_segment_value(s, s.src);
    }
    if (s.dst.kind == KIND_REGISTER) {
        bool byte = s.dst.size == SIZE_BYTE;
        if (byte && !fits_byte(value)) return ERR_ILLEGAL_SIZE;
        if (s.src.reg == IMM_SYMBOL && (s.warnings & NAMED_VARIABLE)) s.warnings |= WARNED_ADDRESS;
        put_byte(s, (byte ? MOV_BYTE_TO_REGISTER : MOV_WORD_TO_REGISTER) + s.dst.reg);
        put_immediate(s, value, byte);
        return 0;
    }
    if (s.dst.kind != KIND_MEMORY) return ERR_SYNTAX;
    // An unsized memory destination is a word: MOV [BX],5 is C7 07 05 00.
    return encode_rm_immediate(s, MOV_IMMEDIATE_TO_MEMORY);
}

// The accumulator with a direct address: opcode and address, no ModRM. The
// width comes from the register, which a sized address must agree with.
int move_accumulator_direct(Statement& s, uint8_t opcode, const Operand& accumulator) {
    if (int result = agree_sizes(s)) return result;
    put_byte(s, opcode | width_of(accumulator));
    put_word(s, s.dst.value);
    return 0;
}

}  // namespace

int mov_instruction(const Mnemonic&, Statement& s) {
    if (int result = require_two_operands(s)) return result;
    if (s.src.kind == KIND_IMMEDIATE) return move_immediate(s);
    if (s.dst.kind == KIND_SEGREG) {
        if (s.dst.reg == SEGMENT_CS) s.warnings |= WARNED_CS;
        return encode_sreg_move(s, MOV_TO_SEGMENT);
    }
    if (s.src.kind == KIND_SEGREG) return encode_sreg_move(s, MOV_FROM_SEGMENT);
    if (is_direct_address(s.dst) && is_accumulator(s.src)) return move_accumulator_direct(s, MOV_ACCUMULATOR_TO_DIRECT, s.src);
    if (is_accumulator(s.dst) && is_direct_address(s.src)) return move_accumulator_direct(s, MOV_DIRECT_TO_ACCUMULATOR, s.dst);
    return encode_reg_rm(s, MOV_REGISTER_MEMORY);
}

int xchg_instruction(const Mnemonic&, Statement& s) {
    if (s.operand_count == 0) return ERR_MISSING_OPERAND;
    if (s.operand_count == 1) {
        // XCHG BX exchanges BX with AX.
        if (!is_word_register(s.dst)) return ERR_INVALID_OPERAND;
        put_byte(s, XCHG_WITH_AX + s.dst.reg);
        return 0;
    }
    if (is_word_register(s.dst) && is_word_register(s.src) && (s.dst.reg == 0 || s.src.reg == 0)) {
        put_byte(s, XCHG_WITH_AX + (s.dst.reg == 0 ? s.src.reg : s.dst.reg));
        return 0;
    }
    if (int result = agree_sizes(s)) return result;
    // No direction bit: the memory operand, or else the second register, is r/m.
    const Operand* register_side;
    const Operand* rm_side;
    if (s.dst.kind == KIND_REGISTER) {
        register_side = &s.dst;
        rm_side = &s.src;
    } else if (s.dst.kind == KIND_MEMORY) {
        register_side = &s.src;
        rm_side = &s.dst;
    } else {
        return ERR_SYNTAX;
    }
    if (register_side->kind != KIND_REGISTER || !is_register_or_memory(*rm_side)) return ERR_INVALID_OPERAND;
    put_byte(s, XCHG_REGISTER_MEMORY | (s.dst.size & WIDTH_BIT));
    put_modrm_and_displacement(s, modrm(rm_mod(*rm_side), register_side->reg, rm_side->reg));
    return 0;
}

// LEA, LDS and LES: a word register and a memory operand.
int load_address(const Mnemonic& mnemonic, Statement& s) {
    if (s.operand_count == 0) return ERR_MISSING_OPERAND;
    if (s.operand_count == 1 || s.dst.kind != KIND_REGISTER || s.dst.size != SIZE_WORD) return ERR_SYNTAX;
    // A far pointer operand may be written DWORD PTR.
    bool loads_pointer = mnemonic.opcode == LDS || mnemonic.opcode == LES;
    // The memory operand may be written as a bare address: LEA DX,MSG is LEA DX,[MSG].
    if (s.src.kind == KIND_IMMEDIATE && s.src.size != SIZE_DWORD) {
        s.src = Operand{0, KIND_MEMORY, 0, SIZE_NONE, RM_DIRECT, SIZE_NONE, 0, s.src.value};
        s.dst.value = s.src.value;
    }
    if (loads_pointer && s.src.size == SIZE_DWORD) s.src.size = SIZE_WORD;
    if (int result = agree_sizes(s)) return result;
    if (s.src.kind != KIND_MEMORY) return ERR_SYNTAX;
    put_byte(s, mnemonic.opcode);
    put_modrm_and_displacement(s, modrm(s.src.mod, s.dst.reg, s.src.reg));
    return 0;
}

// BOUND r16,m16&16 (80186): the register checked against the pair of
// words in memory.
int bound_instruction(const Mnemonic& mnemonic, Statement& s) {
    if (int refused = require_186(s, "BOUND", ERR_INVALID_OPCODE)) return refused;
    if (int result = require_two_operands(s)) return result;
    if (s.dst.kind != KIND_REGISTER || s.dst.size != SIZE_WORD || s.src.kind != KIND_MEMORY) return ERR_INVALID_OPERAND;
    if (s.src.size != SIZE_NONE && s.src.size != SIZE_DWORD && s.src.size != SIZE_WORD) return ERR_ILLEGAL_SIZE;
    put_byte(s, mnemonic.opcode);
    put_modrm_and_displacement(s, modrm(s.src.mod, s.dst.reg, s.src.reg));
    return 0;
}

namespace {

// PUSH and POP: a word register, a segment register, or register/memory.
struct StackForms {
    uint8_t word_register;  // + register
    uint8_t segment;        // + segment register * 8
    uint8_t rm_opcode;
    uint8_t rm_digit;
};
constexpr StackForms push_forms{opcode_of("PUSH r16"), opcode_of("PUSH ES"), opcode_of("PUSH r/m16"),
                                 digit_of("PUSH r/m16")};
constexpr StackForms pop_forms{opcode_of("POP r16"), opcode_of("POP ES"), opcode_of("POP r/m16"),
                                digit_of("POP r/m16")};

// PUSH imm (80186): the sign-extended byte where it holds the value, else a word.
int push_immediate(Statement& s) {
    if (int refused = require_186(s, "PUSH of an immediate", ERR_SYNTAX)) return refused;
    if (s.dst.size != SIZE_NONE && s.dst.size != SIZE_BYTE && s.dst.size != SIZE_WORD) return ERR_ILLEGAL_SIZE;
    bool byte = takes_signed_byte(s, s.dst);
    if (s.dst.value_marks & VALUE_SEGMENT) [[unlikely]] {  // PUSH @DATA
        if (s.dst.size == SIZE_BYTE) return ERR_ILLEGAL_SIZE;
        relocate_segment_value(s, s.dst);
        byte = false;
    }
    if (byte && !fits_signed_byte(s.dst.value)) return ERR_ILLEGAL_SIZE;  // PUSH BYTE 200
    put_byte(s, byte ? opcode_of("PUSH imm8") : opcode_of("PUSH imm16"));
    put_immediate(s, s.dst.value, byte);
    return 0;
}

int stack_instruction(Statement& s, const StackForms& forms) {
    if (int result = require_one_operand(s)) return result;
    if (s.dst.kind == KIND_IMMEDIATE && &forms == &push_forms) return push_immediate(s);
    if (is_word_register(s.dst)) {
        put_byte(s, forms.word_register + s.dst.reg);
        return 0;
    }
    if (s.dst.kind == KIND_SEGREG) {
        if (&forms == &pop_forms && s.dst.reg == SEGMENT_CS) s.warnings |= WARNED_CS;
        put_byte(s, forms.segment + (s.dst.reg << 3));  // POP CS is accepted: 0F
        return 0;
    }
    // The stack holds words only.
    if (is_register_or_memory(s.dst) && s.dst.size == SIZE_BYTE) return ERR_INVALID_OPERAND;
    if (int result = require_data_size(s.dst)) return result;
    return encode_rm_ext(s, forms.rm_opcode, uint8_t(forms.rm_digit << 3));
}

// IN and OUT: the accumulator, and a port that is DX or a number in -128..255.
int port_instruction(Statement& s, uint8_t port_number_opcode, const Operand& accumulator, const Operand& port) {
    if (int result = require_two_operands(s)) return result;
    if (!is_accumulator(accumulator)) return ERR_INVALID_OPERAND;
    const uint8_t width = accumulator.size & WIDTH_BIT;
    if (port.kind == KIND_REGISTER && port.reg == REGISTER_DX) {
        put_byte(s, port_number_opcode + 8 + width);  // the DX forms: EC/ED, EE/EF
        return 0;
    }
    if (port.kind != KIND_IMMEDIATE || !fits_byte(port.value)) return ERR_INVALID_OPERAND;
    put_byte(s, port_number_opcode + width);
    put_byte(s, port.value);
    return 0;
}

}  // namespace

int push_instruction(const Mnemonic&, Statement& s) { return stack_instruction(s, push_forms); }

int pop_instruction(const Mnemonic&, Statement& s) { return stack_instruction(s, pop_forms); }

int in_instruction(const Mnemonic& mnemonic, Statement& s) { return port_instruction(s, mnemonic.opcode, s.dst, s.src); }

int out_instruction(const Mnemonic& mnemonic, Statement& s) { return port_instruction(s, mnemonic.opcode, s.src, s.dst); }

}  // namespace vexa
