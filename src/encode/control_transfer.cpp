// Control transfer: JMP, CALL, the conditional jumps and JCXZ, the LOOP
// family, RET, RETN, RETF and INT. (INTO and IRET are single bytes: see the
// mnemonic table, which also gives each conditional jump's opcode.)
#include <algorithm>
#include <cstdlib>

#include "encode/encode.h"

namespace vexa {

namespace {

constexpr uint8_t JMP_SHORT = 0xEB;
constexpr uint8_t JMP_NEAR = 0xE9;
constexpr uint8_t JMP_FAR = 0xEA;
constexpr uint8_t JMP_INDIRECT_DIGIT = 4;  // FF /4 near, FF /5 far

constexpr uint8_t CALL_NEAR = 0xE8;
constexpr uint8_t CALL_FAR = 0x9A;
constexpr uint8_t CALL_INDIRECT_DIGIT = 2;  // FF /2 near, FF /3 far

constexpr uint8_t INDIRECT = 0xFF;
constexpr uint8_t RET_WITH_POP_COUNT = 1;  // subtracted from C3 and CB
constexpr uint8_t INT_3 = 0xCC;
constexpr uint8_t INT_NUMBER = 0xCD;

// Lines of JMP statements whose target was not yet defined when the first
// pass read them, in ascending order. Such a jump is near in the first pass,
// and the second pass gives it the same length whatever the distance.
struct ForwardJumps {
    int32_t* lines;
    int32_t count;
    int32_t capacity;
};
ForwardJumps forward_jumps;

// False when the jump could not be remembered.
bool remember_forward_jump() {
    if (forward_jumps.count > 0 && forward_jumps.lines[forward_jumps.count - 1] == line_number) return true;
    if (forward_jumps.count == forward_jumps.capacity) {
        int32_t capacity = forward_jumps.capacity ? forward_jumps.capacity * 2 : 64;
        void* lines = std::realloc(forward_jumps.lines, size_t(capacity) * sizeof(int32_t));
        if (!lines) return false;  // the jump may then be short in the second pass: a phase error
        forward_jumps.lines = static_cast<int32_t*>(lines);
        forward_jumps.capacity = capacity;
    }
    forward_jumps.lines[forward_jumps.count++] = line_number;
    return true;
}

bool was_forward_jump() {
    return std::binary_search(forward_jumps.lines, forward_jumps.lines + forward_jumps.count, line_number);
}

bool is_far(const Operand& operand) { return operand.size == SIZE_DWORD || operand.size == SIZE_FAR; }

// Distance from the statement's first byte to the target, without overflow.
int64_t distance_to(int32_t target) { return int64_t(target) - location_counter; }

bool is_forward_placeholder(const Operand& operand) {
    bool placeholder = pass_index == 0 && operand.value == FORWARD_PLACEHOLDER;
    if (placeholder) first_pass_guess = true;
    return placeholder;
}

// A segment:offset pair: offset first, then segment, each low byte first.
int put_far_pointer(uint8_t opcode) {
    put_byte(opcode);
    put_word(dst.value);
    put_word(dst.value >> 16);
    return 0;
}

// An indirect jump or call through a word or doubleword register or memory
// operand. A byte operand has no 8086 encoding.
int put_indirect(uint8_t near_digit) {
    if (is_register_or_memory(dst) && dst.size == SIZE_BYTE) return ERR_INVALID_OPERAND;
    return encode_rm_ext(INDIRECT, uint8_t((near_digit + (is_far(dst) ? 1 : 0)) << 3));
}

// Short when a numeric target's displacement fits; for a symbol only when it
// lies at most 126 bytes back or at the jump itself, so that a later label's
// address never depends on the jump's own length.
bool takes_short_form(int64_t distance) {
    if (distance < -126 || distance >= 130) return false;
    return dst.reg != IMM_SYMBOL || distance <= 2;
}

// Two bytes, an 8-bit displacement. A target not defined yet: the two bytes
// are reserved and the range is tested in the second pass.
int put_short_jump(uint8_t opcode) {
    int64_t displacement = distance_to(dst.value) - 2;
    if (is_forward_placeholder(dst)) {
        displacement = -1;
        relative_target = {opcode, 1};
    } else if (displacement < -128 || displacement > 127) {
        return ERR_DISPLACEMENT_OVERFLOW;
    }
    put_byte(opcode);
    put_byte(int32_t(displacement));
    return 0;
}

int direct_jump() {
    if (dst.size == SIZE_SHORT) return put_short_jump(JMP_SHORT);
    if (is_far(dst)) return put_far_pointer(JMP_FAR);
    bool forward = pass_index == 0 ? is_forward_placeholder(dst) : was_forward_jump();
    if (pass_index == 0 && forward && remember_forward_jump()) relative_target = {JMP_NEAR, 2};
    int64_t distance = distance_to(dst.value);
    if (!forward && takes_short_form(distance)) {
        put_byte(JMP_SHORT);
        put_byte(int32_t(distance - 2));
    } else {
        put_byte(JMP_NEAR);
        put_word(int32_t(distance - 3));
    }
    return 0;
}

}  // namespace

RelativeTarget relative_target;

bool encode_relative_target(const RelativeTarget& noted, int32_t target) {
    int64_t displacement = distance_to(target) - 1 - noted.width;
    if (noted.width == 1 && (displacement < -128 || displacement > 127)) return false;
    code_len = 0;
    put_byte(noted.opcode);
    if (noted.width == 1) {
        put_byte(int32_t(displacement));
    } else {
        put_word(int32_t(displacement));
    }
    return true;
}

void reset_control_transfer() {
    std::free(forward_jumps.lines);
    forward_jumps = ForwardJumps{};
}

// The conditional jumps, JCXZ and the LOOP family: two bytes, an 8-bit displacement.
int short_jump(const Mnemonic& mnemonic) {
    if (int result = require_one_operand()) return result;
    if (dst.kind != KIND_IMMEDIATE) return ERR_SYNTAX;
    return put_short_jump(mnemonic.opcode);
}

int jmp_instruction(const Mnemonic&) {
    if (int result = require_one_operand()) return result;
    if (dst.kind == KIND_IMMEDIATE) return direct_jump();
    return put_indirect(JMP_INDIRECT_DIGIT);
}

// CALL is always 3 bytes (near) or 5 (far): its displacement never changes its length.
int call_instruction(const Mnemonic&) {
    if (int result = require_one_operand()) return result;
    if (dst.kind == KIND_IMMEDIATE) {
        if (is_far(dst)) return put_far_pointer(CALL_FAR);
        if (pass_index == 0) relative_target = {CALL_NEAR, 2};
        put_byte(CALL_NEAR);
        put_word(int32_t(distance_to(dst.value) - 3));
        return 0;
    }
    if (dst.kind == KIND_SEGREG) return ERR_SYNTAX;
    if (dst.size == SIZE_BYTE) return ERR_INVALID_OPERAND;
    // FF whatever the size: CALL WORD PTR and CALL DWORD PTR differ in the digit only.
    put_byte(INDIRECT);
    put_modrm_and_displacement(modrm(dst.mod, CALL_INDIRECT_DIGIT + (is_far(dst) ? 1 : 0), dst.reg));
    return 0;
}

// RET, RETN (C3) and RETF (CB), with an optional count of bytes to pop.
int ret_instruction(const Mnemonic& mnemonic) {
    if (operand_count == 0) {
        if (operand_text[0]) return ERR_MISSING_OPERAND;  // ask for the operand to be read
        put_byte(mnemonic.opcode);
        return 0;
    }
    if (operand_count == 2) return ERR_EXTRA_OPERAND;
    if (dst.kind != KIND_IMMEDIATE) return ERR_INVALID_OPERAND;
    put_byte(mnemonic.opcode - RET_WITH_POP_COUNT);
    put_word(dst.value);
    return 0;
}

int int_instruction(const Mnemonic&) {
    if (int result = require_one_operand()) return result;
    if (dst.kind != KIND_IMMEDIATE || dst.value < 0 || dst.value > 255) return ERR_INVALID_OPERAND;
    if (dst.value == 3) {
        put_byte(INT_3);
    } else {
        put_byte(INT_NUMBER);
        put_byte(dst.value);
    }
    return 0;
}

}  // namespace vexa
