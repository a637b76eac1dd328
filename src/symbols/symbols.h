// Symbols: label and EQU values carried from the first pass to the second.
#pragma once

#include <cstdint>

namespace vexa {

// Every character of a name counts; names are compared as written (the
// parser upper-cases them). One record a symbol, in the order they were
// added: [int32 value][uint8 length][name bytes], packed one after another,
// so that a short name costs little and a long one is not cut.
struct SymbolTable {
    uint8_t* records;   // null when no table exists
    uint32_t used;      // bytes taken by records
    uint32_t capacity;  // bytes allocated, always 8 or more beyond `used`
    int32_t count;
};
extern SymbolTable symbol_table;

constexpr uint32_t SYMTAB_INITIAL_BYTES = 16 * 1024;
// A record's length byte holds at most this; a source line is shorter.
constexpr int SYMBOL_NAME_LIMIT = 255;

// symtab_add answers
constexpr int SYMTAB_ADDED = 0;
constexpr int SYMTAB_PRESENT = -1;
constexpr int SYMTAB_NO_MEMORY = -2;

// An empty table; its index is sized for about `expected_symbols` names (a
// guess: it grows as needed), which spares rebuilding it as it fills.
int symtab_init(uint32_t expected_symbols = 0);
// The symbol's position (its record's offset: later symbols stand further
// on), or -1. `*value` is 0 unless the name is found. A name of no
// characters is never found.
int symtab_find(const char* name, int length, int32_t* value);
// `length` is 1 to SYMBOL_NAME_LIMIT; a name outside that is refused as
// SYMTAB_NO_MEMORY (no record can hold it).
int symtab_add(const char* name, int length, int32_t value);
void symtab_free();

// Looking a name up ahead of time: the second pass knows which names its
// statements assembled again will ask for. A hint is the name's place in the
// index; the prefetches bring its index group, then (once that is at hand)
// its record into the cache, and change nothing else. A hint of 0 is none.
uint64_t symtab_hint(const char* name, int length);
void symtab_prefetch_group(uint64_t hint);
void symtab_prefetch_record(uint64_t hint);

}  // namespace vexa
