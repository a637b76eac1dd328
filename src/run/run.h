// Interpreter: an 8086 processor with 1 MiB of memory, the loader that starts
// a .COM or .EXE program as DOS does, and the DOS and BIOS services such
// programs use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vexa {

// ---- The processor ------------------------------------------------------------

constexpr uint32_t MEMORY_SIZE = 0x100000;  // 20 address lines
constexpr uint32_t ADDRESS_MASK = MEMORY_SIZE - 1;

// Register numbers in the order the instruction encoding gives them.
enum Register16 : int { REG_AX, REG_CX, REG_DX, REG_BX, REG_SP, REG_BP, REG_SI, REG_DI };
enum SegmentRegister : int { SEG_ES, SEG_CS, SEG_SS, SEG_DS };

enum FlagBit : uint16_t {
    FLAG_CF = 0x0001,
    FLAG_PF = 0x0004,
    FLAG_AF = 0x0010,
    FLAG_ZF = 0x0040,
    FLAG_SF = 0x0080,
    FLAG_TF = 0x0100,
    FLAG_IF = 0x0200,
    FLAG_DF = 0x0400,
    FLAG_OF = 0x0800,
};

// The processor a machine is: the 8086, or the 80186 with the instructions
// it added, its undefined opcodes raising interrupt 6.
enum CpuModel : uint8_t { CPU_8086, CPU_186 };

// Why a run stopped. ENDING_NONE: it has not (a slice of a run ended).
enum Ending : int {
    ENDING_NONE = 0,
    ENDING_EXIT,          // the program terminated, with exit_code
    ENDING_HALT,          // HLT
    ENDING_LIMIT,         // the instruction limit was reached
    ENDING_UNSUPPORTED,   // a service this machine does not provide; see message
    ENDING_NO_INPUT,      // the program waits for input and none is left
    ENDING_DIVIDE_ERROR,  // a divide error reached the default vector
};

// Where the program's output goes, in order: console characters of every
// output service.
struct OutputSink {
    void* context = nullptr;
    void (*write)(void* context, const uint8_t* bytes, size_t count) = nullptr;
};

// The program's input: a byte string read front to back. When it runs out,
// `refill` (if set) may append more bytes (a terminal's next line) and answer
// true; answering false means the input has ended.
struct InputSource {
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    size_t position = 0;
    void* context = nullptr;
    bool (*refill)(InputSource& input) = nullptr;
};

// The text screen as far as a stream of output can follow it: 80 columns by
// 25 rows, the cursor of each display page (page 0 is the one shown), the
// cursor shape, and the place in the screen where the output written so far
// ends.
constexpr uint8_t SCREEN_COLUMNS = 80, SCREEN_ROWS = 25, DISPLAY_PAGES = 8;
constexpr uint16_t DEFAULT_CURSOR_SHAPE = 0x0607;  // start line 6, end line 7

struct ScreenPosition {
    uint8_t row, column;
};

struct Screen {
    ScreenPosition cursors[DISPLAY_PAGES];
    ScreenPosition written_end;
    uint16_t cursor_shape;
};

struct Machine {
    CpuModel processor;  // CPU_8086 after reset_machine
    uint16_t regs[8];
    uint16_t segs[4];
    uint16_t ip;
    uint16_t flags;

    // With services on, the default interrupt vectors lead to the DOS and BIOS
    // services; with them off (processor tests) every INT goes through memory.
    bool services;

    uint64_t executed;  // instructions executed so far
    uint64_t limit;     // the run ends with ENDING_LIMIT when executed reaches it
    Ending ending;
    int exit_code;
    char message[128];  // what an ending other than exit, halt or limit means

    InputSource input;
    OutputSink output;
    Screen screen;

    alignas(64) uint8_t memory[MEMORY_SIZE];
};

constexpr uint64_t DEFAULT_INSTRUCTION_LIMIT = 100'000'000;

// Clears registers, memory and counters; services off, no input or output;
// the processor an 8086.
void reset_machine(Machine& machine);

// Executes one whole instruction, its prefixes and every repetition of a
// repeated string instruction included, then a pending single-step trap.
void step_instruction(Machine& machine);

// Executes until the machine ends or `count` more instructions have run;
// answers the ending (ENDING_NONE when the slice ran out first).
Ending run_machine(Machine& machine, uint64_t count);

// The default interrupt vectors: vector n points at BIOS_SEGMENT:2n, whose two
// bytes are SERVICE_TRAP and n. With services on, the processor executes that
// pair by calling serve_interrupt(n), then returns as IRET does, so a program
// that chains to a vector it replaced reaches the service too. A service
// answers flags by changing the FLAGS word IRET will pop (at SS:SP+4).
constexpr uint16_t BIOS_SEGMENT = 0xF000;
constexpr uint8_t SERVICE_TRAP = 0xF1;

// Physical address of segment:offset.
inline uint32_t physical_address(uint16_t segment, uint16_t offset) {
    return ((uint32_t(segment) << 4) + offset) & ADDRESS_MASK;
}

// ---- Programs -----------------------------------------------------------------

// The paragraph a program is loaded at: its program segment prefix. An .EXE
// program's load module follows the prefix, at EXE_LOAD_SEGMENT.
constexpr uint16_t PROGRAM_SEGMENT = 0x1000;
constexpr uint16_t EXE_LOAD_SEGMENT = PROGRAM_SEGMENT + 0x10;
constexpr uint32_t MAX_COM_IMAGE = 0x10000 - 0x100 - 2;  // the image, then the stack word
// An .EXE program's load module and its least extra memory, up to 640 KiB.
constexpr uint32_t MAX_EXE_MEMORY = (0xA000 - uint32_t(EXE_LOAD_SEGMENT)) * 16;

// Resets the machine and loads a .COM image as DOS does; services on. Answers
// false (machine untouched) when the image does not fit its segment.
bool load_com_program(Machine& machine, const uint8_t* image, size_t length,
                      const char* command_tail);

// An .EXE file starts with 'MZ' (or 'ZM'), whatever its name.
bool is_exe_image(const uint8_t* image, size_t length);

// Resets the machine and loads a program as DOS does, an .EXE by its
// signature, anything else as a .COM; services on. Answers false (machine
// untouched) when the program cannot be loaded, with `why` set to the reason
// as it follows the program's name ("is 70000 bytes; a .COM program holds at
// most 65278").
bool load_program(Machine& machine, const uint8_t* image, size_t length, const char* command_tail,
                  std::string* why);

// Serves interrupt `vector` from its default handler (services on). Sets the
// machine's ending when the service ends the run.
void serve_interrupt(Machine& machine, uint8_t vector);

// The text that reports an ending ("the program exited with code 0", ...).
const char* describe_ending(const Machine& machine);

}  // namespace vexa
