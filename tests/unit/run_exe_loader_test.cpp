// The .EXE loader: where the load module goes, the relocations, the registers
// a program starts with, the files it refuses; and load_program telling an
// .EXE from a .COM by its signature.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "run/run.h"

namespace {

using namespace vexa;

constexpr uint32_t PSP = uint32_t(PROGRAM_SEGMENT) << 4;
constexpr uint32_t MODULE = uint32_t(EXE_LOAD_SEGMENT) << 4;
constexpr size_t HEADER_PARAGRAPHS_AT = 0x08, MIN_ALLOC_AT = 0x0A, RELOCATION_TABLE_AT = 0x18;

using Image = std::vector<uint8_t>;

void set_word(Image& image, size_t at, uint16_t value) {
    image[at] = uint8_t(value);
    image[at + 1] = uint8_t(value >> 8);
}

uint16_t word_at(const Machine& machine, uint32_t address) {
    return uint16_t(machine.memory[address] | machine.memory[address + 1] << 8);
}

struct Relocation { uint16_t segment, offset; };

// An .EXE file: the header and its relocation table padded to a paragraph,
// the module, then bytes the header does not count.
struct ExeFile {
    Image module;
    std::vector<Relocation> relocations;
    uint16_t cs = 0, ip = 0, ss = 0, sp = 0, min_alloc = 0;
    Image trailing;

    Image build() const {
        size_t header = (28 + 4 * relocations.size() + 15) / 16 * 16;
        size_t total = header + module.size();
        Image image(header, 0);
        image[0] = 'M';
        image[1] = 'Z';
        const uint16_t words[13] = {uint16_t(total % 512), uint16_t((total + 511) / 512), uint16_t(relocations.size()),
                                    uint16_t(header / 16), min_alloc, 0xFFFF, ss, sp, 0, ip, cs, 28, 0};
        for (size_t i = 0; i < 13; ++i) set_word(image, 2 + 2 * i, words[i]);
        for (size_t i = 0; i < relocations.size(); ++i) {
            set_word(image, 28 + 4 * i, relocations[i].offset);
            set_word(image, 30 + 4 * i, relocations[i].segment);
        }
        image.insert(image.end(), module.begin(), module.end());
        image.insert(image.end(), trailing.begin(), trailing.end());
        return image;
    }
};

Image counting_bytes(size_t count) {
    Image bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = uint8_t(i * 7 + 1);
    return bytes;
}

std::unique_ptr<Machine> loaded(const Image& image) {
    auto machine = std::make_unique<Machine>();
    std::string why;
    EXPECT_TRUE(load_program(*machine, image.data(), image.size(), "", &why)) << why;
    return machine;
}

TEST(ExeLoader, StartingRegisters) {
    ExeFile file;
    file.module = counting_bytes(0x80);
    file.cs = 2;
    file.ip = 3;
    file.ss = 7;
    file.sp = 0x100;
    file.min_alloc = 0x10;
    auto machine = loaded(file.build());
    EXPECT_EQ(machine->segs[SEG_CS], 0x1012);
    EXPECT_EQ(machine->ip, 3);
    EXPECT_EQ(machine->segs[SEG_SS], 0x1017);
    EXPECT_EQ(machine->regs[REG_SP], 0x100);
    EXPECT_EQ(machine->segs[SEG_DS], PROGRAM_SEGMENT);
    EXPECT_EQ(machine->segs[SEG_ES], PROGRAM_SEGMENT);
    for (int reg : {REG_AX, REG_BX, REG_CX, REG_DX, REG_SI, REG_DI, REG_BP}) EXPECT_EQ(machine->regs[reg], 0) << reg;
    EXPECT_EQ(machine->flags, 0xF202);
    EXPECT_TRUE(machine->services);
    EXPECT_EQ(machine->ending, ENDING_NONE);
    EXPECT_EQ(machine->limit, DEFAULT_INSTRUCTION_LIMIT);
}

TEST(ExeLoader, SegmentsWrapAt64K) {
    ExeFile file;
    file.cs = 0xF000;
    file.ss = 0xFFF0;
    auto machine = loaded(file.build());
    EXPECT_EQ(machine->segs[SEG_CS], 0x0010);
    EXPECT_EQ(machine->segs[SEG_SS], 0x1000);
}

TEST(ExeLoader, ModuleAfterThePrefixWithoutTheHeader) {
    ExeFile file;
    file.module = counting_bytes(300);
    file.relocations = {{0x20, 0}, {0x20, 2}};  // outside the module: the header grows, the module stays
    auto machine = loaded(file.build());
    for (size_t i = 0; i < file.module.size(); ++i) ASSERT_EQ(machine->memory[MODULE + i], file.module[i]) << i;
    EXPECT_EQ(machine->memory[MODULE + 300], 0);
}

struct RelocationCase {
    const char* what;
    std::vector<Relocation> entries;
    uint32_t at;        // the word's address from the module's start
    uint16_t before;    // as the file has it
    uint16_t after;
};

TEST(ExeLoader, Relocations) {
    const RelocationCase cases[] = {
        {"a word at the start", {{0, 0}}, 0x00, 0x0000, 0x1010},
        {"segment and offset both count", {{2, 4}}, 0x24, 0x0005, 0x1015},
        {"the same place named another way", {{1, 0x14}}, 0x24, 0x0005, 0x1015},
        {"an odd offset", {{0, 0x31}}, 0x31, 0x1234, 0x2244},
        {"the sum wraps at 64K", {{0, 0x10}}, 0x10, 0xF000, 0x0010},
        {"named twice, added twice", {{0, 0x40}, {4, 0}}, 0x40, 0x0001, 0x2021},
        {"in the memory after the module", {{0x10, 0}}, 0x100, 0x0000, 0x1010},
        {"not named, left alone", {{0, 0x50}}, 0x60, 0x0007, 0x0007},
    };
    for (const RelocationCase& c : cases) {
        ExeFile file;
        file.module.assign(0x80, 0);
        if (c.at < file.module.size()) {
            file.module[c.at] = uint8_t(c.before);
            file.module[c.at + 1] = uint8_t(c.before >> 8);
        }
        file.relocations = c.entries;
        file.min_alloc = 0x10;
        auto machine = loaded(file.build());
        EXPECT_EQ(word_at(*machine, MODULE + c.at), c.after) << c.what;
    }
}

// The pages count the header; the module is what they count after it, as far
// as the file goes.
struct LengthCase {
    const char* what;
    uint16_t pages, last_page_bytes;
    size_t in_file;  // module bytes in the file
    size_t loaded;
};

TEST(ExeLoader, ModuleLength) {
    const LengthCase cases[] = {
        {"the whole file", 1, 32 + 100, 100, 100},
        {"a last page of 0 is a whole page", 1, 0, 480, 480},
        {"two pages", 2, 32, 512, 512},
        {"bytes after the counted length are not loaded", 1, 32 + 50, 100, 50},
        {"bytes counted beyond the file are absent", 3, 10, 100, 100},
        {"no pages, no module", 0, 0, 100, 0},
        {"a count within the header", 1, 20, 100, 0},
    };
    for (const LengthCase& c : cases) {
        ExeFile file;
        file.module = counting_bytes(c.in_file);
        Image image = file.build();
        set_word(image, 2, c.last_page_bytes);
        set_word(image, 4, c.pages);
        auto machine = loaded(image);
        size_t ok = 0;
        while (ok < c.in_file && machine->memory[MODULE + ok] == file.module[ok]) ++ok;
        EXPECT_EQ(ok, c.loaded) << c.what;
        EXPECT_EQ(machine->memory[MODULE + c.loaded], 0) << c.what << ": nothing after it";
    }
}

TEST(ExeLoader, LargerThanASegment) {
    ExeFile file;
    file.module = counting_bytes(200000);
    auto machine = loaded(file.build());
    EXPECT_EQ(machine->memory[MODULE + 199999], file.module[199999]);
}

TEST(ExeLoader, MemoryAfterTheModuleReadsZero) {
    auto machine = std::make_unique<Machine>();
    std::memset(machine->memory, 0x5A, sizeof machine->memory);
    ExeFile file;
    file.module = counting_bytes(0x40);
    file.min_alloc = 0x100;
    Image image = file.build();
    ASSERT_TRUE(load_program(*machine, image.data(), image.size(), "", nullptr));
    for (uint32_t i = 0x40; i < 0x40 + 0x1000; ++i) ASSERT_EQ(machine->memory[MODULE + i], 0) << i;
}

// ---- Files that cannot be loaded ----------------------------------------------------

struct RefusalCase {
    const char* what;
    Image image;
    const char* why;  // nullptr: the file loads
};

Image exe_with_word(size_t at, uint16_t value, size_t module_size = 0x40, size_t relocations = 1) {
    ExeFile file;
    file.module = counting_bytes(module_size);
    file.relocations.assign(relocations, {0, 0});
    Image image = file.build();
    set_word(image, at, value);
    return image;
}

// After the 100H paragraphs of the prefix and 4 of the module (from
// 1010H), the memory to A000H.
constexpr uint16_t MIN_ALLOC_FITTING = 0xA000 - 0x1010 - 4;

TEST(ExeLoader, Refusals) {
    Image short_header(27, 0);
    short_header[0] = 'M';
    short_header[1] = 'Z';
    const size_t size = exe_with_word(0, 'M').size();  // a header of 2 paragraphs, the module of 40H bytes
    const RefusalCase cases[] = {
        {"27 bytes", short_header, "has an .EXE header shorter than 28 bytes"},
        {"the signature alone", Image{'M', 'Z'}, "has an .EXE header shorter than 28 bytes"},
        {"a header to the end of the file", exe_with_word(HEADER_PARAGRAPHS_AT, uint16_t(size / 16)), nullptr},
        {"a header past the end", exe_with_word(HEADER_PARAGRAPHS_AT, uint16_t(size / 16 + 1)),
         "has an .EXE header of 112 bytes in a file of 96"},
        {"a table ending at the end", exe_with_word(RELOCATION_TABLE_AT, uint16_t(size - 4)), nullptr},
        {"a table past the end", exe_with_word(RELOCATION_TABLE_AT, uint16_t(size - 3)),
         "has a relocation table beyond the end of the file"},
        {"no relocations, the table anywhere", exe_with_word(RELOCATION_TABLE_AT, 0xFFFF, 0x40, 0), nullptr},
        {"the most memory there is", exe_with_word(MIN_ALLOC_AT, MIN_ALLOC_FITTING), nullptr},
        {"one paragraph more", exe_with_word(MIN_ALLOC_AT, MIN_ALLOC_FITTING + 1),
         "needs 589584 bytes of memory; an .EXE program has at most 589568"},
        {"a module counted beyond the file needs its memory", exe_with_word(4, 0x481, 0x40, 0),
         "needs 589888 bytes of memory; an .EXE program has at most 589568"},
    };
    for (const RefusalCase& c : cases) {
        auto machine = std::make_unique<Machine>();
        machine->memory[0x50000] = 0x5A;
        machine->regs[REG_AX] = 0x1234;
        std::string why;
        bool accepted = load_program(*machine, c.image.data(), c.image.size(), "", &why);
        EXPECT_EQ(accepted, c.why == nullptr) << c.what << ": " << why;
        if (c.why) {
            EXPECT_EQ(why, c.why) << c.what;
            EXPECT_EQ(machine->memory[0x50000], 0x5A) << c.what << ": a refused file leaves the machine alone";
            EXPECT_EQ(machine->regs[REG_AX], 0x1234) << c.what;
        }
    }
}

// ---- .EXE or .COM ------------------------------------------------------------------

struct KindCase {
    const char* what;
    Image image;
    bool exe;
};

TEST(LoadProgram, TheSignatureTellsAnExe) {
    Image zm = exe_with_word(0, 'Z' | 'M' << 8);
    Image mz = exe_with_word(0, 'M' | 'Z' << 8);
    const KindCase cases[] = {
        {"MZ", mz, true},
        {"ZM", zm, true},
        {"M alone", Image{'M'}, false},
        {"MX", Image{'M', 'X', 0xC3}, false},
        {"mz in small letters", Image{'m', 'z', 0xC3}, false},
        {"ZZ", Image{'Z', 'Z', 0xC3}, false},
        {"nothing", Image{}, false},
    };
    for (const KindCase& c : cases) {
        EXPECT_EQ(is_exe_image(c.image.data(), c.image.size()), c.exe) << c.what;
        auto machine = loaded(c.image);
        EXPECT_EQ(machine->segs[SEG_CS], c.exe ? EXE_LOAD_SEGMENT : PROGRAM_SEGMENT) << c.what;
        EXPECT_EQ(machine->ip, c.exe ? 0 : 0x100) << c.what;
    }
}

TEST(LoadProgram, AComTooLarge) {
    Image image(MAX_COM_IMAGE + 1, 0x90);
    auto machine = std::make_unique<Machine>();
    std::string why;
    EXPECT_FALSE(load_program(*machine, image.data(), image.size(), "", &why));
    EXPECT_EQ(why, "is 65279 bytes; a .COM program holds at most 65278");
    image.pop_back();
    EXPECT_TRUE(load_program(*machine, image.data(), image.size(), "", nullptr));
    EXPECT_EQ(machine->memory[PSP + 0x100], 0x90);
}

}  // namespace
