// The 8086's own results where the manuals leave them open: DAA and DAS
// with AF set compare the high digit with 9FH, and AAM 0 sets the flags from
// a zero result before its divide error. Values from the processor itself.
#include <gtest/gtest.h>

#include <memory>

#include "run/run.h"

namespace {

using namespace vexa;

constexpr uint16_t CODE = 0x1000;
constexpr uint16_t STACK = 0x2000;
constexpr uint16_t STACK_TOP = 0x0100;

// One instruction from CS:0 with AX and the flags given.
std::unique_ptr<Machine> executed(std::initializer_list<uint8_t> bytes, uint16_t ax, uint16_t flags) {
    auto machine = std::make_unique<Machine>();
    reset_machine(*machine);
    uint32_t at = physical_address(CODE, 0);
    for (uint8_t byte : bytes) machine->memory[at++] = byte;
    machine->segs[SEG_CS] = CODE;
    machine->segs[SEG_SS] = STACK;
    machine->regs[REG_SP] = STACK_TOP;
    machine->regs[REG_AX] = ax;
    machine->flags = flags;
    step_instruction(*machine);
    return machine;
}

struct AdjustCase {
    const char* what;
    uint8_t opcode;
    uint16_t ax, flags;
    uint8_t al;
    bool carry;
};

TEST(Quirks, DecimalAdjustWithAuxiliaryCarry) {
    constexpr uint16_t AF = 0x0010, CF = 0x0001;
    const AdjustCase cases[] = {
        {"DAA, AF set, AL 9CH: no carry out", 0x27, 0x009C, 0xF002 | AF, 0xA2, false},
        {"DAA, AF set, AL A0H: above 9FH", 0x27, 0x00A0, 0xF002 | AF, 0x06, true},
        {"DAA, AF clear, AL 9AH: above 99H", 0x27, 0x009A, 0xF002, 0x00, true},
        {"DAA, AF set, AL 9FH", 0x27, 0x009F, 0xF002 | AF, 0xA5, false},
        {"DAS, AF set, AL 9EH: no borrow", 0x2F, 0x009E, 0xF002 | AF, 0x98, false},
        {"DAS, AF clear, AL 9AH", 0x2F, 0x009A, 0xF002, 0x34, true},
        {"DAS, CF set", 0x2F, 0x0012, 0xF002 | CF, 0xB2, true},
    };
    for (const AdjustCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = executed({c.opcode}, c.ax, c.flags);
        EXPECT_EQ(uint8_t(machine->regs[REG_AX]), c.al);
        EXPECT_EQ((machine->flags & CF) != 0, c.carry);
    }
}

TEST(Quirks, AamByZeroSetsTheFlagsOfZero) {
    // From AX=C4C4H and flags FC43H the 8086 pushes and keeps F446H.
    auto machine = executed({0xD4, 0x00}, 0xC4C4, 0xFC43);
    EXPECT_EQ(machine->regs[REG_AX], 0xC4C4);
    uint32_t pushed = physical_address(STACK, uint16_t(STACK_TOP - 2));
    uint16_t pushed_flags = uint16_t(machine->memory[pushed] | machine->memory[pushed + 1] << 8);
    EXPECT_EQ(pushed_flags & 0x0FD5, 0xF446 & 0x0FD5);  // OF DF IF TF SF ZF AF PF CF
    EXPECT_EQ(machine->flags & 0x08D5, 0xF446 & 0x08D5);  // the arithmetic flags are kept
}

}  // namespace
