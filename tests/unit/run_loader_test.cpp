// The .COM loader: the vector table, the program segment prefix, the image
// and the registers a program starts with; and the texts of the endings.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "run/run.h"

namespace {

using namespace vexa;

constexpr uint32_t PSP = uint32_t(PROGRAM_SEGMENT) << 4;

uint16_t word_at(const Machine& machine, uint32_t address) {
    return uint16_t(machine.memory[address] | machine.memory[address + 1] << 8);
}

std::string bytes_at(const Machine& machine, uint32_t address, size_t count) {
    return std::string(reinterpret_cast<const char*>(&machine.memory[address]), count);
}

std::unique_ptr<Machine> loaded(const std::string& image, const char* tail) {
    auto machine = std::make_unique<Machine>();
    EXPECT_TRUE(load_com_program(*machine, reinterpret_cast<const uint8_t*>(image.data()), image.size(), tail));
    return machine;
}

TEST(Loader, StartingRegisters) {
    auto machine = loaded("\x90\xC3", "");
    for (int seg : {SEG_CS, SEG_DS, SEG_ES, SEG_SS}) EXPECT_EQ(machine->segs[seg], PROGRAM_SEGMENT) << seg;
    const uint16_t expected_regs[8] = {0, 0, 0, 0, 0xFFFE, 0, 0, 0};
    for (int reg = 0; reg < 8; ++reg) EXPECT_EQ(machine->regs[reg], expected_regs[reg]) << reg;
    EXPECT_EQ(machine->ip, 0x0100);
    EXPECT_EQ(machine->flags, 0xF202);
    EXPECT_TRUE(machine->services);
    EXPECT_EQ(machine->ending, ENDING_NONE);
    EXPECT_EQ(machine->executed, 0u);
    EXPECT_EQ(machine->limit, DEFAULT_INSTRUCTION_LIMIT);
}

TEST(Loader, ImageAndStack) {
    auto machine = loaded("\xB4\x4C\xCD\x21", "");
    EXPECT_EQ(bytes_at(*machine, PSP + 0x100, 5), std::string("\xB4\x4C\xCD\x21\0", 5));
    EXPECT_EQ(word_at(*machine, PSP + 0xFFFE), 0) << "a RET reaches offset 0";
}

TEST(Loader, ProgramSegmentPrefix) {
    auto machine = loaded("\xC3", " hello");
    EXPECT_EQ(bytes_at(*machine, PSP, 2), "\xCD\x20") << "INT 20H at offset 0";
    EXPECT_EQ(word_at(*machine, PSP + 2), 0xA000) << "the top of memory";
    EXPECT_EQ(bytes_at(*machine, PSP + 0x80, 8), "\x06 hello\r");
}

struct TailCase {
    const char* what;
    std::string tail;
    std::string stored;  // from 80H: the length, the text, the CR
};

TEST(Loader, CommandTail) {
    const TailCase cases[] = {
        {"empty", "", std::string("\0\r", 2)},
        {"one word", " A.TXT", "\x06 A.TXT\r"},
        {"the longest", std::string(126, 'x'), "\x7E" + std::string(126, 'x') + "\r"},
        {"longer is cut", std::string(130, 'y'), "\x7E" + std::string(126, 'y') + "\r"},
    };
    for (const TailCase& c : cases) {
        auto machine = loaded("\xC3", c.tail.c_str());
        EXPECT_EQ(bytes_at(*machine, PSP + 0x80, c.stored.size()), c.stored) << c.what;
        EXPECT_EQ(machine->memory[PSP + 0x100], 0xC3) << c.what << ": the image is untouched";
    }
    auto machine = std::make_unique<Machine>();
    ASSERT_TRUE(load_com_program(*machine, nullptr, 0, nullptr));
    EXPECT_EQ(bytes_at(*machine, PSP + 0x80, 2), std::string("\0\r", 2)) << "no tail at all";
}

TEST(Loader, EveryVectorLeadsToItsTrap) {
    auto machine = loaded("\xC3", "");
    for (uint32_t vector = 0; vector < 256; ++vector) {
        uint16_t offset = word_at(*machine, vector * 4), segment = word_at(*machine, vector * 4 + 2);
        ASSERT_EQ(segment, BIOS_SEGMENT) << vector;
        ASSERT_EQ(offset, vector * 2) << vector;
        uint32_t trap = physical_address(segment, offset);
        ASSERT_EQ(machine->memory[trap], SERVICE_TRAP) << vector;
        ASSERT_EQ(machine->memory[trap + 1], vector) << vector;
    }
}

TEST(Loader, SizeLimit) {
    std::vector<uint8_t> image(MAX_COM_IMAGE, 0xAA);
    auto machine = std::make_unique<Machine>();
    ASSERT_TRUE(load_com_program(*machine, image.data(), image.size(), ""));
    EXPECT_EQ(machine->memory[PSP + 0xFFFD], 0xAA) << "the last byte of the largest image";
    EXPECT_EQ(word_at(*machine, PSP + 0xFFFE), 0) << "then the stack word";

    image.push_back(0xAA);
    machine->memory[0x50000] = 0x5A;
    machine->regs[REG_AX] = 0x1234;
    EXPECT_FALSE(load_com_program(*machine, image.data(), image.size(), ""));
    EXPECT_EQ(machine->memory[0x50000], 0x5A) << "a refused image leaves the machine alone";
    EXPECT_EQ(machine->regs[REG_AX], 0x1234);
}

TEST(Loader, EachLoadStartsAfresh) {
    auto machine = loaded("\xC3", "");
    machine->memory[0x50000] = 0x5A;
    machine->ending = ENDING_EXIT;
    machine->exit_code = 3;
    machine->executed = 99;
    machine->regs[REG_BX] = 7;
    machine->input.length = 4;
    machine->memory[PSP + 0x100 + 1] = 0x77;
    ASSERT_TRUE(load_com_program(*machine, reinterpret_cast<const uint8_t*>("\x90"), 1, ""));
    EXPECT_EQ(machine->memory[0x50000], 0);
    EXPECT_EQ(machine->memory[PSP + 0x101], 0) << "nothing of the program before";
    EXPECT_EQ(machine->ending, ENDING_NONE);
    EXPECT_EQ(machine->executed, 0u);
    EXPECT_EQ(machine->regs[REG_BX], 0);
    EXPECT_EQ(machine->input.length, 0u);
}

// ---- Endings ---------------------------------------------------------------------

struct EndingText {
    Ending ending;
    int exit_code;
    uint64_t limit;
    const char* message;
    const char* text;
};

TEST(DescribeEnding, Texts) {
    const EndingText cases[] = {
        {ENDING_EXIT, 0, 0, "", "the program exited with code 0"},
        {ENDING_EXIT, 7, 0, "", "the program exited with code 7"},
        {ENDING_EXIT, 255, 0, "", "the program exited with code 255"},
        {ENDING_LIMIT, 0, DEFAULT_INSTRUCTION_LIMIT, "", "the instruction limit of 100000000 was reached"},
        {ENDING_LIMIT, 0, 5, "", "the instruction limit of 5 was reached"},
        {ENDING_NO_INPUT, 0, 0, "", "the program waits for input and none is left"},
        {ENDING_UNSUPPORTED, 0, 0, "INT 21H function 3DH is not supported", "INT 21H function 3DH is not supported"},
        {ENDING_DIVIDE_ERROR, 0, 0, "divide error at 1000:0100: x", "divide error at 1000:0100: x"},
    };
    for (const EndingText& c : cases) {
        auto machine = loaded("", "");
        machine->ending = c.ending;
        machine->exit_code = c.exit_code;
        machine->limit = c.limit;
        std::snprintf(machine->message, sizeof machine->message, "%s", c.message);
        EXPECT_STREQ(describe_ending(*machine), c.text);
    }
}

}  // namespace
