// Starting a .COM or .EXE program as DOS does, and the words that report how
// a run ended.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "run/run.h"

namespace vexa {
namespace {

constexpr uint16_t TOP_OF_MEMORY_PARAGRAPH = 0xA000;  // 640 KiB, as the PSP reports it
constexpr uint16_t COMMAND_TAIL = 0x80;
constexpr size_t MAX_COMMAND_TAIL = 126;  // the length byte, the text and its CR fill 80H..FFH
constexpr uint16_t IMAGE_OFFSET = 0x100;
constexpr uint16_t STACK_TOP = 0xFFFE;
constexpr uint16_t START_FLAGS = 0xF202;  // IF set; the bits an 8086 always reads as 1

void store_word(Machine& machine, uint32_t address, uint16_t value) {
    machine.memory[address & ADDRESS_MASK] = uint8_t(value);
    machine.memory[(address + 1) & ADDRESS_MASK] = uint8_t(value >> 8);
}

// Every vector leads to its own trap pair, so a service knows which vector
// was taken even when a program chains to a vector it saved.
void build_default_vectors(Machine& machine) {
    for (unsigned vector = 0; vector < 256; ++vector) {
        uint16_t offset = uint16_t(vector * 2);
        store_word(machine, vector * 4, offset);
        store_word(machine, vector * 4 + 2, BIOS_SEGMENT);
        uint32_t trap = physical_address(BIOS_SEGMENT, offset);
        machine.memory[trap] = SERVICE_TRAP;
        machine.memory[trap + 1] = uint8_t(vector);
    }
}

void build_program_segment_prefix(Machine& machine, const char* command_tail) {
    uint32_t base = physical_address(PROGRAM_SEGMENT, 0);
    machine.memory[base] = 0xCD;  // INT 20H, where a final RET arrives
    machine.memory[base + 1] = 0x20;
    store_word(machine, base + 2, TOP_OF_MEMORY_PARAGRAPH);
    size_t length = command_tail ? std::strlen(command_tail) : 0;
    if (length > MAX_COMMAND_TAIL) length = MAX_COMMAND_TAIL;
    machine.memory[base + COMMAND_TAIL] = uint8_t(length);
    if (length) std::memcpy(&machine.memory[base + COMMAND_TAIL + 1], command_tail, length);
    machine.memory[base + COMMAND_TAIL + 1 + length] = 0x0D;
}

// What every program starts with: the vectors, its prefix, the flags.
void start_machine(Machine& machine, const char* command_tail) {
    reset_machine(machine);
    machine.services = true;
    build_default_vectors(machine);
    build_program_segment_prefix(machine, command_tail);
    machine.flags = START_FLAGS;
    machine.screen.cursor_shape = DEFAULT_CURSOR_SHAPE;
}

__attribute__((format(printf, 2, 3))) void set_reason(std::string* why, const char* format, ...) {
    if (!why) return;
    char text[128];
    va_list numbers;
    va_start(numbers, format);
    std::vsnprintf(text, sizeof text, format, numbers);
    va_end(numbers);
    *why = text;
}

// ---- .EXE programs -------------------------------------------------------------

// The words of the .EXE header the loader reads, by their offsets.
enum ExeHeaderWord : size_t {
    EXE_LAST_PAGE_BYTES = 0x02,  // bytes in use in the last 512-byte page; 0: all of it
    EXE_PAGES = 0x04,            // 512-byte pages of header and load module
    EXE_RELOCATION_COUNT = 0x06,
    EXE_HEADER_PARAGRAPHS = 0x08,
    EXE_MIN_ALLOC = 0x0A,  // paragraphs the program needs after its load module
    EXE_SS = 0x0E,
    EXE_SP = 0x10,
    EXE_IP = 0x14,
    EXE_CS = 0x16,
    EXE_RELOCATION_TABLE = 0x18,
};
constexpr size_t EXE_HEADER_SIZE = 0x1C;
constexpr uint32_t EXE_PAGE = 512;

uint16_t header_word(const uint8_t* image, size_t offset) {
    return uint16_t(image[offset] | image[offset + 1] << 8);
}

// Where the parts of an .EXE file are, checked against the file and memory.
struct ExeLayout {
    size_t header_size;
    size_t module_length;  // the bytes of the load module that are in the file
    uint16_t relocation_count;
    size_t relocation_table;
};

bool read_exe_layout(const uint8_t* image, size_t length, ExeLayout& layout, std::string* why) {
    if (length < EXE_HEADER_SIZE) {
        set_reason(why, "has an .EXE header shorter than %u bytes", unsigned(EXE_HEADER_SIZE));
        return false;
    }
    layout.header_size = size_t(header_word(image, EXE_HEADER_PARAGRAPHS)) * 16;
    if (layout.header_size > length) {
        set_reason(why, "has an .EXE header of %zu bytes in a file of %zu", layout.header_size, length);
        return false;
    }
    layout.relocation_count = header_word(image, EXE_RELOCATION_COUNT);
    layout.relocation_table = header_word(image, EXE_RELOCATION_TABLE);
    if (layout.relocation_count && layout.relocation_table + size_t(layout.relocation_count) * 4 > length) {
        if (why) *why = "has a relocation table beyond the end of the file";
        return false;
    }
    // The pages count the header; the load module is the rest of them.
    uint16_t pages = header_word(image, EXE_PAGES), last_page = header_word(image, EXE_LAST_PAGE_BYTES);
    int64_t declared = pages == 0 ? 0 : int64_t(pages - 1) * EXE_PAGE + (last_page ? last_page : EXE_PAGE);
    declared = declared > int64_t(layout.header_size) ? declared - int64_t(layout.header_size) : 0;
    uint64_t needed = (uint64_t(declared) + 15) / 16 * 16 + uint64_t(header_word(image, EXE_MIN_ALLOC)) * 16;
    if (needed > MAX_EXE_MEMORY) {
        set_reason(why, "needs %llu bytes of memory; an .EXE program has at most %u",
                   static_cast<unsigned long long>(needed), unsigned(MAX_EXE_MEMORY));
        return false;
    }
    size_t in_file = length - layout.header_size;
    layout.module_length = size_t(declared) < in_file ? size_t(declared) : in_file;
    return true;
}

// Each entry names a word of the load module, as segment:offset from its
// start, that holds a segment counted from the module's start.
void relocate(Machine& machine, const uint8_t* image, const ExeLayout& layout) {
    for (size_t entry = 0; entry < layout.relocation_count; ++entry) {
        size_t at = layout.relocation_table + entry * 4;
        uint16_t segment = uint16_t(EXE_LOAD_SEGMENT + header_word(image, at + 2));
        uint32_t address = physical_address(segment, header_word(image, at));
        uint16_t value = uint16_t(machine.memory[address] | machine.memory[(address + 1) & ADDRESS_MASK] << 8);
        store_word(machine, address, uint16_t(value + EXE_LOAD_SEGMENT));
    }
}

bool load_exe_program(Machine& machine, const uint8_t* image, size_t length, const char* command_tail,
                      std::string* why) {
    ExeLayout layout;
    if (!read_exe_layout(image, length, layout, why)) return false;
    start_machine(machine, command_tail);
    if (layout.module_length) {
        std::memcpy(&machine.memory[physical_address(EXE_LOAD_SEGMENT, 0)], image + layout.header_size,
                    layout.module_length);
    }
    relocate(machine, image, layout);
    machine.segs[SEG_CS] = uint16_t(EXE_LOAD_SEGMENT + header_word(image, EXE_CS));
    machine.segs[SEG_SS] = uint16_t(EXE_LOAD_SEGMENT + header_word(image, EXE_SS));
    machine.segs[SEG_DS] = machine.segs[SEG_ES] = PROGRAM_SEGMENT;
    machine.ip = header_word(image, EXE_IP);
    machine.regs[REG_SP] = header_word(image, EXE_SP);
    return true;
}

}  // namespace

bool load_com_program(Machine& machine, const uint8_t* image, size_t length,
                      const char* command_tail) {
    if (length > MAX_COM_IMAGE) return false;
    start_machine(machine, command_tail);
    if (length) {
        std::memcpy(&machine.memory[physical_address(PROGRAM_SEGMENT, IMAGE_OFFSET)], image, length);
    }
    store_word(machine, physical_address(PROGRAM_SEGMENT, STACK_TOP), 0);
    for (uint16_t& segment : machine.segs) segment = PROGRAM_SEGMENT;
    for (uint16_t& reg : machine.regs) reg = 0;
    machine.regs[REG_SP] = STACK_TOP;
    machine.ip = IMAGE_OFFSET;
    return true;
}

bool is_exe_image(const uint8_t* image, size_t length) {
    return length >= 2 && ((image[0] == 'M' && image[1] == 'Z') || (image[0] == 'Z' && image[1] == 'M'));
}

bool load_program(Machine& machine, const uint8_t* image, size_t length, const char* command_tail,
                  std::string* why) {
    if (is_exe_image(image, length)) return load_exe_program(machine, image, length, command_tail, why);
    if (load_com_program(machine, image, length, command_tail)) return true;
    set_reason(why, "is %zu bytes; a .COM program holds at most %u", length, unsigned(MAX_COM_IMAGE));
    return false;
}

const char* describe_ending(const Machine& machine) {
    // The texts with numbers in them are formatted here; the pointer stays
    // good until the next call.
    static thread_local char text[160];
    switch (machine.ending) {
    case ENDING_NONE:
        return "the program is still running";
    case ENDING_EXIT:
        std::snprintf(text, sizeof text, "the program exited with code %d", machine.exit_code);
        return text;
    case ENDING_HALT:
        std::snprintf(text, sizeof text, "the program halted (HLT) at %04X:%04X",
                      machine.segs[SEG_CS], uint16_t(machine.ip - 1));
        return text;
    case ENDING_LIMIT:
        std::snprintf(text, sizeof text, "the instruction limit of %llu was reached",
                      static_cast<unsigned long long>(machine.limit));
        return text;
    case ENDING_NO_INPUT:
        return "the program waits for input and none is left";
    case ENDING_UNSUPPORTED:
    case ENDING_DIVIDE_ERROR:
        break;
    }
    if (machine.message[0]) return machine.message;
    return machine.ending == ENDING_DIVIDE_ERROR ? "the program stopped on a divide error"
                                                 : "the program used a service this machine does not provide";
}

}  // namespace vexa
