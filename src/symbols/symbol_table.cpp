// A flat array of symbols in insertion order.
#include <cstdlib>
#include <cstring>

#include "symbols/symbols.h"

namespace vexa {

SymbolTable symbol_table;

namespace {

bool same_name(const SymbolEntry& entry, const char* name) {
    return std::memcmp(entry.name, name, SYMBOL_NAME_BYTES) == 0;
}

int grow() {
    int32_t capacity = symbol_table.capacity + SYMTAB_GROWTH;
    void* block = std::realloc(symbol_table.entries, size_t(capacity) * sizeof(SymbolEntry));
    if (!block) return -1;
    symbol_table.entries = static_cast<SymbolEntry*>(block);
    std::memset(symbol_table.entries + symbol_table.capacity, 0, SYMTAB_GROWTH * sizeof(SymbolEntry));
    symbol_table.capacity = capacity;
    return 0;
}

}  // namespace

int symtab_init() {
    symtab_free();
    symbol_table.entries =
        static_cast<SymbolEntry*>(std::calloc(SYMTAB_INITIAL_CAPACITY, sizeof(SymbolEntry)));
    if (!symbol_table.entries) return -1;
    symbol_table.capacity = SYMTAB_INITIAL_CAPACITY;
    return 0;
}

int symtab_find(const char* name, int32_t* value) {
    if (value) *value = 0;
    for (int32_t i = 0; i < symbol_table.count; ++i) {
        if (same_name(symbol_table.entries[i], name)) {
            if (value) *value = symbol_table.entries[i].value;
            return i;
        }
    }
    return -1;
}

int symtab_add(const char* name, int32_t value) {
    if (symtab_find(name, nullptr) >= 0) return SYMTAB_PRESENT;
    if (symbol_table.count >= symbol_table.capacity && grow() != 0) return SYMTAB_NO_MEMORY;
    SymbolEntry& entry = symbol_table.entries[symbol_table.count++];
    std::memcpy(entry.name, name, SYMBOL_NAME_BYTES);
    entry.value = value;
    return SYMTAB_ADDED;
}

void symtab_free() {
    std::free(symbol_table.entries);
    symbol_table = SymbolTable{};
}

}  // namespace vexa
