// The DOS and BIOS services called directly, as the processor calls them:
// the interrupt's FLAGS, CS and IP already pushed, registers as the caller set them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "run/run.h"

namespace {

using namespace vexa;

constexpr uint16_t CALLER_IP = 0x0105;
constexpr uint16_t CALLER_FLAGS = 0xF202;
constexpr uint16_t ZF_SET = CALLER_FLAGS | FLAG_ZF;
constexpr uint16_t DATA = 0x0200;  // where a case's bytes are put, at DS:DATA

void collect(void* context, const uint8_t* bytes, size_t count) {
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes), count);
}

std::string repeat(const std::string& text, int times) {
    std::string repeated;
    while (times-- > 0) repeated += text;
    return repeated;
}

uint16_t word_at(const Machine& machine, uint32_t address) {
    return uint16_t(machine.memory[address] | machine.memory[address + 1] << 8);
}

// A loaded machine inside an interrupt, its console kept in strings.
struct Console {
    std::unique_ptr<Machine> machine = std::make_unique<Machine>();
    std::string input;
    std::string output;

    explicit Console(std::string typed = "", uint16_t caller_flags = CALLER_FLAGS) : input(std::move(typed)) {
        load_com_program(*machine, nullptr, 0, "");
        machine->input.bytes = reinterpret_cast<const uint8_t*>(input.data());
        machine->input.length = input.size();
        machine->output = {&output, collect};
        push(caller_flags);
        push(PROGRAM_SEGMENT);
        push(CALLER_IP);
    }
    void push(uint16_t value) {
        Machine& m = *machine;
        m.regs[REG_SP] = uint16_t(m.regs[REG_SP] - 2);
        uint32_t at = physical_address(m.segs[SEG_SS], m.regs[REG_SP]);
        m.memory[at] = uint8_t(value);
        m.memory[at + 1] = uint8_t(value >> 8);
    }
    void put(uint16_t offset, const std::string& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            machine->memory[physical_address(machine->segs[SEG_DS], uint16_t(offset + i))] = uint8_t(bytes[i]);
        }
    }
    std::string take(uint16_t offset, size_t count) const {
        std::string bytes;
        for (size_t i = 0; i < count; ++i) {
            bytes += char(machine->memory[physical_address(machine->segs[SEG_DS], uint16_t(offset + i))]);
        }
        return bytes;
    }
    void call(uint8_t vector, uint16_t ax, uint16_t dx = 0) {
        machine->regs[REG_AX] = ax;
        machine->regs[REG_DX] = dx;
        serve_interrupt(*machine, vector);
    }
    uint16_t returned_flags() const {
        return word_at(*machine, physical_address(machine->segs[SEG_SS], uint16_t(machine->regs[REG_SP] + 4)));
    }
    std::string input_left() const { return input.substr(machine->input.position); }
    uint16_t reg(int which) const { return machine->regs[which]; }
};

// ---- Output ----------------------------------------------------------------------

struct OutputCase {
    const char* what;
    uint8_t vector;
    uint16_t ax, dx;
    std::string data;  // at DS:DATA
    std::string printed;
    uint16_t ax_after;
};

TEST(Services, Output) {
    const OutputCase cases[] = {
        {"02H writes DL and leaves it in AL", 0x21, 0x0200, 'A', "", "A", 0x0241},
        {"02H writes any byte", 0x21, 0x0233, 0x00, "", std::string(1, '\0'), 0x0200},
        {"06H with DL below FFH writes it", 0x21, 0x0600, 'z', "", "z", 0x067A},
        {"09H up to the dollar", 0x21, 0x0900, DATA, "Hi\r\n$junk$", "Hi\r\n", 0x0924},
        {"09H of an empty string", 0x21, 0x0900, DATA, "$", "", 0x0924},
        {"INT 10H 0EH writes AL", 0x10, 0x0E51, 0, "", "Q", 0x0E51},
    };
    for (const OutputCase& c : cases) {
        Console console;
        console.put(DATA, c.data);
        console.call(c.vector, c.ax, c.dx);
        EXPECT_EQ(console.output, c.printed) << c.what;
        EXPECT_EQ(console.reg(REG_AX), c.ax_after) << c.what;
        EXPECT_EQ(console.machine->ending, ENDING_NONE) << c.what;
    }
}

TEST(Services, StringOffsetsWrapInsideTheSegment) {
    Console console;
    console.put(0xFFFE, "ab");
    console.put(0x0000, "c$");
    console.call(0x21, 0x0900, 0xFFFE);
    EXPECT_EQ(console.output, "abc");
}

TEST(Services, StringWithoutDollarEndsTheRun) {
    Console console;
    for (uint32_t offset = 0; offset < 0x10000; ++offset) console.put(uint16_t(offset), "x");
    console.call(0x21, 0x0900, 0x1234);
    EXPECT_EQ(console.output, "");
    EXPECT_EQ(console.machine->ending, ENDING_UNSUPPORTED);
    EXPECT_STREQ(console.machine->message, "INT 21H function 09H found no '$' in the 64 KiB at 1000:1234");
}

TEST(Services, OutputWithoutSinkIsDropped) {
    Console console;
    console.machine->output = {};
    console.call(0x21, 0x0200, 'A');
    EXPECT_EQ(console.reg(REG_AX), 0x0241);
    EXPECT_EQ(console.machine->ending, ENDING_NONE);
}

// ---- Terminations and what is not served -------------------------------------------

struct EndingCase {
    const char* what;
    uint8_t vector;
    uint16_t ax;
    Ending ending;
    int exit_code;
    const char* message;  // for ENDING_UNSUPPORTED
};

TEST(Services, Endings) {
    const EndingCase cases[] = {
        {"INT 20H", 0x20, 0x4C05, ENDING_EXIT, 0, ""},
        {"function 00H", 0x21, 0x0007, ENDING_EXIT, 0, ""},
        {"function 4CH returns AL", 0x21, 0x4C07, ENDING_EXIT, 7, ""},
        {"function 4CH with AL=FFH", 0x21, 0x4CFF, ENDING_EXIT, 255, ""},
        {"an unknown DOS function", 0x21, 0x3D00, ENDING_UNSUPPORTED, 0, "INT 21H function 3DH is not supported"},
        {"function FFH", 0x21, 0xFF00, ENDING_UNSUPPORTED, 0, "INT 21H function FFH is not supported"},
        {"an unknown video function", 0x10, 0x1003, ENDING_UNSUPPORTED, 0, "INT 10H function 10H is not supported"},
        {"an unknown keyboard function", 0x16, 0x1000, ENDING_UNSUPPORTED, 0, "INT 16H function 10H is not supported"},
        {"a vector without services", 0x05, 0x0000, ENDING_UNSUPPORTED, 0, "INT 05H is not supported"},
        {"the single-step vector returns", 0x01, 0x0000, ENDING_NONE, 0, ""},
        {"the breakpoint vector returns", 0x03, 0x0000, ENDING_NONE, 0, ""},
        {"the overflow vector returns", 0x04, 0x0000, ENDING_NONE, 0, ""},
        {"the last vector", 0xFF, 0x0000, ENDING_UNSUPPORTED, 0, "INT FFH is not supported"},
    };
    for (const EndingCase& c : cases) {
        Console console;
        console.call(c.vector, c.ax);
        EXPECT_EQ(console.machine->ending, c.ending) << c.what;
        if (c.ending == ENDING_EXIT) {
            EXPECT_EQ(console.machine->exit_code, c.exit_code) << c.what;
        } else {
            EXPECT_STREQ(console.machine->message, c.message) << c.what;
        }
    }
}

// ---- The screen -------------------------------------------------------------------

// One call of INT 10H, or text written through a console service.
struct ScreenStep {
    uint16_t ax, bx, cx, dx;
    std::string text;  // with ax 0E00H each byte by teletype, with 0900H by DOS as a '$' string
};

ScreenStep go_to(uint8_t row, uint8_t column, uint8_t page = 0) {
    return {0x0200, uint16_t(page << 8), 0, uint16_t(row << 8 | column), ""};
}
ScreenStep teletype(std::string text) { return {0x0E00, 0, 0, 0, std::move(text)}; }
ScreenStep dos_string(std::string text) { return {0x0900, 0, 0, 0, std::move(text)}; }
ScreenStep scroll(uint16_t ax, uint16_t top_left, uint16_t bottom_right) {
    return {ax, 0x0700, top_left, bottom_right, ""};
}
const ScreenStep CLEAR_SCREEN = scroll(0x0600, 0x0000, 0x184F);
const ScreenStep SET_MODE_3 = {0x0003, 0, 0, 0, ""};

void perform(Console& console, const ScreenStep& step) {
    Machine& machine = *console.machine;
    if (step.ax == 0x0E00) {
        for (char c : step.text) console.call(0x10, uint16_t(0x0E00 | uint8_t(c)));
        return;
    }
    if (step.ax == 0x0900) {
        console.put(DATA, step.text + "$");
        console.call(0x21, 0x0900, DATA);
        return;
    }
    machine.regs[REG_BX] = step.bx;
    machine.regs[REG_CX] = step.cx;
    console.call(0x10, step.ax, step.dx);
}

uint16_t cursor_of(Console& console, uint8_t page = 0) {
    console.machine->regs[REG_BX] = uint16_t(page << 8);
    console.call(0x10, 0x0300);
    return console.reg(REG_DX);
}

// What the steps write, and where the cursor of page 0 is then (DH row, DL column).
struct ScreenCase {
    const char* what;
    std::vector<ScreenStep> steps;
    std::string printed;
    uint16_t cursor;
};

TEST(Services, ScreenThroughTheStream) {
    const std::string wide(80, 'w');
    const ScreenCase cases[] = {
        {"printable characters move right", {teletype("abc")}, "abc", 0x0003},
        {"CR to column 0", {teletype("ab\r")}, "ab\r", 0x0000},
        {"LF down, the column kept", {teletype("ab\n")}, "ab\n", 0x0102},
        {"BS back one", {teletype("ab\b")}, "ab\b", 0x0001},
        {"BS stops at column 0", {teletype("\b\b")}, "\b\b", 0x0000},
        {"BEL stays", {teletype("\a")}, "\a", 0x0000},
        {"a tab to the next multiple of 8", {teletype("a\t\tb")}, "a\t\tb", 0x0011},
        {"the 80th character wraps", {teletype(wide)}, wide, 0x0100},
        {"the bottom row scrolls", {teletype(std::string(30, '\n'))}, std::string(30, '\n'), 0x1800},
        {"DOS output moves it too", {dos_string("one\r\ntwo")}, "one\r\ntwo", 0x0103},
        {"down: line ends, then spaces", {go_to(2, 5)}, "\r\n\r\n     ", 0x0205},
        {"right on the row: spaces", {teletype("ab"), go_to(0, 5), teletype("c")}, "ab   c", 0x0006},
        {"back on the row writes nothing", {teletype("abcd"), go_to(0, 1), teletype("x")}, "abcdx", 0x0002},
        {"up writes nothing", {teletype("a\r\n\r\n"), go_to(0, 3)}, "a\r\n\r\n", 0x0003},
        {"forward again counts from the written end",
         {teletype("abcdef"), go_to(0, 2), go_to(0, 4), go_to(0, 8)}, "abcdef  ", 0x0008},
        {"off the screen: as far as the screen goes", {go_to(30, 90)},
         repeat("\r\n", 24) + std::string(79, ' '), 0x1E5A},
        {"a page not shown writes nothing", {go_to(3, 3, 1)}, "", 0x0000},
        {"a clear starts a fresh line", {teletype("ab"), CLEAR_SCREEN, go_to(1, 3)}, "ab\r\n\r\n   ", 0x0103},
        {"a clear after a line end adds none", {teletype("ab\r\n"), CLEAR_SCREEN}, "ab\r\n", 0x0100},
        {"a clear of more lines than the screen has",
         {teletype("ab"), scroll(0x0719, 0x0000, 0x184F)}, "ab\r\n", 0x0002},
        {"a part of the screen cleared", {teletype("ab"), scroll(0x0600, 0x0101, 0x0505), go_to(1, 3)},
         "ab\r\n   ", 0x0103},
        {"a scroll by a line", {teletype("ab"), scroll(0x0601, 0x0000, 0x184F), go_to(0, 3)}, "ab ", 0x0003},
        {"a mode set: home, a fresh line", {teletype("ab"), SET_MODE_3, go_to(1, 0)},
         "ab\r\n\r\n", 0x0100},
    };
    for (const ScreenCase& c : cases) {
        Console console;
        for (const ScreenStep& step : c.steps) perform(console, step);
        EXPECT_EQ(console.output, c.printed) << c.what;
        EXPECT_EQ(cursor_of(console), c.cursor) << c.what;
        EXPECT_EQ(console.machine->ending, ENDING_NONE) << c.what;
    }
}

TEST(Services, CursorShapeAndPages) {
    Console console;
    console.call(0x10, 0x0300);
    EXPECT_EQ(console.reg(REG_CX), 0x0607) << "the shape a program starts with";
    console.machine->regs[REG_CX] = 0x2607;
    console.call(0x10, 0x0100);
    perform(console, go_to(4, 9, 1));
    EXPECT_EQ(cursor_of(console, 1), 0x0409);
    EXPECT_EQ(console.reg(REG_CX), 0x2607);
    EXPECT_EQ(cursor_of(console, 0), 0x0000);
    perform(console, SET_MODE_3);
    EXPECT_EQ(cursor_of(console, 1), 0x0000) << "a mode set homes every page";
    EXPECT_EQ(console.reg(REG_CX), 0x0607);
}

TEST(Services, VideoMode) {
    Console console;
    console.machine->regs[REG_BX] = 0x1234;
    console.call(0x10, 0x0F00);
    EXPECT_EQ(console.reg(REG_AX), 0x5003) << "80 columns, mode 3";
    EXPECT_EQ(console.reg(REG_BX), 0x0034) << "page 0";
}

// ---- Keys ------------------------------------------------------------------------

// Reads keys with one function until the input runs out; each key's AL.
struct KeysCase {
    const char* what;
    uint16_t ax;
    std::string input;
    std::string keys;
    std::string echo;
};

TEST(Services, KeysAndLineEnds) {
    const KeysCase cases[] = {
        {"08H: LF, CR LF and a lone CR are each one Enter", 0x0800, "a\r\nb\nc\rd", "a\rb\rc\rd", ""},
        {"07H: line ends in a row", 0x0700, "\r\r\n\n\n\r", "\r\r\r\r\r", ""},
        {"07H: LF CR is two line ends", 0x0700, "\n\r", "\r\r", ""},
        {"01H echoes each key, Enter as CR", 0x0100, "x\ny", "x\ry", "x\ry"},
        {"01H: bytes above 127 pass", 0x0100, "\xE9", "\xE9", "\xE9"},
        {"08H: a zero byte is a key", 0x0800, std::string("\0q", 2), std::string("\0q", 2), ""},
    };
    for (const KeysCase& c : cases) {
        Console console(c.input);
        std::string keys;
        for (size_t calls = 0; calls <= c.input.size(); ++calls) {
            console.call(0x21, c.ax);
            if (console.machine->ending != ENDING_NONE) break;
            keys += char(console.reg(REG_AX));
        }
        EXPECT_EQ(keys, c.keys) << c.what;
        EXPECT_EQ(console.output, c.echo) << c.what;
        EXPECT_EQ(console.machine->ending, ENDING_NO_INPUT) << c.what;
        EXPECT_STREQ(describe_ending(*console.machine), "the program waits for input and none is left");
    }
}

struct KeystrokeCase {
    const char* what;
    std::string input;
    uint16_t ax_after;
};

TEST(Services, KeystrokeScanCodes) {
    const KeystrokeCase cases[] = {
        {"a letter", "a", 0x1E61},        {"its capital", "A", 0x1E41},     {"a digit", "1", 0x0231},
        {"zero", "0", 0x0B30},            {"shifted 1", "!", 0x0221},       {"the last letter", "z", 0x2C7A},
        {"p", "p", 0x1970},               {"m", "m", 0x326D},               {"space", " ", 0x3920},
        {"Enter from LF", "\n", 0x1C0D},  {"Enter from CR LF", "\r\n", 0x1C0D}, {"Escape", "\x1B", 0x011B},
        {"Tab", "\t", 0x0F09},            {"Backspace", "\b", 0x0E08},      {"Ctrl+C", "\x03", 0x2E03},
        {"slash", "/", 0x352F},           {"question mark", "?", 0x353F},   {"backslash", "\\", 0x2B5C},
        {"quote", "'", 0x2827},           {"backquote", "`", 0x2960},       {"tilde", "~", 0x297E},
        {"minus", "-", 0x0C2D},           {"plus", "+", 0x0D2B},            {"brace", "}", 0x1B7D},
        {"no key of the keyboard", "\xE9", 0x00E9}, {"DEL", "\x7F", 0x007F},
    };
    for (const KeystrokeCase& c : cases) {
        Console console(c.input);
        console.call(0x16, 0x0000);
        EXPECT_EQ(console.reg(REG_AX), c.ax_after) << c.what;
        EXPECT_EQ(console.input_left(), "") << c.what;
        EXPECT_EQ(console.output, "") << c.what;
    }
}

TEST(Services, KeystrokeWithNoInputLeftEndsTheRun) {
    Console console("");
    console.call(0x16, 0x0000);
    EXPECT_EQ(console.machine->ending, ENDING_NO_INPUT);
}

// Checks for a waiting key: what they answer and how much input they take.
struct StatusCase {
    const char* what;
    uint8_t vector;
    uint16_t ax, dx;
    std::string input;
    uint16_t caller_flags;
    uint16_t ax_after;
    bool zf_after;
    std::string left;
};

TEST(Services, WaitingInput) {
    const StatusCase cases[] = {
        {"0BH with none", 0x21, 0x0B55, 0, "", CALLER_FLAGS, 0x0B00, false, ""},
        {"0BH with a key leaves it", 0x21, 0x0B00, 0, "q", CALLER_FLAGS, 0x0BFF, false, "q"},
        {"06H FFH with none", 0x21, 0x0655, 0xFF, "", CALLER_FLAGS, 0x0600, true, ""},
        {"06H FFH takes a key", 0x21, 0x0600, 0xFF, "kl", ZF_SET, 0x066B, false, "l"},
        {"06H FFH takes CR LF as one", 0x21, 0x0600, 0xFF, "\r\nx", ZF_SET, 0x060D, false, "x"},
        {"16H 01H with none", 0x16, 0x0100, 0, "", CALLER_FLAGS, 0x0100, true, ""},
        {"16H 01H leaves the key", 0x16, 0x0100, 0, "a", ZF_SET, 0x1E61, false, "a"},
        {"16H 01H shows Enter", 0x16, 0x0100, 0, "\r\n", ZF_SET, 0x1C0D, false, "\r\n"},
    };
    for (const StatusCase& c : cases) {
        Console console(c.input, c.caller_flags);
        console.call(c.vector, c.ax, c.dx);
        EXPECT_EQ(console.reg(REG_AX), c.ax_after) << c.what;
        EXPECT_EQ((console.returned_flags() & FLAG_ZF) != 0, c.zf_after) << c.what;
        EXPECT_EQ(console.returned_flags() & ~FLAG_ZF, CALLER_FLAGS) << c.what << ": other flags kept";
        EXPECT_EQ(console.input_left(), c.left) << c.what;
        EXPECT_EQ(console.machine->ending, ENDING_NONE) << c.what;
        EXPECT_EQ(console.output, "") << c.what;
    }
}

// ---- Buffered line input ------------------------------------------------------------

struct LineCase {
    const char* what;
    uint8_t room;          // byte 0 of the buffer
    std::string input;
    std::string stored;    // from byte 1: the count, the characters, the CR
    std::string echo;
    std::string left;
};

TEST(Services, LineInput) {
    const LineCase cases[] = {
        {"a line", 10, "hello\nnext", "\x05hello\r", "hello\r", "next"},
        {"CR LF ends it", 10, "hi\r\nnext", "\x02hi\r", "hi\r", "next"},
        {"a lone CR ends it", 3, "ab\rdef", "\x02" "ab\r", "ab\r", "def"},
        {"keys beyond the room are dropped", 4, "abcdef\r\nX", "\x03" "abc\r", "abc\r", "X"},
        {"room for the CR only", 1, "abc\n", std::string("\0\r", 2), "\r", ""},
        {"an empty line", 10, "\nz", std::string("\0\r", 2), "\r", "z"},
        {"the input's end ends the line", 10, "tail", "\x04tail\r", "tail\r", ""},
        {"Backspace takes a key back", 10, "ab\bc\n", "\x02" "ac\r", "ab\b \bc\r", ""},
        {"Backspace at the start", 10, "\b\ba\n", "\x01" "a\r", "a\r", ""},
        {"a full buffer takes Backspace", 3, "abc\bd\n", "\x02" "ad\r", "ab\b \bd\r", ""},
    };
    for (const LineCase& c : cases) {
        Console console(c.input);
        console.put(DATA, std::string(1, char(c.room)) + std::string(12, '#'));
        console.call(0x21, 0x0A00, DATA);
        EXPECT_EQ(console.take(DATA + 1, c.stored.size()), c.stored) << c.what;
        EXPECT_EQ(console.take(DATA, 1), std::string(1, char(c.room))) << c.what << ": byte 0 kept";
        EXPECT_EQ(console.output, c.echo) << c.what;
        EXPECT_EQ(console.input_left(), c.left) << c.what;
        EXPECT_EQ(console.machine->ending, ENDING_NONE) << c.what;
    }
}

TEST(Services, LineInputWithNoInputLeft) {
    Console console("");
    console.put(DATA, "\x0A#");
    console.call(0x21, 0x0A00, DATA);
    EXPECT_EQ(console.machine->ending, ENDING_NO_INPUT);
    EXPECT_EQ(console.take(DATA + 1, 1), "#");
}

TEST(Services, LineInputWithNoRoomReadsNothing) {
    Console console("abc\n");
    console.put(DATA, std::string("\0#", 2));
    console.call(0x21, 0x0A00, DATA);
    EXPECT_EQ(console.take(DATA, 2), std::string("\0#", 2));
    EXPECT_EQ(console.input_left(), "abc\n");
}

// ---- Input that arrives in pieces -------------------------------------------------

struct Lines {
    std::vector<std::string> pending;
    std::string buffer;
    int refills = 0;
};

bool next_line(InputSource& input) {
    auto* lines = static_cast<Lines*>(input.context);
    ++lines->refills;
    if (lines->pending.empty()) return false;
    lines->buffer = lines->pending.front();
    lines->pending.erase(lines->pending.begin());
    input.bytes = reinterpret_cast<const uint8_t*>(lines->buffer.data());
    input.length = lines->buffer.size();
    input.position = 0;
    return true;
}

Lines& feed_lines(Console& console, Lines& lines) {
    console.machine->input = {};
    console.machine->input.context = &lines;
    console.machine->input.refill = next_line;
    return lines;
}

TEST(Services, LineInputAcrossRefills) {
    Console console;
    Lines lines{{"ab", "", "c\n", "later\n"}, "", 0};
    feed_lines(console, lines);
    console.put(DATA, "\x0A");
    console.call(0x21, 0x0A00, DATA);
    EXPECT_EQ(console.take(DATA + 1, 5), "\x03" "abc\r");
    EXPECT_EQ(lines.pending.size(), 1u) << "no line read beyond the one asked for";
}

TEST(Services, WaitingInputAsksForMore) {
    Console console;
    Lines lines{{"k\n"}, "", 0};
    feed_lines(console, lines);
    console.call(0x21, 0x0B00);
    EXPECT_EQ(console.reg(REG_AX) & 0xFF, 0xFF);
    console.call(0x21, 0x0800);
    EXPECT_EQ(console.reg(REG_AX) & 0xFF, 'k');
}

TEST(Services, InputEndsWhenRefillAnswersNo) {
    Console console;
    Lines lines{{"x"}, "", 0};
    feed_lines(console, lines);
    console.call(0x21, 0x0100);
    console.call(0x21, 0x0100);
    EXPECT_EQ(console.output, "x");
    EXPECT_EQ(console.machine->ending, ENDING_NO_INPUT);
    EXPECT_EQ(lines.refills, 2);
}

// ---- Date, time, version, vectors --------------------------------------------------

struct RegistersCase {
    const char* what;
    uint16_t ax;
    uint16_t ax_after, bx_after, cx_after, dx_after;
};

TEST(Services, FixedAnswers) {
    const RegistersCase cases[] = {
        {"date: Monday 1 January 1990", 0x2A00, 0x2A01, 0xBBBB, 1990, 0x0101},
        {"time: 12:00:00.00", 0x2C00, 0x2C00, 0xBBBB, 0x0C00, 0x0000},
        {"version 5.0", 0x3000, 0x0005, 0x0000, 0x0000, 0xDDDD},
    };
    for (const RegistersCase& c : cases) {
        Console console;
        console.machine->regs[REG_BX] = 0xBBBB;
        console.machine->regs[REG_CX] = 0xCCCC;
        console.call(0x21, c.ax, 0xDDDD);
        EXPECT_EQ(console.reg(REG_AX), c.ax_after) << c.what;
        EXPECT_EQ(console.reg(REG_BX), c.bx_after) << c.what;
        EXPECT_EQ(console.reg(REG_CX), c.cx_after) << c.what;
        EXPECT_EQ(console.reg(REG_DX), c.dx_after) << c.what;
    }
}

struct VectorCase {
    uint8_t vector;
    uint16_t segment, offset;
};

TEST(Services, DefaultVectors) {
    const VectorCase cases[] = {{0x00, BIOS_SEGMENT, 0x0000}, {0x21, BIOS_SEGMENT, 0x0042},
                                {0x16, BIOS_SEGMENT, 0x002C}, {0xFF, BIOS_SEGMENT, 0x01FE}};
    for (const VectorCase& c : cases) {
        Console console;
        console.call(0x21, uint16_t(0x3500 | c.vector));
        EXPECT_EQ(console.machine->segs[SEG_ES], c.segment) << int(c.vector);
        EXPECT_EQ(console.reg(REG_BX), c.offset) << int(c.vector);
    }
}

TEST(Services, SetVectorThenGetIt) {
    Console console;
    console.machine->segs[SEG_DS] = 0x2345;
    console.call(0x21, 0x2521, 0x6789);
    EXPECT_EQ(word_at(*console.machine, 0x84), 0x6789);
    EXPECT_EQ(word_at(*console.machine, 0x86), 0x2345);
    EXPECT_EQ(word_at(*console.machine, 0x80), 0x0040) << "the vector before is kept";
    console.machine->segs[SEG_DS] = PROGRAM_SEGMENT;
    console.call(0x21, 0x3521);
    EXPECT_EQ(console.machine->segs[SEG_ES], 0x2345);
    EXPECT_EQ(console.reg(REG_BX), 0x6789);
}

// ---- Divide error ----------------------------------------------------------------------

struct DivideCase {
    const char* what;
    std::string code;  // at CS:0100; the pushed IP is the address after it
    const char* message;
};

TEST(Services, DivideErrorNamesTheInstruction) {
    const DivideCase cases[] = {
        {"DIV BL", "\xF6\xF3", "divide error at 1000:0100: division by zero or a quotient too large"},
        {"IDIV CX", "\xF7\xF9", "divide error at 1000:0100: division by zero or a quotient too large"},
        {"DIV WORD PTR [1234H]", "\xF7\x36\x34\x12",
         "divide error at 1000:0100: division by zero or a quotient too large"},
        {"IDIV WORD PTR [BX+5]", "\xF7\x7F\x05", "divide error at 1000:0100: division by zero or a quotient too large"},
        {"DIV BYTE PTR [BX+SI+1000H]", std::string("\xF6\xB0\x00\x10", 4),
         "divide error at 1000:0100: division by zero or a quotient too large"},
        {"after a prefix", "\x26\xF6\x37", "divide error at 1000:0101: division by zero or a quotient too large"},
        {"AAM 0", std::string("\xD4\x00", 2), "divide error at 1000:0100: division by zero or a quotient too large"},
        {"INT 0", std::string("\xCD\x00", 2), "divide error (INT 00H) returning to 1000:0102"},
        {"MUL BX is no divide", "\xF7\xE3", "divide error (INT 00H) returning to 1000:0102"},
    };
    for (const DivideCase& c : cases) {
        Console console;
        console.put(0x0100, c.code);
        console.machine->regs[REG_SP] = uint16_t(console.machine->regs[REG_SP] + 6);
        console.push(CALLER_FLAGS);
        console.push(PROGRAM_SEGMENT);
        console.push(uint16_t(0x0100 + c.code.size()));
        serve_interrupt(*console.machine, 0);
        EXPECT_EQ(console.machine->ending, ENDING_DIVIDE_ERROR) << c.what;
        EXPECT_STREQ(console.machine->message, c.message) << c.what;
        EXPECT_STREQ(describe_ending(*console.machine), c.message) << c.what;
    }
}

}  // namespace
