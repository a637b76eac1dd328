// A flat array of symbols in insertion order, with a hash index beside it so
// that a lookup costs the same with 100,000 symbols as with 100.
#include <cstdlib>
#include <cstring>

#include "symbols/symbols.h"

namespace vexa {

SymbolTable symbol_table;

namespace {

// The index is an array of groups of eight slots. Each slot has a tag byte
// (0 when empty, else 0x80 and seven bits of the name's hash) and the entry's
// position plus one. Comparing all eight tags of a group at once keeps the
// common lookup free of unpredictable branches. Kept at most 7/8 full.
constexpr int GROUP_SLOTS = 8;
struct IndexGroup {
    uint64_t tags;
    int32_t held[GROUP_SLOTS];
};

struct SymbolIndex {
    IndexGroup* groups;
    uint32_t mask;  // group count - 1; the count is a power of two
};
SymbolIndex symbol_index;

constexpr uint32_t INITIAL_INDEX_GROUPS = 256;
constexpr uint64_t LOW_BITS = 0x0101010101010101ull;
constexpr uint64_t HIGH_BITS = 0x8080808080808080ull;

uint64_t name_bits(const char* name) {
    uint64_t bits;
    std::memcpy(&bits, name, sizeof bits);
    return bits;
}

// Mixes all 64 bits of the name: low bits choose the group, the top seven the tag.
uint64_t name_hash(uint64_t bits) {
    bits ^= bits >> 33;
    bits *= 0xFF51AFD7ED558CCDull;
    bits ^= bits >> 33;
    bits *= 0xC4CEB9FE1A85EC53ull;
    return bits ^ (bits >> 33);
}

uint64_t tag_of(uint64_t hash) { return 0x80 | (hash >> 57); }

// High bit set in every byte of `tags` equal to `tag` (and possibly in some
// bytes above one that is: callers confirm each candidate).
uint64_t matching_bytes(uint64_t tags, uint64_t tag) {
    uint64_t x = tags ^ (LOW_BITS * tag);
    return (x - LOW_BITS) & ~x & HIGH_BITS;
}

// High bit set in every empty slot's byte (used tags have their high bit set).
uint64_t empty_bytes(uint64_t tags) { return ~tags & HIGH_BITS; }

int byte_position(uint64_t high_bits) { return __builtin_ctzll(high_bits) / 8; }

void index_position(uint64_t hash, int32_t position) {
    uint32_t group = uint32_t(hash) & symbol_index.mask;
    while (!empty_bytes(symbol_index.groups[group].tags)) group = (group + 1) & symbol_index.mask;
    IndexGroup& target = symbol_index.groups[group];
    int slot = byte_position(empty_bytes(target.tags));
    target.tags |= tag_of(hash) << (8 * slot);
    target.held[slot] = position + 1;
}

// Position of the entry named `wanted` (whose hash is `hash`), or -1.
int32_t find_position(uint64_t wanted, uint64_t hash) {
    uint64_t tag = tag_of(hash);
    for (uint32_t group = uint32_t(hash) & symbol_index.mask;; group = (group + 1) & symbol_index.mask) {
        const IndexGroup& candidates = symbol_index.groups[group];
        for (uint64_t match = matching_bytes(candidates.tags, tag); match; match &= match - 1) {
            int32_t position = candidates.held[byte_position(match)] - 1;
            if (position >= 0 && name_bits(symbol_table.entries[position].name) == wanted) return position;
        }
        if (empty_bytes(candidates.tags)) return -1;
    }
}

bool rebuild_index(uint32_t group_count) {
    IndexGroup* groups = static_cast<IndexGroup*>(std::calloc(group_count, sizeof(IndexGroup)));
    if (!groups) return false;
    std::free(symbol_index.groups);
    symbol_index = SymbolIndex{groups, group_count - 1};
    for (int32_t i = 0; i < symbol_table.count; ++i) {
        index_position(name_hash(name_bits(symbol_table.entries[i].name)), i);
    }
    return true;
}

// Makes room in the index for one more entry.
bool reserve_index_slot() {
    if (!symbol_index.groups) return rebuild_index(INITIAL_INDEX_GROUPS);
    uint64_t slots = (uint64_t(symbol_index.mask) + 1) * GROUP_SLOTS;
    if (uint64_t(symbol_table.count + 1) * 8 <= slots * 7) return true;
    return slots * 2 <= UINT32_MAX && rebuild_index(uint32_t((symbol_index.mask + 1) * 2));
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
    if (!symbol_table.entries || !rebuild_index(INITIAL_INDEX_GROUPS)) {
        symtab_free();
        return -1;
    }
    symbol_table.capacity = SYMTAB_INITIAL_CAPACITY;
    return 0;
}

int symtab_find(const char* name, int32_t* value) {
    if (value) *value = 0;
    if (symbol_table.count == 0) return -1;
    uint64_t wanted = name_bits(name);
    int32_t position = find_position(wanted, name_hash(wanted));
    if (position >= 0 && value) *value = symbol_table.entries[position].value;
    return position;
}

int symtab_add(const char* name, int32_t value) {
    uint64_t wanted = name_bits(name);
    uint64_t hash = name_hash(wanted);
    if (symbol_table.count > 0 && find_position(wanted, hash) >= 0) return SYMTAB_PRESENT;
    if (symbol_table.count >= symbol_table.capacity && grow() != 0) return SYMTAB_NO_MEMORY;
    if (!reserve_index_slot()) return SYMTAB_NO_MEMORY;
    SymbolEntry& entry = symbol_table.entries[symbol_table.count];
    std::memcpy(entry.name, name, SYMBOL_NAME_BYTES);
    entry.value = value;
    index_position(hash, symbol_table.count++);
    return SYMTAB_ADDED;
}

void symtab_free() {
    std::free(symbol_table.entries);
    std::free(symbol_index.groups);
    symbol_table = SymbolTable{};
    symbol_index = SymbolIndex{};
}

}  // namespace vexa
