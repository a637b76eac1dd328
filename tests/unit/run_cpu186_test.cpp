// The 80186 machine beside the 8086: the opcodes each leaves undefined, the
// 8086's aliases the 80186 replaces, and the 80186's own rules (PUSH SP,
// shift counts, ENTER's nesting level, where interrupt 6 returns). The
// instructions themselves are checked against hardware results
// (tests/processor-186) and unicorn (tests/emulator/test_cpu186_unicorn.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "run/run.h"

namespace {

using namespace vexa;

constexpr uint16_t CODE = 0x1000, START = 0x0100;
constexpr uint16_t STACK = 0x2000, STACK_TOP = 0x0100;
constexpr uint16_t DATA = 0x3000;
constexpr uint16_t HANDLERS = 0x4000;  // vector n leads to HANDLERS:n
constexpr uint16_t FLAGS = 0xF002;
constexpr uint16_t CF = 0x0001, ZF = 0x0040, IF = 0x0200, OF = 0x0800;

struct Setup {
    uint16_t ax = 0, bx = 0, cx = 0, bp = 0, si = 0, di = 0;
    uint16_t flags = FLAGS;
    std::vector<std::pair<uint16_t, uint16_t>> stack = {};  // words at SS:offset
    std::vector<std::pair<uint16_t, uint16_t>> data = {};   // words at DS:offset
};

uint16_t word_at(const Machine& machine, uint16_t segment, uint16_t offset) {
    uint32_t at = physical_address(segment, offset);
    return uint16_t(machine.memory[at] | machine.memory[(at + 1) & ADDRESS_MASK] << 8);
}

void store_word(Machine& machine, uint16_t segment, uint16_t offset, uint16_t value) {
    uint32_t at = physical_address(segment, offset);
    machine.memory[at] = uint8_t(value);
    machine.memory[(at + 1) & ADDRESS_MASK] = uint8_t(value >> 8);
}

// A machine with every vector n leading to HANDLERS:n; services off.
std::unique_ptr<Machine> fresh_machine() {
    auto machine = std::make_unique<Machine>();
    reset_machine(*machine);
    for (unsigned vector = 0; vector < 256; ++vector) {
        store_word(*machine, 0, uint16_t(vector * 4), uint16_t(vector));
        store_word(*machine, 0, uint16_t(vector * 4 + 2), HANDLERS);
    }
    return machine;
}

// One instruction at CODE:START on the given processor. The stack and data
// an instruction reaches are cleared first, so that a machine may be reused.
void execute_on(Machine& machine, CpuModel processor, const std::vector<uint8_t>& bytes, const Setup& setup = {}) {
    machine.processor = processor;
    machine.ending = ENDING_NONE;
    std::fill_n(&machine.memory[physical_address(STACK, 0)], 0x200, 0);
    std::fill_n(&machine.memory[physical_address(DATA, 0)], 0x200, 0);
    uint32_t at = physical_address(CODE, START);
    for (uint8_t byte : bytes) machine.memory[at++] = byte;
    machine.segs[SEG_CS] = CODE;
    machine.ip = START;
    machine.segs[SEG_SS] = STACK;
    machine.segs[SEG_DS] = machine.segs[SEG_ES] = DATA;
    const uint16_t registers[8] = {setup.ax, setup.cx, 0, setup.bx, STACK_TOP, setup.bp, setup.si, setup.di};
    std::copy(std::begin(registers), std::end(registers), machine.regs);
    machine.flags = setup.flags;
    for (auto [offset, value] : setup.stack) store_word(machine, STACK, offset, value);
    for (auto [offset, value] : setup.data) store_word(machine, DATA, offset, value);
    step_instruction(machine);
}

std::unique_ptr<Machine> executed(CpuModel processor, const std::vector<uint8_t>& bytes, const Setup& setup = {}) {
    auto machine = fresh_machine();
    execute_on(*machine, processor, bytes, setup);
    return machine;
}

// The interrupt taken, or -1: CS:IP at a handler with its frame on the stack.
int interrupt_taken(const Machine& machine) {
    if (machine.segs[SEG_CS] != HANDLERS || machine.regs[REG_SP] != STACK_TOP - 6) return -1;
    return machine.ip;
}

std::vector<uint8_t> bytes_of(std::initializer_list<uint8_t> bytes) { return bytes; }

// ---- Undefined opcodes ---------------------------------------------------------------

bool is_prefix(int opcode) {
    for (int prefix : {0x26, 0x2E, 0x36, 0x3E, 0xF0, 0xF2, 0xF3}) {
        if (opcode == prefix) return true;
    }
    return false;
}

TEST(Cpu186, TheUndefinedOpcodesOfEachProcessor) {
    // The Intel manuals' undefined first bytes and reg fields (a ModRM of [BX]).
    const std::set<int> undefined_186 = {0x0F, 0x63, 0x64, 0x65, 0x66, 0x67, 0xD6, 0xF1};
    const std::set<std::pair<int, int>> undefined_fields = {
        {0xFE, 2}, {0xFE, 3}, {0xFE, 4}, {0xFE, 5}, {0xFE, 6}, {0xFE, 7}, {0x8F, 1}, {0x8F, 2},
        {0x8F, 3}, {0x8F, 4}, {0x8F, 5}, {0x8F, 6}, {0x8F, 7}, {0xC6, 1}, {0xC6, 2}, {0xC6, 3},
        {0xC6, 4}, {0xC6, 5}, {0xC6, 6}, {0xC6, 7}, {0xC7, 1}, {0xC7, 2}, {0xC7, 3}, {0xC7, 4},
        {0xC7, 5}, {0xC7, 6}, {0xC7, 7}};
    const std::pair<int, int> undefined_field_186 = {0xFF, 7};  // the 8086's second PUSH r/m16
    auto machine = fresh_machine();
    for (int opcode = 0; opcode < 256; ++opcode) {
        if (is_prefix(opcode)) continue;
        for (int field = 0; field < 8; ++field) {
            SCOPED_TRACE(testing::Message() << std::hex << "opcode " << opcode << " /" << field);
            std::vector<uint8_t> bytes = {uint8_t(opcode), uint8_t(field << 3 | 7), 0, 0, 0, 0};
            bool in_table = undefined_fields.count({opcode, field}) > 0;
            execute_on(*machine, CPU_186, bytes);
            bool invalid = interrupt_taken(*machine) == 6 && word_at(*machine, STACK, STACK_TOP - 6) == START;
            EXPECT_EQ(invalid, in_table || undefined_186.count(opcode) > 0 ||
                                   std::make_pair(opcode, field) == undefined_field_186);
            execute_on(*machine, CPU_8086, bytes);
            EXPECT_NE(interrupt_taken(*machine), 6);
            EXPECT_EQ(machine->ending == ENDING_UNSUPPORTED, in_table);
        }
    }
}

struct InvalidCase {
    const char* what;
    std::vector<uint8_t> bytes;
};

TEST(Cpu186, InvalidOpcodeReturnsToTheFirstPrefix) {
    const InvalidCase cases[] = {
        {"0F", bytes_of({0x0F})},
        {"a segment override before 0F", bytes_of({0x26, 0x0F})},
        {"REP, CS: and 63", bytes_of({0xF3, 0x2E, 0x63, 0xC0})},
        {"LOCK before FF /7", bytes_of({0xF0, 0xFF, 0x3F})},
        {"LEA with a register", bytes_of({0x8D, 0xC3})},
        {"LDS with a register", bytes_of({0xC5, 0xC3})},
        {"LES with a register", bytes_of({0xC4, 0xC3})},
        {"BOUND with a register", bytes_of({0x62, 0xC3})},
        {"a far CALL through a register", bytes_of({0xFF, 0xDB})},
        {"a far JMP through a register", bytes_of({0xFF, 0xEB})},
    };
    for (const InvalidCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = executed(CPU_186, c.bytes, {.ax = 0x1111, .bx = 0x2222, .flags = FLAGS | IF | CF});
        EXPECT_EQ(interrupt_taken(*machine), 6);
        EXPECT_EQ(word_at(*machine, STACK, STACK_TOP - 6), START);
        EXPECT_EQ(word_at(*machine, STACK, STACK_TOP - 4), CODE);
        EXPECT_EQ(word_at(*machine, STACK, STACK_TOP - 2), FLAGS | IF | CF);
        EXPECT_EQ(machine->flags & IF, 0);
        EXPECT_EQ(machine->regs[REG_AX], 0x1111);
        EXPECT_EQ(machine->regs[REG_BX], 0x2222);
        EXPECT_EQ(machine->ending, ENDING_NONE);
    }
}

// ---- The 8086's aliases and the 80186's instructions in their place -------------------

struct BothCase {
    const char* what;
    std::vector<uint8_t> bytes;
    Setup setup;
    uint16_t ip_8086, sp_8086;  // CS stays
    uint16_t ip_186, sp_186;
};

TEST(Cpu186, TheBytesTheProcessorsTakeApart) {
    const BothCase cases[] = {
        {"60: JO, PUSHA", bytes_of({0x60, 0x05}), {.flags = FLAGS | OF}, START + 7, STACK_TOP, START + 1,
         STACK_TOP - 16},
        {"61: JNO not taken, POPA", bytes_of({0x61, 0x05}), {.flags = FLAGS | OF}, START + 2, STACK_TOP, START + 1,
         STACK_TOP + 16},
        {"68: JS not taken, PUSH imm16", bytes_of({0x68, 0x34, 0x12}), {}, START + 2, STACK_TOP, START + 3,
         STACK_TOP - 2},
        {"6A: JP taken, PUSH imm8", bytes_of({0x6A, 0xFE}), {.flags = FLAGS | 0x0004}, START, STACK_TOP, START + 2,
         STACK_TOP - 2},
        {"6C: JL not taken, INSB", bytes_of({0x6C, 0x10}), {}, START + 2, STACK_TOP, START + 1, STACK_TOP},
        {"C0: RET imm16, ROL r/m8,imm8", bytes_of({0xC0, 0xC0, 0x04}), {.stack = {{STACK_TOP, 0x0555}}}, 0x0555,
         STACK_TOP + 2 + 0x04C0, START + 3, STACK_TOP},
        {"C1: RET, SHL AX,4", bytes_of({0xC1, 0xE0, 0x04}), {.stack = {{STACK_TOP, 0x0666}}}, 0x0666,
         STACK_TOP + 2, START + 3, STACK_TOP},
        {"C9: RETF, LEAVE", bytes_of({0xC9}), {.bp = 0x0080, .stack = {{STACK_TOP, 0x0777}, {STACK_TOP + 2, CODE}}},
         0x0777, STACK_TOP + 4, START + 1, 0x0082},
    };
    for (const BothCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto on_8086 = executed(CPU_8086, c.bytes, c.setup);
        EXPECT_EQ(on_8086->ip, c.ip_8086);
        EXPECT_EQ(on_8086->regs[REG_SP], c.sp_8086);
        auto on_186 = executed(CPU_186, c.bytes, c.setup);
        EXPECT_EQ(on_186->ip, c.ip_186);
        EXPECT_EQ(on_186->regs[REG_SP], c.sp_186);
        EXPECT_EQ(on_186->segs[SEG_CS], CODE);
    }
}

TEST(Cpu186, PushSpStoresTheValueBefore) {
    for (auto bytes : {bytes_of({0x54}), bytes_of({0xFF, 0xF4})}) {
        SCOPED_TRACE(bytes.size() == 1 ? "54" : "FF /6");
        auto on_8086 = executed(CPU_8086, bytes);
        EXPECT_EQ(word_at(*on_8086, STACK, STACK_TOP - 2), STACK_TOP - 2);
        auto on_186 = executed(CPU_186, bytes);
        EXPECT_EQ(word_at(*on_186, STACK, STACK_TOP - 2), STACK_TOP);
        EXPECT_EQ(on_186->regs[REG_SP], STACK_TOP - 2);
    }
}

// ---- Shift counts ----------------------------------------------------------------------

struct ShiftCase {
    const char* what;
    CpuModel processor;
    std::vector<uint8_t> bytes;
    uint16_t ax, cx, flags;
    uint16_t result, result_flags;  // flags compared: CF, ZF
};

TEST(Cpu186, ShiftCounts) {
    const ShiftCase cases[] = {
        {"8086: SHL AL,CL by 33 shifts every bit out", CPU_8086, bytes_of({0xD2, 0xE0}), 0x0001, 33, FLAGS, 0x0000,
         ZF},
        {"80186: SHL AL,CL by 33 shifts by 1", CPU_186, bytes_of({0xD2, 0xE0}), 0x0001, 33, FLAGS, 0x0002, 0},
        {"80186: SHR AX,CL by 32 changes nothing", CPU_186, bytes_of({0xD3, 0xE8}), 0x8001, 32, FLAGS | ZF,
         0x8001, ZF},
        {"8086: SHR AX,CL by 32", CPU_8086, bytes_of({0xD3, 0xE8}), 0x8001, 32, FLAGS, 0x0000, ZF},
        {"80186: ROL AL,9", CPU_186, bytes_of({0xC0, 0xC0, 0x09}), 0x0081, 0, FLAGS, 0x0003, CF},
        {"80186: ROL AL,29h is ROL AL,9", CPU_186, bytes_of({0xC0, 0xC0, 0x29}), 0x0081, 0, FLAGS, 0x0003, CF},
        {"80186: SAR AX,2Fh is SAR AX,15", CPU_186, bytes_of({0xC1, 0xF8, 0x2F}), 0x8000, 0, FLAGS | CF, 0xFFFF, 0},
        {"80186: RCR BYTE AL,CL by 9 goes round", CPU_186, bytes_of({0xD2, 0xD8}), 0x00A5, 9, FLAGS | CF, 0x00A5,
         CF},
        {"80186: SHL AL,9 carries out zero", CPU_186, bytes_of({0xC0, 0xE0, 0x09}), 0x00FF, 0, FLAGS | CF, 0x0000,
         ZF},
        {"8086: D0 /6 sets every bit", CPU_8086, bytes_of({0xD0, 0xF0}), 0x0011, 0, FLAGS | CF, 0x00FF, 0},
        {"80186: D0 /6 shifts left", CPU_186, bytes_of({0xD0, 0xF0}), 0x0081, 0, FLAGS, 0x0002, CF},
        {"80186: C1 /6 shifts left", CPU_186, bytes_of({0xC1, 0xF0, 0x04}), 0x1234, 0, FLAGS, 0x2340, CF},
    };
    for (const ShiftCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = executed(c.processor, c.bytes, {.ax = c.ax, .cx = c.cx, .flags = c.flags});
        EXPECT_EQ(machine->regs[REG_AX], c.result);
        EXPECT_EQ(machine->flags & (CF | ZF), c.result_flags);
        EXPECT_EQ(machine->ip, START + c.bytes.size());
    }
}

// ---- ENTER -------------------------------------------------------------------------------

struct EnterCase {
    const char* what;
    uint16_t size;
    uint8_t level;
    std::vector<uint16_t> pushed;  // from SP-2 down
    uint16_t sp;
};

TEST(Cpu186, EnterNestingLevels) {
    constexpr uint16_t BP = 0x0200;
    const EnterCase cases[] = {
        {"level 0", 0x0010, 0, {BP}, STACK_TOP - 2 - 0x10},
        {"level 1: the frame itself", 0x0004, 1, {BP, STACK_TOP - 2}, STACK_TOP - 4 - 4},
        {"level 3: two enclosing frames", 0, 3, {BP, 0xAAAA, 0xBBBB, STACK_TOP - 2}, STACK_TOP - 8},
        {"level 33 counts as 1", 0, 33, {BP, STACK_TOP - 2}, STACK_TOP - 4},
        {"level 32 counts as 0", 2, 32, {BP}, STACK_TOP - 2 - 2},
    };
    for (const EnterCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = {0xC8, uint8_t(c.size), uint8_t(c.size >> 8), c.level};
        auto machine = executed(CPU_186, bytes, {.bp = BP, .stack = {{BP - 2, 0xAAAA}, {BP - 4, 0xBBBB}}});
        for (size_t i = 0; i < c.pushed.size(); ++i) {
            EXPECT_EQ(word_at(*machine, STACK, uint16_t(STACK_TOP - 2 * (i + 1))), c.pushed[i]) << "word " << i;
        }
        EXPECT_EQ(machine->regs[REG_BP], STACK_TOP - 2);
        EXPECT_EQ(machine->regs[REG_SP], c.sp);
    }
}

}  // namespace
