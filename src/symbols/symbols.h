// Symbols: label and EQU values carried from the first pass to the second.
#pragma once

#include <cstdint>

namespace vexa {

constexpr int SYMBOL_NAME_BYTES = 8;

// A name is its first 8 characters, upper case, zero-padded.
struct SymbolEntry {
    char name[SYMBOL_NAME_BYTES];
    int32_t value;
};
static_assert(sizeof(SymbolEntry) == 12);

struct SymbolTable {
    SymbolEntry* entries;  // null when no table exists
    int32_t count;
    int32_t capacity;
};
extern SymbolTable symbol_table;

constexpr int32_t SYMTAB_INITIAL_CAPACITY = 1000;
constexpr int32_t SYMTAB_GROWTH = 500;

// symtab_add answers
constexpr int SYMTAB_ADDED = 0;
constexpr int SYMTAB_PRESENT = -1;
constexpr int SYMTAB_NO_MEMORY = -2;

int symtab_init();
int symtab_find(const char* name, int32_t* value);
int symtab_add(const char* name, int32_t value);
void symtab_free();

}  // namespace vexa
