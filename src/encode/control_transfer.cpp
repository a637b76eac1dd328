// Control transfer: JMP, CALL, the conditional jumps and JCXZ, the LOOP
// family, RET, RETN, RETF and INT. (INTO and IRET are single bytes: see the
// mnemonic table, which also gives each conditional jump's opcode.)
#include <algorithm>
#include <cstdlib>

#include "driver/assembly.h"
#include "encode/encode.h"
#include "isa/forms.h"

namespace vexa {

namespace {

constexpr uint8_t JMP_SHORT = opcode_of("JMP rel8");
constexpr uint8_t JMP_NEAR = opcode_of("JMP rel16");
constexpr uint8_t JMP_FAR = opcode_of("JMP ptr16:16");
constexpr uint8_t JMP_INDIRECT_DIGIT = digit_of("JMP r/m16");  // FF /4 near, FF /5 far

constexpr uint8_t CALL_NEAR = opcode_of("CALL rel16");
constexpr uint8_t CALL_FAR = opcode_of("CALL ptr16:16");
constexpr uint8_t CALL_INDIRECT_DIGIT = digit_of("CALL r/m16");  // FF /2 near, FF /3 far

constexpr uint8_t INDIRECT = opcode_of("CALL r/m16");
constexpr uint8_t RET_WITH_POP_COUNT = opcode_of("RET") - opcode_of("RET imm16");  // C3 and CB less one
static_assert(opcode_of("RETF") - opcode_of("RETF imm16") == RET_WITH_POP_COUNT);
constexpr uint8_t RETF = opcode_of("RETF");
constexpr uint8_t INT_3 = opcode_of("INT 3");
constexpr uint8_t INT_NUMBER = opcode_of("INT imm8");

bool is_far(const Operand& operand) { return operand.size == SIZE_DWORD || operand.size == SIZE_FAR; }

// Distance from the statement's first byte to the target, without overflow.
int64_t distance_to(Statement& s, int32_t target) {
    s.location_used = true;
    return int64_t(target) - s.location();
}

// A segment:offset pair: offset first, then segment, each low byte first.
int put_far_pointer(Statement& s, uint8_t opcode) {
    put_byte(s, opcode);
    put_word(s, s.dst.value);
    put_word(s, s.dst.value >> 16);
    return 0;
}

// An indirect jump or call through a word or doubleword register or memory
// operand. A byte operand has no 8086 encoding.
int put_indirect(Statement& s, uint8_t near_digit) {
    if (is_register_or_memory(s.dst) && s.dst.size == SIZE_BYTE) return ERR_INVALID_OPERAND;
    return encode_rm_ext(s, INDIRECT, uint8_t((near_digit + (is_far(s.dst) ? 1 : 0)) << 3));
}

// Short when a numeric target's displacement fits; for a symbol only when it
// lies at most 126 bytes back or at the jump itself, so that a later label's
// address never depends on the jump's own length, and not where lengths must
// not shrink.
bool takes_short_form(const Statement& s, int64_t distance) {
    if (distance < -126 || distance >= 130) return false;
    return s.dst.reg != IMM_SYMBOL || (distance <= 2 && !s.long_forms);
}

// Two bytes, an 8-bit displacement. A target not defined yet: the two bytes
// are reserved and the range is tested in a later pass.
int put_short_jump(Statement& s, uint8_t opcode) {
    int64_t displacement = distance_to(s, s.dst.value) - 2;
    if (is_forward_placeholder(s, s.dst)) {
        displacement = -1;
        s.relative_target = {opcode, 1};
    } else if (displacement < -128 || displacement > 127) {
        return ERR_DISPLACEMENT_OVERFLOW;
    }
    put_byte(s, opcode);
    put_byte(s, int32_t(displacement));
    return 0;
}

// Under the shortest forms: short whenever the target is in reach, ahead
// or behind; a target not known yet is first guessed in reach, and the
// passes lengthen what does not reach. JMP NEAR keeps the near form.
// A two-byte jump from the statement's address reaches `distance` bytes on.
bool reaches_short(int64_t distance) { return distance - 2 >= -128 && distance - 2 <= 127; }

// JMP over `distance` bytes from its first: EB and a byte, or E9 and a word.
int put_jump(Statement& s, bool short_form, int64_t distance) {
    if (short_form) {
        put_byte(s, JMP_SHORT);
        put_byte(s, int32_t(distance - 2));
    } else {
        put_byte(s, JMP_NEAR);
        put_word(s, int32_t(distance - 3));
    }
    return 0;
}

int shortest_jump(Statement& s) {
    bool guess = is_forward_placeholder(s, s.dst);
    int64_t distance = distance_to(s, s.dst.value);
    return put_jump(s, s.dst.size != SIZE_NEAR && (guess || (reaches_short(distance) && !s.long_forms)), distance);
}

// A far target is a segment:offset pair, or under Vexa's conventions a
// value whose high word is the segment; NASM's FAR LABEL has no segment in
// a flat image.
bool far_target_refused(const Statement& s) { return s.assembly.conventions.nasm && !s.segment_pair_named; }

// Under MASM's conventions a far label, or FAR PTR before a label: the
// label's offset and its segment, which the loader relocates. A flat image
// has no segment to give; the first pass may not know the label yet.
bool far_label_target(const Statement& s) {
    if (!s.assembly.conventions.masm || s.segment_pair_named || s.dst.size == SIZE_NEAR || s.dst.size == SIZE_SHORT) {
        return false;
    }
    return s.dst.size == SIZE_FAR || (s.dst.value_marks & VALUE_FAR);
}

int put_far_label(Statement& s, uint8_t opcode) {
    if (s.dst.frame == NO_FRAME) {
        if (!is_forward_placeholder(s, s.dst) && s.pass.pass_index > 0) return ERR_INVALID_OPERAND;
        s.first_pass_guess = true;
        s.dst.value = 0;
        return put_far_pointer(s, opcode);
    }
    int16_t frame = frame_of_segment(s.assembly, s.dst.frame);
    s.dst.value = int32_t((uint32_t(frame_paragraph(s.assembly, frame)) << 16) | (uint32_t(s.dst.value) & 0xFFFF));
    s.code_fixup = relocated_frame(s.assembly, frame);
    return put_far_pointer(s, opcode);
}

// Under MASM's conventions a near target is in the frame being assembled.
bool near_target_refused(const Statement& s) {
    if (s.dst.frame == NO_FRAME || s.pass.segment == NO_SECTION || !s.assembly.conventions.masm) return false;
    return frame_of_segment(s.assembly, s.dst.frame) != frame_of_segment(s.assembly, s.pass.segment);
}

int direct_jump(Statement& s) {
    if (far_label_target(s)) return put_far_label(s, JMP_FAR);
    if (near_target_refused(s)) return ERR_INVALID_OPERAND;
    if (s.dst.size == SIZE_SHORT) return put_short_jump(s, JMP_SHORT);
    if (is_far(s.dst)) return far_target_refused(s) ? ERR_INVALID_OPERAND : put_far_pointer(s, JMP_FAR);
    if (s.assembly.conventions.shortest) return shortest_jump(s);
    ForwardJumps& forward_jumps = s.assembly.forward_jumps;
    bool first_pass = s.pass.pass_index == 0;
    bool forward = first_pass ? is_forward_placeholder(s, s.dst) : forward_jumps.contains(s.index);
    if (first_pass && forward && forward_jumps.remember(s.index)) s.relative_target = {JMP_NEAR, 2};
    int64_t distance = distance_to(s, s.dst.value);
    return put_jump(s, !forward && takes_short_form(s, distance), distance);
}

}  // namespace

ForwardJumps::~ForwardJumps() { std::free(statements_); }

bool ForwardJumps::remember(uint32_t statement) {
    if (count_ > 0 && statements_[count_ - 1] == statement) return true;
    if (count_ == capacity_) {
        uint32_t capacity = capacity_ ? capacity_ * 2 : 64;
        void* grown = std::realloc(statements_, size_t(capacity) * sizeof(uint32_t));
        if (!grown) return false;  // the jump may then be short in a later pass: another pass
        statements_ = static_cast<uint32_t*>(grown);
        capacity_ = capacity;
    }
    statements_[count_++] = statement;
    return true;
}

bool ForwardJumps::contains(uint32_t statement) const {
    return std::binary_search(statements_, statements_ + count_, statement);
}

bool encode_relative_target(Statement& s, const RelativeTarget& noted, int32_t target) {
    int64_t displacement = distance_to(s, target) - 1 - noted.width;
    if (noted.width == 1 && (displacement < -128 || displacement > 127)) return false;
    s.code_len = 0;
    put_byte(s, noted.opcode);
    if (noted.width == 1) {
        put_byte(s, int32_t(displacement));
    } else {
        put_word(s, int32_t(displacement));
    }
    return true;
}

namespace {

constexpr uint8_t CONDITION_MASK = 0xF0;
constexpr uint8_t CONDITIONAL_JUMPS = opcode_of("JO rel8");  // 70-7F; the condition's opposite differs in bit 0
constexpr uint8_t INVERTED_JUMP_DISTANCE = 3;  // over the near JMP

// A conditional jump whose target is out of reach: the opposite condition
// jumps over a near JMP to the target (JE X is 75 03 E9 disp16). A target
// not known yet is first guessed in reach.
int conditional_jump(Statement& s, uint8_t opcode) {
    if (is_forward_placeholder(s, s.dst)) return put_short_jump(s, opcode);
    int64_t distance = distance_to(s, s.dst.value);
    if (reaches_short(distance) && !s.long_forms) return put_short_jump(s, opcode);
    put_byte(s, opcode ^ 1);
    put_byte(s, INVERTED_JUMP_DISTANCE);
    put_byte(s, JMP_NEAR);
    put_word(s, int32_t(distance - 5));
    return 0;
}

}  // namespace

// The conditional jumps, JCXZ and the LOOP family: two bytes, an 8-bit displacement.
int short_jump(const Mnemonic& mnemonic, Statement& s) {
    if (int result = require_one_operand(s)) return result;
    if (s.dst.kind != KIND_IMMEDIATE) return ERR_SYNTAX;
    // NEAR or FAR before the target (NASM's conventions): the 8086 has no such form.
    if (s.dst.size == SIZE_NEAR || is_far(s.dst)) return ERR_INVALID_OPERAND;
    if (near_target_refused(s)) return ERR_INVALID_OPERAND;
    bool conditional = (mnemonic.opcode & CONDITION_MASK) == CONDITIONAL_JUMPS;
    if (conditional && s.dst.size != SIZE_SHORT && s.assembly.conventions.rewrite_far_conditional) {
        return conditional_jump(s, mnemonic.opcode);
    }
    return put_short_jump(s, mnemonic.opcode);
}

int jmp_instruction(const Mnemonic&, Statement& s) {
    if (int result = require_one_operand(s)) return result;
    if (s.dst.kind == KIND_IMMEDIATE) return direct_jump(s);
    return put_indirect(s, JMP_INDIRECT_DIGIT);
}

// CALL is always 3 bytes (near) or 5 (far): its displacement never changes its length.
int call_instruction(const Mnemonic&, Statement& s) {
    if (int result = require_one_operand(s)) return result;
    if (s.dst.kind == KIND_IMMEDIATE) {
        if (far_label_target(s)) return put_far_label(s, CALL_FAR);
        if (near_target_refused(s)) return ERR_INVALID_OPERAND;
        if (is_far(s.dst)) return far_target_refused(s) ? ERR_INVALID_OPERAND : put_far_pointer(s, CALL_FAR);
        if (s.pass.pass_index == 0) s.relative_target = {CALL_NEAR, 2};
        put_byte(s, CALL_NEAR);
        put_word(s, int32_t(distance_to(s, s.dst.value) - 3));
        return 0;
    }
    if (s.dst.kind == KIND_SEGREG) return ERR_SYNTAX;
    if (s.dst.size == SIZE_BYTE) return ERR_INVALID_OPERAND;
    // FF whatever the size: CALL WORD PTR and CALL DWORD PTR differ in the digit only.
    put_byte(s, INDIRECT);
    put_modrm_and_displacement(s, modrm(s.dst.mod, CALL_INDIRECT_DIGIT + (is_far(s.dst) ? 1 : 0), s.dst.reg));
    return 0;
}

// RET, RETN (C3) and RETF (CB), with an optional count of bytes to pop.
// Under MASM's conventions RET in a far procedure is RETF.
int ret_instruction(const Mnemonic& mnemonic, Statement& s) {
    const OpenProcedures& open = s.pass.procedures;
    bool far_procedure = s.mnemonic_field[3] == 0 && open.count > 0 && open.far[open.count - 1];
    uint8_t opcode = far_procedure ? RETF : mnemonic.opcode;
    if (s.operand_count == 0) {
        if (s.operand_text[0]) return ERR_MISSING_OPERAND;  // ask for the operand to be read
        put_byte(s, opcode);
        return 0;
    }
    if (s.operand_count == 2) return ERR_EXTRA_OPERAND;
    if (s.dst.kind != KIND_IMMEDIATE) return ERR_INVALID_OPERAND;
    put_byte(s, opcode - RET_WITH_POP_COUNT);
    put_immediate(s, s.dst.value, false);
    return 0;
}

// ENTER imm16,imm8 (80186): a stack frame of imm16 bytes at nesting level imm8.
int enter_instruction(const Mnemonic& mnemonic, Statement& s) {
    if (int refused = require_186(s, "ENTER", ERR_INVALID_OPCODE)) return refused;
    if (int result = require_two_operands(s)) return result;
    if (s.dst.kind != KIND_IMMEDIATE || s.src.kind != KIND_IMMEDIATE) return ERR_INVALID_OPERAND;
    if (s.dst.value < -32768 || s.dst.value > 65535 || s.src.value < 0 || s.src.value > 255) return ERR_ILLEGAL_SIZE;
    put_byte(s, mnemonic.opcode);
    put_word(s, s.dst.value);
    put_byte(s, s.src.value);
    return 0;
}

int int_instruction(const Mnemonic&, Statement& s) {
    if (int result = require_one_operand(s)) return result;
    if (s.dst.kind != KIND_IMMEDIATE || s.dst.value < 0 || s.dst.value > 255) return ERR_INVALID_OPERAND;
    // NASM keeps INT 3 as written (CD 03): its INT3 is the one byte.
    if (s.dst.value == 3 && !s.assembly.conventions.nasm) {
        put_byte(s, INT_3);
    } else {
        put_byte(s, INT_NUMBER);
        put_byte(s, s.dst.value);
    }
    return 0;
}

}  // namespace vexa
