// String instructions MOVS, CMPS, LODS, SCAS, STOS; the prefixes REP, REPE,
// REPZ, REPNE, REPNZ, LOCK and SEG; the coprocessor escape ESC and WAIT.
//
// A prefix is a statement of its own (REP on one line, MOVSB on the next) or
// stands before the instruction on its line (REP MOVSB).
// (REP, LOCK and WAIT are single bytes: see the mnemonic table.)
#include "driver/assembly.h"
#include "encode/encode.h"
#include "isa/forms.h"

namespace vexa {

namespace {

constexpr uint8_t MOVS = opcode_of("MOVS m8,m8");
constexpr uint8_t CMPS = opcode_of("CMPS m8,m8");
constexpr uint8_t LODS = opcode_of("LODS m8");
constexpr uint8_t INS = opcode_of("INS m8,DX");
constexpr uint8_t OUTS = opcode_of("OUTS DX,m8");
constexpr uint8_t ES_PREFIX = opcode_of("SEG ES");
constexpr uint8_t ESC = opcode_of("ESC r/m16");
constexpr uint8_t LOCK = opcode_of("LOCK");
constexpr uint8_t REGISTER_DX = 2;

// INSB, INSW, OUTSB, OUTSW and their forms with operands are the 80186's.
bool is_port_string(uint8_t byte_form) { return byte_form == INS || byte_form == OUTS; }

bool is_byte_or_word(uint8_t size) { return size == SIZE_BYTE || size == SIZE_WORD; }

// The instruction's byte form, stored before any operand test: a statement
// rejected later is listed with it, though nothing is emitted.
uint8_t store_byte_form(const Mnemonic& mnemonic, Statement& s) {
    uint8_t byte_form = mnemonic.opcode & uint8_t(~WIDTH_BIT);
    s.code_buf[0] = byte_form;
    s.code_len = 1;
    return byte_form;
}

// The operand addressed through ES:DI may carry ES: (which is implied, so
// dropped) and no other override.
int drop_es_override(Operand& es_di) {
    if (es_di.seg_override && es_di.seg_override != ES_PREFIX) return ERR_SYNTAX;
    es_di.seg_override = 0;
    return 0;
}

// MOVS and CMPS: the operands only give the width.
int two_operand_string(Statement& s, uint8_t byte_form) {
    if (int result = require_two_operands(s)) return result;
    if (int result = drop_es_override(byte_form == MOVS ? s.dst : s.src)) return result;
    bool sizes_valid = (is_byte_or_word(s.dst.size) || s.dst.size == SIZE_NONE) &&
                       (is_byte_or_word(s.src.size) || s.src.size == SIZE_NONE);
    bool one_size = s.dst.size != SIZE_NONE || s.src.size != SIZE_NONE;
    bool sizes_agree = s.dst.size == SIZE_NONE || s.src.size == SIZE_NONE || s.dst.size == s.src.size;
    if (!sizes_valid || !one_size || !sizes_agree) return ERR_SYNTAX;
    s.code_buf[0] = byte_form + (s.dst.size == SIZE_NONE ? s.src.size : s.dst.size);
    return 0;
}

// INS ES:[DI],DX and OUTS DX,[SI]: the memory operand gives the width.
int port_string(Statement& s, uint8_t byte_form) {
    if (int result = require_two_operands(s)) return result;
    bool in = byte_form == INS;
    Operand& memory = in ? s.dst : s.src;
    const Operand& port = in ? s.src : s.dst;
    bool dx = port.kind == KIND_REGISTER && port.size == SIZE_WORD && port.reg == REGISTER_DX;
    if (!dx || memory.kind != KIND_MEMORY) return ERR_INVALID_OPERAND;
    if (in) {
        if (int result = drop_es_override(memory)) return result;
    }
    if (memory.size == SIZE_NONE) memory.size = memory.variable_size;
    if (!is_byte_or_word(memory.size)) return ERR_SYNTAX;
    s.code_buf[0] = byte_form + memory.size;
    return 0;
}

// LODS, SCAS and STOS: one operand that gives the width. That of SCAS and
// STOS is addressed through ES:DI.
int one_operand_string(Statement& s, uint8_t byte_form) {
    if (s.operand_count == 0) return ERR_MISSING_OPERAND;
    if (s.operand_count == 2) return byte_form == LODS ? ERR_EXTRA_OPERAND : ERR_SYNTAX;
    if (byte_form != LODS) {
        if (int result = drop_es_override(s.dst)) return result;
    }
    if (!is_byte_or_word(s.dst.size)) return ERR_SYNTAX;
    s.code_buf[0] = byte_form + s.dst.size;
    return 0;
}

}  // namespace

// MOVSB, MOVSW, CMPSB, ... take no operands.
int string_suffixed(const Mnemonic& mnemonic, Statement& s) {
    if (is_port_string(mnemonic.opcode & uint8_t(~WIDTH_BIT))) {
        if (int refused = require_186(s, s.mnemonic_field, ERR_INVALID_OPCODE)) return refused;
    }
    store_byte_form(mnemonic, s);
    if (s.operand_text[0]) return ERR_EXTRA_OPERAND;
    s.code_buf[0] = mnemonic.opcode;
    return 0;
}

// MOVS, CMPS, LODS, SCAS, STOS written with operands.
int string_operands(const Mnemonic& mnemonic, Statement& s) {
    if (is_port_string(mnemonic.opcode)) {
        if (int refused = require_186(s, s.mnemonic_field, ERR_INVALID_OPCODE)) return refused;
    }
    uint8_t byte_form = store_byte_form(mnemonic, s);
    if (byte_form == MOVS || byte_form == CMPS) return two_operand_string(s, byte_form);
    if (is_port_string(byte_form)) return port_string(s, byte_form);
    return one_operand_string(s, byte_form);
}

// SEG ES, SEG CS, SEG SS, SEG DS: the segment-override prefix as a statement.
int seg_prefix(const Mnemonic& mnemonic, Statement& s) {
    if (int result = require_one_operand(s)) return result;
    if (s.dst.kind != KIND_SEGREG) return ERR_INVALID_OPERAND;
    put_byte(s, mnemonic.opcode + (s.dst.reg << 3));
    return 0;
}

int prefix_statement(const Mnemonic& mnemonic, Statement& s) { return fixed_encoding_unless_operands(mnemonic, s); }

bool is_lock_prefix(const Mnemonic& prefix) { return prefix.opcode == LOCK; }

// A jump or call measures its target from its own first byte, which the
// prefix would move: LOCK does not go with them.
int check_line_prefix(const Mnemonic& prefix, const Mnemonic& instruction) {
    bool is_string = instruction.handler == string_suffixed || instruction.handler == string_operands;
    bool is_transfer = instruction.handler == jmp_instruction || instruction.handler == call_instruction ||
                       instruction.handler == short_jump;
    return (is_lock_prefix(prefix) ? is_transfer : !is_string) ? ERR_INVALID_OPERAND : 0;
}

// ESC with one register or memory operand; the external opcode is always 0,
// whatever the operand's size (D9 would be another coprocessor instruction).
int esc_instruction(const Mnemonic&, Statement& s) {
    if (int result = require_one_operand(s)) return result;
    if (!is_register_or_memory(s.dst)) return ERR_SYNTAX;
    put_byte(s, ESC);
    put_modrm_and_displacement(s, modrm(rm_mod(s.dst), 0, s.dst.reg));
    return 0;
}

}  // namespace vexa
