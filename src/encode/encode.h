// Instruction encoding: mnemonic dispatch and the bytes of each instruction.
#pragma once

#include <cstdint>

#include "driver/driver.h"
#include "parse/parse.h"

namespace vexa {

// ---- Code buffer ----------------------------------------------------------------

constexpr int CODE_CAPACITY = 8;

// The current instruction's bytes, without any segment-override prefix.
extern uint8_t code_buf[CODE_CAPACITY];
extern uint8_t code_len;
// A REP or LOCK prefix written on the instruction's line, or 0: it goes
// before the segment override and the instruction's bytes.
extern uint8_t code_prefix;

void put_byte(int32_t value);  // appends the low byte
void put_word(int32_t value);  // appends the low 16 bits, low byte first
void put_immediate(int32_t value, bool byte);  // one byte or a word

// ---- Mnemonic dispatch ----------------------------------------------------------

struct Mnemonic;
using MnemonicHandler = int (*)(const Mnemonic&);

// One accepted mnemonic: the letters that select its trie slot, the ending
// accepted after them, and the handler with the opcode it encodes.
struct Mnemonic {
    const char* slot;  // two or three letters
    const char* rest;  // accepted ending; null accepts any ending
    MnemonicHandler handler;
    uint8_t opcode;
    uint8_t extension;  // ModRM /digit, or the second byte of a fixed encoding
};

// Selects the handler of `mnemonic` (upper case, at most 8 characters) and
// answers 0 with the bytes in code_buf, a StatementCode, or an ErrorCode.
int dispatch_mnemonic(const char* mnemonic);

// The accepted mnemonic spelled `text`, or null.
const Mnemonic* find_mnemonic(const char* text);
// The same for a mnemonic field: up to eight letters, zero-padded to eight
// bytes, as split_line leaves it. Recent answers are kept; the run's start
// forgets them.
const Mnemonic* find_mnemonic_field(const char* field);
void reset_mnemonic_lookups();
// True when the handler of `mnemonic` only asks for operands until they are
// read, so that they may be read before its first call.
bool reads_operands_first(const Mnemonic& mnemonic);
// True for DB, DW, DS, EQU, ORG, END, PROC and ENDP.
bool is_directive(const Mnemonic& mnemonic);
// True for the jumps, which accept SHORT before their target.
bool takes_short_target(const Mnemonic& mnemonic);
// True for JMP and CALL, whose target may be a segment:offset pair.
bool takes_far_target(const Mnemonic& mnemonic);

// The operand counts of the handler contract: a two-operand form answers
// ERR_MISSING_OPERAND for none and ERR_SYNTAX for one; a one-operand form
// ERR_MISSING_OPERAND for none and ERR_EXTRA_OPERAND for two.
int require_two_operands();
int require_one_operand();

// ---- Shared ModRM encoders ------------------------------------------------------

// Register with register or memory; bit 0 of `opcode` becomes the width and
// bit 1 the direction.
int encode_reg_rm(uint8_t opcode);
// Segment register with register or memory (0x8E into, 0x8C out of one).
int encode_sreg_move(uint8_t opcode);
// One register or memory operand with the /digit in bits 5-3 of `modrm_template`.
int encode_rm_ext(uint8_t opcode, uint8_t modrm_template);
// The immediate forms of the arithmetic and logic group.
int encode_alu_immediate(uint8_t accumulator_opcode, uint8_t group_opcode, uint8_t modrm_template);
// An immediate into a register or memory operand, ModRM reg field 0 (MOV
// C6/C7, TEST F6/F7): one immediate byte for a byte operand, two for any
// other size.
int encode_rm_immediate(uint8_t byte_opcode);

// An unsized operand takes the other's size; two different sizes, or none, fail.
int agree_sizes();
// Data is a byte or a word: a register or memory operand sized DWORD, NEAR
// or FAR has no such instruction (INC DWORD PTR [BX]).
int require_data_size(const Operand& operand);
// Appends the displacement that the ModRM byte `modrm` calls for (from dst.value).
void put_displacement(uint8_t modrm);
void put_modrm_and_displacement(uint8_t modrm);

constexpr uint8_t MOD_REGISTER = 3;
constexpr uint8_t WIDTH_BIT = 0x01;
uint8_t modrm(uint8_t mod, uint8_t reg_field, uint8_t rm);
uint8_t rm_mod(const Operand& operand);  // mod of an operand in the r/m field
bool is_register_or_memory(const Operand& operand);
bool is_accumulator(const Operand& operand);  // AL or AX
bool is_direct_address(const Operand& operand);

// ---- Mnemonic handlers, defined in the family files -------------------------------

// Fixed encodings: one or two bytes, no operands. The first stores its bytes
// before rejecting operand text (the listing shows them); the second stores
// nothing then.
int fixed_encoding(const Mnemonic&);
int fixed_encoding_unless_operands(const Mnemonic&);

// Arithmetic and logic group.
int alu_group(const Mnemonic&);
int test_instruction(const Mnemonic&);

// Data transfer.
int mov_instruction(const Mnemonic&);
int xchg_instruction(const Mnemonic&);
int load_address(const Mnemonic&);
int push_instruction(const Mnemonic&);
int pop_instruction(const Mnemonic&);
int in_instruction(const Mnemonic&);
int out_instruction(const Mnemonic&);

// Control transfer.
int short_jump(const Mnemonic&);
int jmp_instruction(const Mnemonic&);
int call_instruction(const Mnemonic&);
int ret_instruction(const Mnemonic&);
int int_instruction(const Mnemonic&);
// Forgets the first pass's forward jumps of an earlier run.
void reset_control_transfer();

// A jump or call encoded in the first pass whose bytes, in the second, are
// its opcode and then `width` bytes (1 or 2) of the distance from its end to
// its target, whatever the target's value: the conditional jumps, the LOOP
// family and JCXZ to a target not defined yet, JMP to one (near then), and
// CALL. The first pass notes it here for each statement (width 0: none), so
// that the second pass can find the bytes from the target's value alone.
struct RelativeTarget {
    uint8_t opcode;
    uint8_t width;
};
extern RelativeTarget relative_target;
// The second pass's bytes of the noted jump or call, at the location counter,
// to `target`: what its handler would encode there. False, with nothing
// encoded, where the handler would report the distance out of reach.
bool encode_relative_target(const RelativeTarget& noted, int32_t target);

// Single-operand arithmetic, shifts and rotates.
int inc_dec(const Mnemonic&);
int unary_group(const Mnemonic&);
int encode_shift(const Mnemonic&);

// Strings, prefixes and escapes.
int string_suffixed(const Mnemonic&);
int string_operands(const Mnemonic&);
int seg_prefix(const Mnemonic&);
// REP, REPE, REPZ, REPNE, REPNZ and LOCK alone on their line: the prefix
// byte, for the statement that follows.
int prefix_statement(const Mnemonic&);
bool is_lock_prefix(const Mnemonic& prefix);
// REP and its kin go before a string instruction, LOCK before any
// instruction but a jump, call or loop: 0, or ERR_INVALID_OPERAND.
int check_line_prefix(const Mnemonic& prefix, const Mnemonic& instruction);
int esc_instruction(const Mnemonic&);

}  // namespace vexa
