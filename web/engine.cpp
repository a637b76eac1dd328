// The playground's engine: the assembler and the interpreter behind a few C
// functions the page calls. One assembly and one run at a time; the source
// the page gives is assembled from memory, and the image, the listing and
// the messages come back as data.
#include <emscripten/emscripten.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "driver/assembler.h"
#include "driver/driver.h"
#include "run/run.h"

namespace {

// The page has one source; an INCLUDE finds nothing else.
constexpr const char* SOURCE_NAME = "PROGRAM.ASM";

// A program's output is kept up to this size; the rest is counted, not kept,
// so a program that prints in a loop cannot exhaust the page's memory.
constexpr size_t MAX_KEPT_OUTPUT = 1 << 20;

struct Assembled {
    std::string source;
    int status = 0;
    int passes = 0;
    int32_t origin = 0;
    std::string messages;  // the diagnostics, as JSON
    std::string image;
    std::string listing;
    bool cpu_186 = false;  // the 80186's instructions enabled: it runs on the 80186
};

struct Run {
    std::string input;
    std::string output;
    size_t dropped_output = 0;
    bool started = false;
    std::string refusal;  // why the image could not be loaded
};

Assembled assembled;
Run run;
vexa::Machine machine;

// A JSON string of 8-bit text: each byte one character, the page reads it so.
void append_json_string(std::string& json, const std::string& text) {
    json += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += char(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            json += escaped;
        } else {
            json += char(c);
        }
    }
    json += '"';
}

const char* severity_name(vexa::Diagnostic::Severity severity) {
    switch (severity) {
        case vexa::Diagnostic::NOTE: return "note";
        case vexa::Diagnostic::ERROR: return "error";
        case vexa::Diagnostic::FATAL: return "fatal";
        case vexa::Diagnostic::WARNING: return "warning";
    }
    return "note";
}

void append_json_number(std::string& json, const char* name, int value) {
    char field[48];
    std::snprintf(field, sizeof field, "\"%s\":%d,", name, value);
    json += field;
}

// A note's place: its file as the diagnostic names files (empty for the
// page's source), its line and column; a note without one of its own is at
// the diagnostic's.
void append_note(std::string& json, const vexa::Diagnostic& d, const vexa::Diagnostic::Note& note) {
    bool at_message = note.path.empty();
    const std::string& path = at_message ? d.path : note.path;
    std::string file = path == d.path ? d.file : path == SOURCE_NAME ? std::string() : path;
    json += '{';
    append_json_number(json, "line", at_message ? d.line : note.line);
    append_json_number(json, "column", at_message ? d.column : note.column);
    json += "\"file\":";
    append_json_string(json, file);
    json += ",\"message\":";
    append_json_string(json, note.message);
    json += '}';
}

// Each message once, as the last pass settled it. Columns count characters;
// displayColumn counts them as the editor shows them, tabs expanded.
std::string diagnostics_json(const std::vector<vexa::Diagnostic>& diagnostics) {
    std::string json = "[";
    for (const vexa::Diagnostic& d : diagnostics) {
        if (json.size() > 1) json += ',';
        json += "{\"severity\":\"";
        json += severity_name(d.severity);
        json += "\",";
        append_json_number(json, "pass", d.pass);
        append_json_number(json, "line", d.line);
        append_json_number(json, "column", d.column);
        append_json_number(json, "displayColumn", d.line > 0 && d.column > 0 ? vexa::display_column(d.text, d.column) : 0);
        append_json_number(json, "code", d.code);
        json += "\"file\":";
        append_json_string(json, d.file);
        json += ",\"message\":";
        append_json_string(json, d.message);
        json += ",\"warning\":";
        append_json_string(json, d.warning ? vexa::warning_group_name(d.warning) : "");
        json += ",\"sourceLine\":";
        append_json_string(json, d.source_line);
        json += ",\"text\":";
        append_json_string(json, d.text);
        json += ",\"notes\":[";
        for (size_t i = 0; i < d.notes.size(); ++i) {
            if (i > 0) json += ',';
            append_note(json, d, d.notes[i]);
        }
        json += "]}";
    }
    return json + "]";
}

void collect_output(void*, const uint8_t* bytes, size_t count) {
    size_t room = MAX_KEPT_OUTPUT - run.output.size();
    size_t kept = count < room ? count : room;
    run.output.append(reinterpret_cast<const char*>(bytes), kept);
    run.dropped_output += count - kept;
}

}  // namespace

extern "C" {

// Room for the source, which the page fills before engine_assemble.
EMSCRIPTEN_KEEPALIVE char* engine_source_buffer(int length) {
    assembled.source.assign(size_t(length), '\0');
    return assembled.source.data();
}

// Assembles the source with a listing of `lines_per_page` lines a page;
// answers the exit status the command line would give.
EMSCRIPTEN_KEEPALIVE int engine_assemble(int lines_per_page) {
    vexa::MemoryFiles files;
    files.files[SOURCE_NAME] = assembled.source;
    vexa::AssemblyOptions options;
    options.source = SOURCE_NAME;
    options.listing = true;
    options.lines_per_page = lines_per_page;
    vexa::AssemblyResult result = vexa::assemble_to_memory(options, files);
    assembled.status = result.load_result != vexa::LOAD_OK ? vexa::EXIT_NOT_STARTED
                       : result.failed()                    ? vexa::EXIT_ASSEMBLY_FAILED
                                                            : vexa::EXIT_CLEAN;
    assembled.passes = result.passes;
    assembled.origin = result.origin;
    std::vector<vexa::Diagnostic> settled = vexa::settled_diagnostics(result);
    vexa::note_conventions(result, settled);
    assembled.messages = diagnostics_json(settled);
    assembled.image = std::move(result.image);
    assembled.listing = std::move(result.listing);
    assembled.cpu_186 = result.cpu_186;
    return assembled.status;
}

EMSCRIPTEN_KEEPALIVE int engine_passes() { return assembled.passes; }
EMSCRIPTEN_KEEPALIVE const char* engine_messages() { return assembled.messages.c_str(); }
EMSCRIPTEN_KEEPALIVE int engine_messages_length() { return int(assembled.messages.size()); }
EMSCRIPTEN_KEEPALIVE const char* engine_image() { return assembled.image.data(); }
EMSCRIPTEN_KEEPALIVE int engine_image_length() { return int(assembled.image.size()); }
EMSCRIPTEN_KEEPALIVE int engine_image_origin() { return assembled.origin; }
EMSCRIPTEN_KEEPALIVE const char* engine_listing() { return assembled.listing.c_str(); }
EMSCRIPTEN_KEEPALIVE int engine_listing_length() { return int(assembled.listing.size()); }

// Room for the program's input, which the page fills before engine_run_start.
EMSCRIPTEN_KEEPALIVE char* engine_input_buffer(int length) {
    run.input.assign(size_t(length), '\0');
    return run.input.data();
}

// Loads the last assembled image as vexa-run does, a .COM or an .EXE by its
// signature, on the 80186 when the source enabled its instructions (as
// vexa-run --cpu=186); false when it cannot be loaded (engine_ending_text says why).
EMSCRIPTEN_KEEPALIVE int engine_run_start(double limit) {
    run.output.clear();
    run.dropped_output = 0;
    run.started = vexa::load_program(machine, reinterpret_cast<const uint8_t*>(assembled.image.data()),
                                     assembled.image.size(), "", &run.refusal);
    if (!run.started) return 0;
    machine.processor = assembled.cpu_186 ? vexa::CPU_186 : vexa::CPU_8086;
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
// After a refused start, the reason, as it follows the program's name.
EMSCRIPTEN_KEEPALIVE const char* engine_ending_text() {
    return run.started ? vexa::describe_ending(machine) : run.refusal.c_str();
}
EMSCRIPTEN_KEEPALIVE int engine_exit_code() { return machine.exit_code; }
EMSCRIPTEN_KEEPALIVE double engine_executed() { return double(machine.executed); }
// The processor of the last run: 8086 or 186.
EMSCRIPTEN_KEEPALIVE int engine_run_processor() { return machine.processor == vexa::CPU_186 ? 186 : 8086; }

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
