// The DOS and BIOS services behind the default interrupt vectors: console
// output and input, the text screen's cursor, termination, the date, time and
// version, the vector table.
#include <algorithm>
#include <array>
#include <iterator>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "isa/forms.h"
#include "run/run.h"

namespace vexa {
namespace {

// ---- Registers and the caller's flags ------------------------------------------

uint8_t low_byte(const Machine& machine, int reg) { return uint8_t(machine.regs[reg]); }
uint8_t high_byte(const Machine& machine, int reg) { return uint8_t(machine.regs[reg] >> 8); }

void set_low_byte(Machine& machine, int reg, uint8_t value) {
    machine.regs[reg] = uint16_t((machine.regs[reg] & 0xFF00) | value);
}

uint8_t read_byte(const Machine& machine, uint16_t segment, uint16_t offset) {
    return machine.memory[physical_address(segment, offset)];
}

uint16_t read_word(const Machine& machine, uint16_t segment, uint16_t offset) {
    return uint16_t(read_byte(machine, segment, offset) |
                    read_byte(machine, segment, uint16_t(offset + 1)) << 8);
}

void write_word(Machine& machine, uint16_t segment, uint16_t offset, uint16_t value) {
    machine.memory[physical_address(segment, offset)] = uint8_t(value);
    machine.memory[physical_address(segment, uint16_t(offset + 1))] = uint8_t(value >> 8);
}

// The interrupt pushed FLAGS, CS and IP; IRET pops the FLAGS word back, so a
// flag the service answers is set there.
constexpr uint16_t STACKED_IP = 0, STACKED_CS = 2, STACKED_FLAGS = 4;

uint16_t stacked_word(const Machine& machine, uint16_t which) {
    return read_word(machine, machine.segs[SEG_SS], uint16_t(machine.regs[REG_SP] + which));
}

void set_returned_flag(Machine& machine, uint16_t flag, bool on) {
    uint16_t flags = stacked_word(machine, STACKED_FLAGS);
    flags = on ? uint16_t(flags | flag) : uint16_t(flags & ~flag);
    write_word(machine, machine.segs[SEG_SS], uint16_t(machine.regs[REG_SP] + STACKED_FLAGS), flags);
}

__attribute__((format(printf, 3, 4)))
void end_run(Machine& machine, Ending ending, const char* format, ...) {
    machine.ending = ending;
    va_list args;
    va_start(args, format);
    std::vsnprintf(machine.message, sizeof machine.message, format, args);
    va_end(args);
}

// ---- The screen, followed through the output stream -------------------------------
// Each byte written moves the cursor of the shown page as the BIOS teletype
// moves it, and the written end the same way; a cursor set back from that
// end leaves the two apart.

constexpr uint8_t SHOWN_PAGE = 0;
constexpr uint8_t LAST_ROW = SCREEN_ROWS - 1, LAST_COLUMN = SCREEN_COLUMNS - 1;
constexpr int TAB_WIDTH = 8;  // as a terminal shows the tab the stream carries

void line_feed(ScreenPosition& at) {
    if (at.row < LAST_ROW) ++at.row;  // the bottom row scrolls the screen up
}

void advance(ScreenPosition& at, uint8_t byte) {
    int column = at.column;
    switch (byte) {
    case '\r': at.column = 0; return;
    case '\n': line_feed(at); return;
    case '\b': if (column) --at.column; return;
    case '\a': return;
    case '\t': column = (column / TAB_WIDTH + 1) * TAB_WIDTH; break;
    default: ++column; break;
    }
    if (column >= SCREEN_COLUMNS) {
        column = 0;
        line_feed(at);
    }
    at.column = uint8_t(column);
}

// ---- Console output --------------------------------------------------------------

void send_output(Machine& machine, const uint8_t* bytes, size_t count) {
    if (machine.output.write && count) machine.output.write(machine.output.context, bytes, count);
}

void write_output(Machine& machine, const uint8_t* bytes, size_t count) {
    Screen& screen = machine.screen;
    for (size_t i = 0; i < count; ++i) {
        advance(screen.cursors[SHOWN_PAGE], bytes[i]);
        advance(screen.written_end, bytes[i]);
    }
    send_output(machine, bytes, count);
}

void write_char(Machine& machine, uint8_t byte) { write_output(machine, &byte, 1); }

// ---- Console input ---------------------------------------------------------------
// A line end of the input, LF, CR LF or a lone CR, reads as the one key Enter.

constexpr uint8_t KEY_ENTER = 0x0D;
constexpr uint8_t KEY_BACKSPACE = 0x08;
constexpr int NO_KEY = -1;

// Whether a byte is left, asking the source for more when it has run out.
bool input_left(InputSource& input) {
    while (input.position >= input.length) {
        if (!input.refill || !input.refill(input)) return false;
    }
    return true;
}

int peek_key(Machine& machine) {
    InputSource& input = machine.input;
    if (!input_left(input)) return NO_KEY;
    uint8_t byte = input.bytes[input.position];
    return byte == '\n' ? KEY_ENTER : byte;
}

// The LF of a CR LF pair is looked for only among the bytes already there:
// asking for more would wait for a line the program has not asked for.
int take_key(Machine& machine) {
    int key = peek_key(machine);
    if (key == NO_KEY) return NO_KEY;
    InputSource& input = machine.input;
    uint8_t byte = input.bytes[input.position++];
    if (byte == '\r' && input.position < input.length && input.bytes[input.position] == '\n') {
        ++input.position;
    }
    return key;
}

// A read that must wait for a key; with none left the run ends.
int wait_for_key(Machine& machine) {
    int key = take_key(machine);
    if (key == NO_KEY) {
        end_run(machine, ENDING_NO_INPUT, "the program waits for input and none is left");
    }
    return key;
}

// The scan code a PC keyboard gives with each character, keyed by the
// character: the keys of the main block, rows as they lie, plain and shifted.
struct KeyRow { const char* characters; uint8_t first_scan_code; };
constexpr KeyRow key_rows[] = {
    {"1234567890-=", 0x02}, {"!@#$%^&*()_+", 0x02},
    {"qwertyuiop[]", 0x10}, {"QWERTYUIOP{}", 0x10},
    {"asdfghjkl;'`", 0x1E}, {"ASDFGHJKL:\"~", 0x1E},
    {"\\zxcvbnm,./", 0x2B}, {"|ZXCVBNM<>?", 0x2B},
    {" ", 0x39},
};
struct KeyCode { uint8_t character; uint8_t scan_code; };
constexpr KeyCode control_keys[] = {
    {0x1B, 0x01}, {KEY_BACKSPACE, 0x0E}, {'\t', 0x0F}, {KEY_ENTER, 0x1C},
};

constexpr std::array<uint8_t, 128> build_scan_codes() {
    std::array<uint8_t, 128> codes{};
    for (const KeyRow& row : key_rows) {
        for (int i = 0; row.characters[i]; ++i) codes[uint8_t(row.characters[i])] = uint8_t(row.first_scan_code + i);
    }
    for (int letter = 'A'; letter <= 'Z'; ++letter) codes[letter - '@'] = codes[letter];  // Ctrl+letter
    for (const KeyCode& key : control_keys) codes[key.character] = key.scan_code;
    return codes;
}
constexpr std::array<uint8_t, 128> scan_codes = build_scan_codes();

uint16_t key_word(int key) {
    uint8_t scan = key < 128 ? scan_codes[key] : 0;
    return uint16_t(scan << 8 | key);
}

// ---- INT 21H ---------------------------------------------------------------------

void terminate_with_zero(Machine& machine) {
    machine.ending = ENDING_EXIT;
    machine.exit_code = 0;
}

void terminate_with_code(Machine& machine) {
    machine.ending = ENDING_EXIT;
    machine.exit_code = low_byte(machine, REG_AX);
}

void read_char_with_echo(Machine& machine) {
    int key = wait_for_key(machine);
    if (key == NO_KEY) return;
    write_char(machine, uint8_t(key));
    set_low_byte(machine, REG_AX, uint8_t(key));
}

void read_char_without_echo(Machine& machine) {
    int key = wait_for_key(machine);
    if (key != NO_KEY) set_low_byte(machine, REG_AX, uint8_t(key));
}

void write_dl(Machine& machine) {
    uint8_t character = low_byte(machine, REG_DX);
    write_char(machine, character);
    set_low_byte(machine, REG_AX, character);
}

// DL=FFH asks for a key without waiting; any other DL is written.
void direct_console(Machine& machine) {
    if (low_byte(machine, REG_DX) != 0xFF) {
        write_dl(machine);
        return;
    }
    int key = take_key(machine);
    set_returned_flag(machine, FLAG_ZF, key == NO_KEY);
    set_low_byte(machine, REG_AX, key == NO_KEY ? 0 : uint8_t(key));
}

// The string at DS:DX up to '$', its offset wrapping inside the segment.
void write_string(Machine& machine) {
    uint16_t segment = machine.segs[SEG_DS], start = machine.regs[REG_DX];
    uint32_t length = 0;
    while (length < 0x10000 && read_byte(machine, segment, uint16_t(start + length)) != '$') ++length;
    if (length == 0x10000) {
        end_run(machine, ENDING_UNSUPPORTED,
                "INT 21H function 09H found no '$' in the 64 KiB at %04X:%04X", segment, start);
        return;
    }
    uint8_t chunk[256];
    size_t filled = 0;
    for (uint32_t i = 0; i < length; ++i) {
        chunk[filled++] = read_byte(machine, segment, uint16_t(start + i));
        if (filled == sizeof chunk) {
            write_output(machine, chunk, filled);
            filled = 0;
        }
    }
    write_output(machine, chunk, filled);
    set_low_byte(machine, REG_AX, '$');
}

// Buffered line input into DS:DX: byte 0 the room counting the CR, byte 1
// the count read, then the characters and the CR. Keys beyond the room are
// dropped until Enter; Backspace takes back a character; the end of the
// input inside a line ends the line.
void read_line(Machine& machine) {
    uint16_t segment = machine.segs[SEG_DS], buffer = machine.regs[REG_DX];
    uint8_t room = read_byte(machine, segment, buffer);
    if (room == 0) return;
    int key = wait_for_key(machine);
    if (key == NO_KEY) return;
    uint8_t count = 0;
    while (key != KEY_ENTER && key != NO_KEY) {
        if (key == KEY_BACKSPACE) {
            if (count) {
                --count;
                write_output(machine, reinterpret_cast<const uint8_t*>("\b \b"), 3);
            }
        } else if (count < room - 1) {
            machine.memory[physical_address(segment, uint16_t(buffer + 2 + count++))] = uint8_t(key);
            write_char(machine, uint8_t(key));
        }
        key = take_key(machine);
    }
    machine.memory[physical_address(segment, uint16_t(buffer + 2 + count))] = KEY_ENTER;
    machine.memory[physical_address(segment, uint16_t(buffer + 1))] = count;
    write_char(machine, KEY_ENTER);
}

void input_status(Machine& machine) {
    set_low_byte(machine, REG_AX, peek_key(machine) == NO_KEY ? 0x00 : 0xFF);
}

// The clock stands still so that runs repeat: Monday 1 January 1990, 12:00:00.00.
void get_date(Machine& machine) {
    machine.regs[REG_CX] = 1990;
    machine.regs[REG_DX] = 0x0101;  // month 1, day 1
    set_low_byte(machine, REG_AX, 1);  // Monday
}

void get_time(Machine& machine) {
    machine.regs[REG_CX] = 12 << 8;  // 12 hours, 0 minutes
    machine.regs[REG_DX] = 0;        // 0 seconds, 0 hundredths
}

void get_version(Machine& machine) {
    machine.regs[REG_AX] = 0x0005;  // 5.0
    machine.regs[REG_BX] = 0;
    machine.regs[REG_CX] = 0;
}

void set_vector(Machine& machine) {
    uint16_t entry = uint16_t(low_byte(machine, REG_AX) * 4);
    write_word(machine, 0, entry, machine.regs[REG_DX]);
    write_word(machine, 0, uint16_t(entry + 2), machine.segs[SEG_DS]);
}

void get_vector(Machine& machine) {
    uint16_t entry = uint16_t(low_byte(machine, REG_AX) * 4);
    machine.regs[REG_BX] = read_word(machine, 0, entry);
    machine.segs[SEG_ES] = read_word(machine, 0, uint16_t(entry + 2));
}

// ---- BIOS ------------------------------------------------------------------------

// A cursor moved past the written end writes its way there: CR LF for each
// row down, then spaces to the column, a place off the screen taken as the
// nearest on it. Moving back writes nothing.
void write_up_to(Machine& machine, ScreenPosition to) {
    static constexpr uint8_t line_end[] = {'\r', '\n'};
    uint8_t spaces[SCREEN_COLUMNS];
    std::memset(spaces, ' ', sizeof spaces);
    ScreenPosition& end = machine.screen.written_end;
    uint8_t row = to.row < LAST_ROW ? to.row : LAST_ROW;
    uint8_t column = to.column < LAST_COLUMN ? to.column : LAST_COLUMN;
    for (; end.row < row; ++end.row) {
        send_output(machine, line_end, sizeof line_end);
        end.column = 0;
    }
    if (end.row == row && end.column < column) {
        send_output(machine, spaces, size_t(column - end.column));
        end.column = column;
    }
}

// A blank screen starts afresh in the stream, on a line of its own.
void start_blank_screen(Machine& machine) {
    ScreenPosition& end = machine.screen.written_end;
    if (end.column) send_output(machine, reinterpret_cast<const uint8_t*>("\r\n"), 2);
    end = {0, 0};
}

// Any mode is taken; the screen stays 80 by 25 text and is blanked.
void set_video_mode(Machine& machine) {
    Screen& screen = machine.screen;
    for (ScreenPosition& cursor : screen.cursors) cursor = {0, 0};
    screen.cursor_shape = DEFAULT_CURSOR_SHAPE;
    start_blank_screen(machine);
}

void set_cursor_shape(Machine& machine) { machine.screen.cursor_shape = machine.regs[REG_CX]; }

void set_cursor_position(Machine& machine) {
    uint8_t page = high_byte(machine, REG_BX) % DISPLAY_PAGES;
    ScreenPosition to{high_byte(machine, REG_DX), low_byte(machine, REG_DX)};
    machine.screen.cursors[page] = to;
    if (page == SHOWN_PAGE) write_up_to(machine, to);
}

void get_cursor(Machine& machine) {
    const ScreenPosition& at = machine.screen.cursors[high_byte(machine, REG_BX) % DISPLAY_PAGES];
    machine.regs[REG_DX] = uint16_t(at.row << 8 | at.column);
    machine.regs[REG_CX] = machine.screen.cursor_shape;
}

// Scrolling up or down writes nothing and leaves the cursor; blanking the
// whole screen (AL=0, or more lines than the window holds) starts afresh.
void scroll_window(Machine& machine) {
    int lines = low_byte(machine, REG_AX);
    int top = high_byte(machine, REG_CX), left = low_byte(machine, REG_CX);
    int bottom = high_byte(machine, REG_DX), right = low_byte(machine, REG_DX);
    bool blanks = lines == 0 || lines > bottom - top;
    bool whole_screen = top == 0 && left == 0 && bottom >= LAST_ROW && right >= LAST_COLUMN;
    if (blanks && whole_screen) start_blank_screen(machine);
}

void get_video_mode(Machine& machine) {
    machine.regs[REG_AX] = SCREEN_COLUMNS << 8 | 0x03;  // 80 by 25 colour text
    machine.regs[REG_BX] = uint16_t((machine.regs[REG_BX] & 0x00FF) | SHOWN_PAGE << 8);
}

void teletype_output(Machine& machine) { write_char(machine, low_byte(machine, REG_AX)); }

void wait_for_keystroke(Machine& machine) {
    int key = wait_for_key(machine);
    if (key != NO_KEY) machine.regs[REG_AX] = key_word(key);
}

void keystroke_status(Machine& machine) {
    int key = peek_key(machine);
    set_returned_flag(machine, FLAG_ZF, key == NO_KEY);
    if (key != NO_KEY) machine.regs[REG_AX] = key_word(key);
}

// ---- Whole vectors -----------------------------------------------------------------

// The 8086 pushes the address after the instruction that failed; the
// instruction is found by the lengths a DIV, IDIV or AAM ending there can have.
uint32_t modrm_length(uint8_t modrm) {
    switch (modrm >> 6) {
    case 0: return (modrm & 7) == 6 ? 4 : 2;
    case 1: return 3;
    case 2: return 4;
    default: return 2;
    }
}

bool divides_ending_at(const Machine& machine, uint16_t segment, uint16_t next, uint16_t length) {
    uint16_t start = uint16_t(next - length);
    uint8_t opcode = read_byte(machine, segment, start);
    uint8_t modrm = read_byte(machine, segment, uint16_t(start + 1));
    if (opcode == 0xD4) return length == 2;  // AAM with a zero base
    bool divide = (opcode == 0xF6 || opcode == 0xF7) && ((modrm >> 3) & 7) >= 6;
    return divide && modrm_length(modrm) == length;
}

void divide_error(Machine& machine) {
    uint16_t segment = stacked_word(machine, STACKED_CS), next = stacked_word(machine, STACKED_IP);
    for (uint16_t length = 2; length <= 4; ++length) {
        if (divides_ending_at(machine, segment, next, length)) {
            end_run(machine, ENDING_DIVIDE_ERROR,
                    "divide error at %04X:%04X: division by zero or a quotient too large", segment,
                    uint16_t(next - length));
            return;
        }
    }
    end_run(machine, ENDING_DIVIDE_ERROR, "divide error (INT 00H) returning to %04X:%04X", segment, next);
}

// The 80186's exceptions return to the instruction that raised them; its
// opcode is found past the prefixes.
uint16_t past_prefixes(const Machine& machine, uint16_t segment, uint16_t offset) {
    constexpr uint8_t prefixes[] = {0x26, 0x2E, 0x36, 0x3E, 0xF0, 0xF2, 0xF3};
    for (int count = 0; count < 16; ++count) {
        uint8_t byte = read_byte(machine, segment, offset);
        if (std::find(std::begin(prefixes), std::end(prefixes), byte) == std::end(prefixes)) break;
        offset = uint16_t(offset + 1);
    }
    return offset;
}

// INT 5: on the 80186, BOUND's index out of its bounds. Any other INT 5 is
// the PC's print screen, which this machine does not provide.
void bound_exceeded(Machine& machine) {
    uint16_t segment = stacked_word(machine, STACKED_CS), at = stacked_word(machine, STACKED_IP);
    if (machine.processor == CPU_186 && read_byte(machine, segment, past_prefixes(machine, segment, at)) == 0x62) {
        end_run(machine, ENDING_UNSUPPORTED, "BOUND index out of bounds at %04X:%04X (INT 05H)", segment, at);
        return;
    }
    end_run(machine, ENDING_UNSUPPORTED, "INT 05H is not supported");
}

// INT 6: on the 80186, an opcode its table leaves undefined, or a register
// where the form names memory.
bool raises_invalid_opcode(const Machine& machine, uint16_t segment, uint16_t at) {
    uint16_t start = past_prefixes(machine, segment, at);
    uint8_t opcode = read_byte(machine, segment, start);
    uint8_t modrm = read_byte(machine, segment, uint16_t(start + 1));
    const Form* form = decode_form(DECODE_186, opcode, uint8_t(modrm >> 3));
    if (!form) return true;
    bool memory_only = form->operands[1] == FO_M || form->operands[1] == FO_M16_AND_16 ||
                       form->operands[0] == FO_M16_16 || form->operands[1] == FO_M16_16;
    return memory_only && (modrm >> 6) == 3;
}

void undefined_opcode(Machine& machine) {
    uint16_t segment = stacked_word(machine, STACKED_CS), at = stacked_word(machine, STACKED_IP);
    if (machine.processor == CPU_186 && raises_invalid_opcode(machine, segment, at)) {
        uint8_t opcode = read_byte(machine, segment, past_prefixes(machine, segment, at));
        end_run(machine, ENDING_UNSUPPORTED, "undefined instruction %02XH at %04X:%04X (INT 06H)", opcode,
                segment, at);
        return;
    }
    end_run(machine, ENDING_UNSUPPORTED, "INT 06H is not supported");
}

// Single step, breakpoint and overflow: DOS leaves a bare IRET at these
// vectors, so a program without its own handler goes on.
void return_at_once(Machine&) {}

// ---- The interrupts and their functions ------------------------------------------

using Service = void (*)(Machine&);
struct Function { uint8_t number; Service serve; };

constexpr Function dos_functions[] = {
    {0x00, terminate_with_zero},   {0x01, read_char_with_echo}, {0x02, write_dl},
    {0x06, direct_console},        {0x07, read_char_without_echo}, {0x08, read_char_without_echo},
    {0x09, write_string},          {0x0A, read_line},           {0x0B, input_status},
    {0x25, set_vector},            {0x2A, get_date},            {0x2C, get_time},
    {0x30, get_version},           {0x35, get_vector},          {0x4C, terminate_with_code},
};
constexpr Function video_functions[] = {
    {0x00, set_video_mode},  {0x01, set_cursor_shape}, {0x02, set_cursor_position}, {0x03, get_cursor},
    {0x06, scroll_window},   {0x07, scroll_window},    {0x0E, teletype_output},     {0x0F, get_video_mode},
};
constexpr Function keyboard_functions[] = {{0x00, wait_for_keystroke}, {0x01, keystroke_status}};

// A vector is served whole, or by the function its caller chose in AH.
struct Interrupt {
    uint8_t vector;
    Service whole;
    const Function* functions;
    size_t function_count;
};

template <size_t N>
constexpr Interrupt by_function(uint8_t vector, const Function (&functions)[N]) {
    return {vector, nullptr, functions, N};
}

constexpr Interrupt interrupts[] = {
    {0x00, divide_error, nullptr, 0},
    {0x01, return_at_once, nullptr, 0},
    {0x03, return_at_once, nullptr, 0},
    {0x04, return_at_once, nullptr, 0},
    {0x05, bound_exceeded, nullptr, 0},
    {0x06, undefined_opcode, nullptr, 0},
    by_function(0x10, video_functions),
    by_function(0x16, keyboard_functions),
    {0x20, terminate_with_zero, nullptr, 0},
    by_function(0x21, dos_functions),
};

const Interrupt* find_interrupt(uint8_t vector) {
    for (const Interrupt& interrupt : interrupts) {
        if (interrupt.vector == vector) return &interrupt;
    }
    return nullptr;
}

Service find_function(const Interrupt& interrupt, uint8_t number) {
    for (size_t i = 0; i < interrupt.function_count; ++i) {
        if (interrupt.functions[i].number == number) return interrupt.functions[i].serve;
    }
    return nullptr;
}

}  // namespace

void serve_interrupt(Machine& machine, uint8_t vector) {
    const Interrupt* interrupt = find_interrupt(vector);
    if (!interrupt) {
        end_run(machine, ENDING_UNSUPPORTED, "INT %02XH is not supported", vector);
        return;
    }
    if (interrupt->whole) {
        interrupt->whole(machine);
        return;
    }
    uint8_t function = high_byte(machine, REG_AX);
    Service serve = find_function(*interrupt, function);
    if (!serve) {
        end_run(machine, ENDING_UNSUPPORTED, "INT %02XH function %02XH is not supported", vector, function);
        return;
    }
    serve(machine);
}

}  // namespace vexa
