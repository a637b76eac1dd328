// The playground's engine: the assembler and the interpreter behind a few C
// functions the page calls. One assembly and one run at a time; the source,
// the object image and the listing are files of the in-memory file system.
#include <emscripten/emscripten.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "driver/driver.h"
#include "run/run.h"

namespace {

constexpr const char* OBJECT_PATH = "/work/PROGRAM.COM";
constexpr const char* LISTING_PATH = "/work/PROGRAM.LST";
constexpr const char* CONSOLE_PATH = "/work/console.txt";

// A program's output is kept up to this size; the rest is counted, not kept,
// so a program that prints in a loop cannot exhaust the page's memory.
constexpr size_t MAX_KEPT_OUTPUT = 1 << 20;

struct Assembly {
    int status = 0;
    int32_t origin = 0;
    std::string console;
    std::string image;
    std::string listing;
};

struct Run {
    std::string input;
    std::string output;
    size_t dropped_output = 0;
    bool started = false;
};

Assembly assembly;
Run run;
vexa::Machine machine;

bool read_whole_file(const char* path, std::string& text) {
    text.clear();
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    char chunk[1 << 14];
    size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, count);
    std::fclose(file);
    return true;
}

void collect_output(void*, const uint8_t* bytes, size_t count) {
    size_t room = MAX_KEPT_OUTPUT - run.output.size();
    size_t kept = count < room ? count : room;
    run.output.append(reinterpret_cast<const char*>(bytes), kept);
    run.dropped_output += count - kept;
}

}  // namespace

extern "C" {

// Assembles the source the page wrote to /work/PROGRAM.ASM, as
// `vexa PROGRAM.ASM -l -p=N` would; answers the exit status.
EMSCRIPTEN_KEEPALIVE int engine_assemble(int lines_per_page) {
    std::remove(OBJECT_PATH);
    std::remove(LISTING_PATH);
    FILE* console = std::fopen(CONSOLE_PATH, "wb");
    if (!console) return vexa::EXIT_NOT_STARTED;
    char page_option[24];
    std::snprintf(page_option, sizeof page_option, "-p=%d", lines_per_page);
    // vexa_main reorders its words: they must be writable.
    char program[] = "vexa", source[] = "/work/PROGRAM.ASM", listing[] = "-l";
    char* argv[] = {program, source, listing, page_option, nullptr};
    assembly.status = vexa::vexa_main(4, argv, console, console);
    assembly.origin = vexa::image_origin;
    std::fclose(console);
    read_whole_file(CONSOLE_PATH, assembly.console);
    read_whole_file(OBJECT_PATH, assembly.image);
    read_whole_file(LISTING_PATH, assembly.listing);
    return assembly.status;
}

EMSCRIPTEN_KEEPALIVE const char* engine_console() { return assembly.console.c_str(); }
EMSCRIPTEN_KEEPALIVE int engine_console_length() { return int(assembly.console.size()); }
EMSCRIPTEN_KEEPALIVE const char* engine_image() { return assembly.image.data(); }
EMSCRIPTEN_KEEPALIVE int engine_image_length() { return int(assembly.image.size()); }
EMSCRIPTEN_KEEPALIVE int engine_image_origin() { return assembly.origin; }
EMSCRIPTEN_KEEPALIVE const char* engine_listing() { return assembly.listing.c_str(); }
EMSCRIPTEN_KEEPALIVE int engine_listing_length() { return int(assembly.listing.size()); }

// Room for the program's input, which the page fills before engine_run_start.
EMSCRIPTEN_KEEPALIVE char* engine_input_buffer(int length) {
    run.input.assign(size_t(length), '\0');
    return run.input.data();
}

// Loads the last assembled image as a .COM program; false when it does not fit.
EMSCRIPTEN_KEEPALIVE int engine_run_start(double limit) {
    run.output.clear();
    run.dropped_output = 0;
    run.started = vexa::load_com_program(machine, reinterpret_cast<const uint8_t*>(assembly.image.data()),
                                         assembly.image.size(), "");
    if (!run.started) return 0;
    machine.limit = limit > 0 ? uint64_t(limit) : vexa::DEFAULT_INSTRUCTION_LIMIT;
    machine.output = {nullptr, collect_output};
    machine.input.bytes = reinterpret_cast<const uint8_t*>(run.input.data());
    machine.input.length = run.input.size();
    return 1;
}

// Runs up to `count` instructions; answers the ending (0 while running).
EMSCRIPTEN_KEEPALIVE int engine_run_slice(int count) {
    if (!run.started) return vexa::ENDING_NONE;
    return vexa::run_machine(machine, uint64_t(count));
}

EMSCRIPTEN_KEEPALIVE const char* engine_output() { return run.output.data(); }
EMSCRIPTEN_KEEPALIVE int engine_output_length() { return int(run.output.size()); }
EMSCRIPTEN_KEEPALIVE double engine_dropped_output() { return double(run.dropped_output); }
EMSCRIPTEN_KEEPALIVE const char* engine_ending_text() { return vexa::describe_ending(machine); }
EMSCRIPTEN_KEEPALIVE int engine_exit_code() { return machine.exit_code; }
EMSCRIPTEN_KEEPALIVE double engine_executed() { return double(machine.executed); }

// The registers in the order the page shows them: AX BX CX DX SP BP SI DI,
// CS DS ES SS, IP, FLAGS. A run that ended inside a service (an exit, an
// unsupported function, input wanted) is shown as the program left it: at
// the instruction after its INT, with the interrupt's frame popped.
EMSCRIPTEN_KEEPALIVE const uint16_t* engine_registers() {
    static uint16_t shown[14];
    const uint16_t* r = machine.regs;
    const uint16_t* s = machine.segs;
    uint16_t sp = r[vexa::REG_SP], cs = s[vexa::SEG_CS], ip = machine.ip, flags = machine.flags;
    bool in_service = machine.ending == vexa::ENDING_EXIT || machine.ending == vexa::ENDING_UNSUPPORTED ||
                      machine.ending == vexa::ENDING_NO_INPUT || machine.ending == vexa::ENDING_DIVIDE_ERROR;
    if (in_service && cs == vexa::BIOS_SEGMENT && ip <= 2 * 256) {
        auto stacked = [&](uint16_t at) {
            uint32_t address = vexa::physical_address(s[vexa::SEG_SS], uint16_t(sp + at));
            return uint16_t(machine.memory[address] | machine.memory[(address + 1) & vexa::ADDRESS_MASK] << 8);
        };
        ip = stacked(0);
        cs = stacked(2);
        flags = stacked(4);
        sp = uint16_t(sp + 6);
    }
    const uint16_t values[14] = {r[vexa::REG_AX], r[vexa::REG_BX], r[vexa::REG_CX], r[vexa::REG_DX],
                                 sp,              r[vexa::REG_BP], r[vexa::REG_SI], r[vexa::REG_DI],
                                 cs,              s[vexa::SEG_DS], s[vexa::SEG_ES], s[vexa::SEG_SS],
                                 ip,              flags};
    std::memcpy(shown, values, sizeof shown);
    return shown;
}

}  // extern "C"
