// Fuzzes the whole assembler with arbitrary source bytes, listing on,
// through the library with its files in memory. The bytes after the first
// 0xFF are a second file, LIB.INC, which the source may include (itself
// too); a checked image, a full listing, the GNU diagnostics and a symbol map
// are asked for every input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/assembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const void* split = std::memchr(bytes, 0xFF, size);
    size_t main_size = split ? size_t(static_cast<const char*>(split) - bytes) : size;

    vexa::MemoryFiles files;
    files.files["FUZZ.ASM"] = std::string(bytes, main_size);
    if (split) files.files["LIB.INC"] = std::string(bytes + main_size + 1, size - main_size - 1);
    vexa::AssemblyOptions options;
    options.source = "FUZZ.ASM";
    options.listing = true;
    options.lines_per_page = 10;
    options.symbol_map = true;
    // Half the inputs take warnings as errors.
    options.warnings_are_errors = size % 2 == 1;
    // Every set of conventions, with and without the shortest forms.
    options.dialect = vexa::Dialect(size / 2 % 4);
    options.optimize = size / 8 % 2 == 1;
    vexa::AssemblyResult result = vexa::assemble_to_memory(options, files);

    // A source that exists is always assembled; what it makes fits its
    // segment, or an .EXE's header and the 8086's 640 KiB.
    if (result.load_result != vexa::LOAD_OK || result.passes < 1) std::abort();
    size_t largest = result.exe ? 0x1C + 4 * 0xFFFF + 0xF + 0xA0000 : 0x10000;
    if (result.image.size() > largest) std::abort();
    int errors = 0;
    for (const vexa::Diagnostic& diagnostic : result.diagnostics) {
        if (diagnostic.severity == vexa::Diagnostic::ERROR) ++errors;
        if (diagnostic.message.empty()) std::abort();
    }
    if (errors != result.errors) std::abort();

    // Each settled message once: an assembly that fails shows at least one
    // error or fatal stop, and every message of a line points into it.
    std::vector<vexa::Diagnostic> settled = vexa::settled_diagnostics(result);
    bool shows_failure = false;
    for (const vexa::Diagnostic& diagnostic : settled) {
        if (diagnostic.severity == vexa::Diagnostic::ERROR || diagnostic.severity == vexa::Diagnostic::FATAL) {
            shows_failure = true;
        }
        if (diagnostic.line > 0 && (diagnostic.column < 1 || size_t(diagnostic.column) > diagnostic.text.size() + 1) &&
            diagnostic.column != 4097) {
            std::abort();
        }
    }
    if (result.failed() != shows_failure) std::abort();
    if (vexa::gnu_diagnostics(settled).empty() != settled.empty()) std::abort();
    vexa::symbol_map(result, options.source);
    return 0;
}
