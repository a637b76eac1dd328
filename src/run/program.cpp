// Starting a .COM program as DOS does, and the words that report how a run ended.
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

}  // namespace

bool load_com_program(Machine& machine, const uint8_t* image, size_t length,
                      const char* command_tail) {
    if (length > MAX_COM_IMAGE) return false;
    reset_machine(machine);
    machine.services = true;
    build_default_vectors(machine);
    build_program_segment_prefix(machine, command_tail);
    if (length) {
        std::memcpy(&machine.memory[physical_address(PROGRAM_SEGMENT, IMAGE_OFFSET)], image, length);
    }
    store_word(machine, physical_address(PROGRAM_SEGMENT, STACK_TOP), 0);
    for (uint16_t& segment : machine.segs) segment = PROGRAM_SEGMENT;
    for (uint16_t& reg : machine.regs) reg = 0;
    machine.regs[REG_SP] = STACK_TOP;
    machine.ip = IMAGE_OFFSET;
    machine.flags = START_FLAGS;
    machine.screen.cursor_shape = DEFAULT_CURSOR_SHAPE;
    return true;
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
