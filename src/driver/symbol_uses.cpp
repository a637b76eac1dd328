// The names of an assembly for its symbol map: value, kind, where each was
// defined and the lines that read it.
#include <algorithm>
#include <unordered_map>

#include "driver/assembly.h"

namespace vexa {

namespace {

const char* kind_name(uint8_t kind) {
    switch (symbol_kind(kind)) {
        case SYMBOL_EQU: return "EQU";
        case SYMBOL_ASSIGNED: return "=";
        case SYMBOL_PROC:
        case SYMBOL_FAR_PROC: return "PROC";
        case SYMBOL_SEGMENT_NAME: return "SEGMENT";
        case SYMBOL_GROUP_NAME: return "GROUP";
        case SYMBOL_DB: return "DB";
        case SYMBOL_DW: return "DW";
        case SYMBOL_DS: return "DS";
        case SYMBOL_DD: return "DD";
        case SYMBOL_DQ: return "DQ";
        case SYMBOL_LABEL_BYTE:
        case SYMBOL_LABEL_WORD:
        case SYMBOL_LABEL_DWORD:
        case SYMBOL_LABEL_FAR: return "LABEL";
        default: return "label";
    }
}

}  // namespace

void map_symbols(Assembly& assembly) {
    const SymbolTable& symbols = assembly.symbols;
    std::vector<AssemblyResult::Symbol>& mapped = assembly.result.symbols;
    std::unordered_map<int, size_t> by_position;
    for (const Assembly::Place& place : assembly.definitions) {
        by_position.emplace(place.position, mapped.size());
        mapped.push_back(AssemblyResult::Symbol{
            std::string(symbols.name_at(place.position), size_t(symbols.name_length_at(place.position))),
            symbols.value_at(place.position), kind_name(symbols.kind_at(place.position)),
            AssemblyResult::Use{assembly.path_of(place.file), place.line}, {}});
    }
    for (const Assembly::Place& use : assembly.uses) {
        auto found = by_position.find(use.position);
        if (found == by_position.end()) continue;
        std::vector<AssemblyResult::Use>& uses = mapped[found->second].uses;
        const std::string& path = assembly.path_of(use.file);
        // A line that reads a name twice is listed once.
        if (!uses.empty() && uses.back().line == use.line && uses.back().path == path) continue;
        uses.push_back(AssemblyResult::Use{path, use.line});
    }
}

}  // namespace vexa
