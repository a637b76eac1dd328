// Instruction encoding: mnemonic dispatch and the bytes of each instruction.
#pragma once

#include <cstdint>
#include <cstring>

#include "driver/driver.h"
#include "parse/parse.h"

namespace vexa {

// ---- Code buffer ----------------------------------------------------------------

// A statement's instruction bytes, without any prefix.
constexpr int CODE_CAPACITY = 8;

void put_byte(Statement& s, int32_t value);  // appends the low byte
void put_word(Statement& s, int32_t value);  // appends the low 16 bits, low byte first
void put_immediate(Statement& s, int32_t value, bool byte);  // one byte or a word
// An unsized memory operand (dst) with an immediate: `warned` (a
// StatementWarning) says which size was taken.
void note_size_assumed(Statement& s, uint8_t warned);

// ---- Mnemonic dispatch ----------------------------------------------------------

struct Mnemonic;
using MnemonicHandler = int (*)(const Mnemonic&, Statement&);

// One accepted mnemonic: the letters that select its trie slot, the ending
// accepted after them, and the handler with the opcode it encodes.
struct Mnemonic {
    const char* slot;  // two or three letters
    const char* rest;  // accepted ending; null accepts any ending
    MnemonicHandler handler;
    uint8_t opcode;
    uint8_t extension;  // ModRM /digit, or the second byte of a fixed encoding
};

// The accepted mnemonic spelled `text`, or null.
const Mnemonic* find_mnemonic(const char* text);
// The row of `=` (NAME = value), which the line splitter finds by itself.
const Mnemonic* assignment_mnemonic();
// Every row of the mnemonic table, for messages that suggest a spelling.
const Mnemonic* mnemonic_rows(int* count);

// ---- Reserved words ----------------------------------------------------------

// Every mnemonic (instructions, prefixes, directives) as written in full,
// every register and every size keyword is reserved: wherever it stands at
// the start of a line it begins the statement, and it never names a label.
// None is longer than eight characters.
constexpr int LONGEST_RESERVED_WORD = 8;

// A word of up to eight characters in the eight bytes of an integer, the
// first in the lowest byte, zeros after the last: each word one number.
constexpr uint64_t packed(const char* word) {
    uint64_t bits = 0;
    for (int i = 0; word[i]; ++i) bits |= uint64_t(uint8_t(word[i])) << (8 * i);
    return bits;
}
// The same for the first `length` (1 to 8) characters at `text`, which may
// be read eight bytes at once.
inline uint64_t packed(const char* text, int length) {
    uint64_t bits;
    std::memcpy(&bits, text, sizeof bits);
    return length >= 8 ? bits : bits & ((uint64_t(1) << (8 * length)) - 1);
}

struct ReservedWord {
    uint64_t word;             // packed, upper case
    const Mnemonic* mnemonic;  // null for a register or a size keyword
};
// The reserved words in an open-addressed table, by a hash of the packed
// word: a word at the start of a line is looked up with one probe or two.
constexpr int RESERVED_SLOTS = 512;
struct ReservedWords {
    ReservedWord slots[RESERVED_SLOTS];
};
extern const ReservedWords reserved_word_table;

constexpr uint32_t reserved_slot(uint64_t word) { return uint32_t((word * 0x9E3779B97F4A7C15ull) >> 55); }
static_assert(RESERVED_SLOTS == 1 << (64 - 55));

// The reserved word packed in `word` (upper case, one character or more),
// or null. Inline: every statement's first word is looked up.
inline const ReservedWord* find_reserved_word(uint64_t word) {
    for (uint32_t slot = reserved_slot(word);; slot = (slot + 1) % RESERVED_SLOTS) {
        const ReservedWord& entry = reserved_word_table.slots[slot];
        if (entry.word == word) return &entry;
        if (entry.word == 0) return nullptr;
    }
}

// True for the directives that programs written for other assemblers use as
// names (EVEN:, LABEL:, TIMES:): with a colon they are labels.
bool may_be_label(const ReservedWord& word);

// Selects the handler of `mnemonic` (upper case, at most 8 characters) and
// answers 0 with the bytes in code_buf, a StatementCode, or an ErrorCode.
int dispatch_mnemonic(Statement& s, const char* mnemonic);

// True when the handler of `mnemonic` only asks for operands until they are
// read, so that they may be read before its first call.
bool reads_operands_first(const Mnemonic& mnemonic);
// True for DB, DW, DS, EQU, ORG, END, PROC, ENDP and INCLUDE.
bool is_directive(const Mnemonic& mnemonic);
// True for the directives that define the name before them: DB, DW, DS,
// EQU, PROC and ENDP.
bool names_its_label(const Mnemonic& mnemonic);
// True for the jumps, which accept SHORT before their target.
bool takes_short_target(const Mnemonic& mnemonic);
// True for JMP and CALL, whose target may be a segment:offset pair.
bool takes_far_target(const Mnemonic& mnemonic);

// The operand counts of the handler contract: a two-operand form answers
// ERR_MISSING_OPERAND for none and ERR_SYNTAX for one; a one-operand form
// ERR_MISSING_OPERAND for none and ERR_EXTRA_OPERAND for two.
int require_two_operands(const Statement& s);
int require_one_operand(const Statement& s);

// ---- Shared ModRM encoders ------------------------------------------------------

// Register with register or memory; bit 0 of `opcode` becomes the width and
// bit 1 the direction.
int encode_reg_rm(Statement& s, uint8_t opcode);
// Segment register with register or memory (0x8E into, 0x8C out of one).
int encode_sreg_move(Statement& s, uint8_t opcode);
// One register or memory operand with the /digit in bits 5-3 of `modrm_template`.
int encode_rm_ext(Statement& s, uint8_t opcode, uint8_t modrm_template);
// The immediate forms of the arithmetic and logic group.
int encode_alu_immediate(Statement& s, uint8_t accumulator_opcode, uint8_t group_opcode, uint8_t modrm_template);
// An immediate into a register or memory operand, ModRM reg field 0 (MOV
// C6/C7, TEST F6/F7): one immediate byte for a byte operand, two for any
// other size.
int encode_rm_immediate(Statement& s, uint8_t byte_opcode);

// A value a sign-extended byte holds: -128 to 127, or a word's FF80H to FFFFH.
bool fits_signed_byte(int32_t value);
// An immediate of the 80186's forms (PUSH, IMUL) takes the sign-extended
// byte: BYTE before it says so, or its value fits and cannot change once
// lengths must not shrink; under NASM's and MASM's conventions an address
// keeps its word.
bool takes_signed_byte(const Statement& s, const Operand& immediate);
// In the first pass, a value that names what is not defined yet; the
// statement's length is then a guess.
bool is_forward_placeholder(Statement& s, const Operand& operand);

// The 80186's forms: 0 when the 80186's instructions are enabled, else
// `refusal`, with what the 8086 lacks (`lacking`, a text that outlives the
// statement) kept for the message's note.
int require_186(Statement& s, const char* lacking, int refusal);

// An unsized operand takes the other's size; two different sizes, or none, fail.
int agree_sizes(Statement& s);
// Data is a byte or a word: a register or memory operand sized DWORD, NEAR
// or FAR has no such instruction (INC DWORD PTR [BX]).
int require_data_size(const Operand& operand);
// Appends the displacement that the ModRM byte `modrm` calls for (from dst.value).
void put_displacement(Statement& s, uint8_t modrm);
void put_modrm_and_displacement(Statement& s, uint8_t modrm);

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
int fixed_encoding(const Mnemonic&, Statement&);
int fixed_encoding_unless_operands(const Mnemonic&, Statement&);
// NASM's own spellings (INT3, XLATB): known under NASM's conventions only.
int nasm_fixed_encoding(const Mnemonic&, Statement&);
// AAM and AAD: under NASM's conventions with the base written (AAM 16).
int ascii_adjust(const Mnemonic&, Statement&);
// The 80186's one-byte instructions: PUSHA, POPA, LEAVE.
int fixed_encoding_186(const Mnemonic&, Statement&);

// Arithmetic and logic group.
int alu_group(const Mnemonic&, Statement&);
int test_instruction(const Mnemonic&, Statement&);

// Data transfer.
int mov_instruction(const Mnemonic&, Statement&);
int xchg_instruction(const Mnemonic&, Statement&);
int load_address(const Mnemonic&, Statement&);
int push_instruction(const Mnemonic&, Statement&);
int pop_instruction(const Mnemonic&, Statement&);
int bound_instruction(const Mnemonic&, Statement&);
int in_instruction(const Mnemonic&, Statement&);
int out_instruction(const Mnemonic&, Statement&);

// Control transfer.
int short_jump(const Mnemonic&, Statement&);
int jmp_instruction(const Mnemonic&, Statement&);
int call_instruction(const Mnemonic&, Statement&);
int ret_instruction(const Mnemonic&, Statement&);
int int_instruction(const Mnemonic&, Statement&);
int enter_instruction(const Mnemonic&, Statement&);

// The JMP statements whose target was not yet defined when the first pass
// read them, by their place in the pass, in ascending order. Such a jump is
// near in the first pass, and every later pass gives it the same length
// whatever the distance.
class ForwardJumps {
public:
    ForwardJumps() = default;
    ForwardJumps(const ForwardJumps&) = delete;
    ForwardJumps& operator=(const ForwardJumps&) = delete;
    ~ForwardJumps();
    // False when the jump could not be remembered.
    bool remember(uint32_t statement);
    bool contains(uint32_t statement) const;

private:
    uint32_t* statements_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
};

// A jump or call encoded in the first pass whose bytes, in a later one, are
// its opcode and then `width` bytes (1 or 2) of the distance from its end to
// its target, whatever the target's value: the conditional jumps, the LOOP
// family and JCXZ to a target not defined yet, JMP to one (near then), and
// CALL. The first pass notes it in the statement (width 0: none), so that a
// later pass can find the bytes from the target's value alone.
struct RelativeTarget {
    uint8_t opcode;
    uint8_t width;
};
// A later pass's bytes of the noted jump or call, at the statement's
// address, to `target`: what its handler would encode there. False, with
// nothing encoded, where the handler would report the distance out of reach.
bool encode_relative_target(Statement& s, const RelativeTarget& noted, int32_t target);

// Single-operand arithmetic, shifts and rotates.
int inc_dec(const Mnemonic&, Statement&);
int unary_group(const Mnemonic&, Statement&);
int imul_instruction(const Mnemonic&, Statement&);
int encode_shift(const Mnemonic&, Statement&);

// Strings, prefixes and escapes.
int string_suffixed(const Mnemonic&, Statement&);
int string_operands(const Mnemonic&, Statement&);
int seg_prefix(const Mnemonic&, Statement&);
// REP, REPE, REPZ, REPNE, REPNZ and LOCK alone on their line: the prefix
// byte, for the statement that follows.
int prefix_statement(const Mnemonic&, Statement&);
bool is_lock_prefix(const Mnemonic& prefix);
// REP and its kin go before a string instruction, LOCK before any
// instruction but a jump, call or loop: 0, or ERR_INVALID_OPERAND.
int check_line_prefix(const Mnemonic& prefix, const Mnemonic& instruction);
int esc_instruction(const Mnemonic&, Statement&);

}  // namespace vexa
