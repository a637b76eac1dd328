// Records of symbols in insertion order, with a hash index beside them so
// that a lookup costs the same with 100,000 symbols as with 100: one probe of
// the index, then one record, whose name and value lie side by side.
#include <cstdlib>
#include <cstring>

#include "symbols/symbols.h"

namespace vexa {

SymbolTable symbol_table;

namespace {

// Record layout: the value, the name's length, then the name. Records are
// packed: unaligned loads cost nothing here, and an 8-character name takes
// 13 bytes instead of 16 (300 KiB less at 100,000 labels).
constexpr uint32_t VALUE_BYTES = 4;
constexpr uint32_t NAME_AT = VALUE_BYTES + 1;
// A record's first eight name bytes are read with one load, even when the
// name is shorter and the record is the last one.
constexpr uint32_t RECORD_SLACK = 8;
// Offsets stay positive as an int.
constexpr uint32_t ARENA_LIMIT = 1u << 30;

uint32_t record_size(int length) { return NAME_AT + uint32_t(length); }

// The index is an array of groups of eight slots. Each slot has a tag byte
// (0 when empty, else 0x80 and seven bits of the name's hash) and the
// record's offset plus one. Comparing all eight tags of a group at once keeps
// the common lookup free of unpredictable branches. Kept at most 7/8 full.
constexpr int GROUP_SLOTS = 8;
struct IndexGroup {
    uint64_t tags;
    uint32_t held[GROUP_SLOTS];
};

struct SymbolIndex {
    IndexGroup* groups;
    uint32_t mask;  // group count - 1; the count is a power of two
};
SymbolIndex symbol_index;

constexpr uint32_t INITIAL_INDEX_GROUPS = 256;
constexpr uint64_t LOW_BITS = 0x0101010101010101ull;
constexpr uint64_t HIGH_BITS = 0x8080808080808080ull;

uint64_t load64(const void* p) {
    uint64_t bits;
    std::memcpy(&bits, p, sizeof bits);
    return bits;
}

uint32_t load32(const void* p) {
    uint32_t bits;
    std::memcpy(&bits, p, sizeof bits);
    return bits;
}

// The name's first eight bytes, zero-padded when it is shorter, read without
// touching a byte beyond it (names come from any buffer): two loads that
// overlap, or single bytes for names of one to three characters.
uint64_t leading_word(const char* name, int length) {
    if (length >= 8) return load64(name);
    if (length >= 4) return load32(name) | uint64_t(load32(name + length - 4)) << (8 * (length - 4));
    uint64_t first = uint8_t(name[0]);
    uint64_t middle = uint8_t(name[length / 2]);
    uint64_t last = uint8_t(name[length - 1]);
    return first | middle << (8 * (length / 2)) | last << (8 * (length - 1));
}

// Mixes every byte of the name and its length: low bits choose the group,
// the top seven the tag. Most names fit the leading word alone.
uint64_t name_hash(const char* name, int length, uint64_t word) {
    uint64_t bits = word;
    for (int at = 8; at < length; at += 8) {
        // The last chunk ends with the name, overlapping the one before.
        int from = at + 8 <= length ? at : length - 8;
        bits = (bits ^ (bits >> 29)) * 0x9E3779B97F4A7C15ull ^ load64(name + from);
    }
    bits ^= uint64_t(length) * 0xD6E8FEB86659FD93ull;
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

void index_record(uint64_t hash, uint32_t offset) {
    uint32_t group = uint32_t(hash) & symbol_index.mask;
    while (!empty_bytes(symbol_index.groups[group].tags)) group = (group + 1) & symbol_index.mask;
    IndexGroup& target = symbol_index.groups[group];
    int slot = byte_position(empty_bytes(target.tags));
    target.tags |= tag_of(hash) << (8 * slot);
    target.held[slot] = offset + 1;
}

// The record holds `name`, whose leading word is `word`. The record's own
// leading word is one load, masked to its length; the slack after the last
// record keeps that load inside the arena.
bool record_holds(const uint8_t* record, const char* name, int length, uint64_t word) {
    if (record[VALUE_BYTES] != length) return false;
    int leading = length < 8 ? length : 8;
    uint64_t stored = load64(record + NAME_AT) & (~0ull >> (64 - 8 * leading));
    if (stored != word) return false;
    if (length <= 8) return true;
    // Eight bytes a step; the last eight overlap those before them.
    const uint8_t* stored_name = record + NAME_AT;
    for (int at = 8; at + 8 < length; at += 8) {
        if (load64(stored_name + at) != load64(name + at)) return false;
    }
    return load64(stored_name + length - 8) == load64(name + length - 8);
}

// Eight bytes a step (a name is short: the library's copy, inlined as a
// string instruction, costs more to start than this loop takes). Short names
// are their leading word, one store; the next record overwrites what lies
// beyond the name.
void copy_name(uint8_t* to, const char* name, int length, uint64_t word) {
    std::memcpy(to, &word, sizeof word);
    if (length <= 8) return;
    for (int at = 8; at + 8 < length; at += 8) std::memcpy(to + at, name + at, 8);
    std::memcpy(to + length - 8, name + length - 8, 8);  // the last eight, overlapping
}

// Offset of the record of `name`, or -1.
int32_t find_record(const char* name, int length, uint64_t word, uint64_t hash) {
    uint64_t tag = tag_of(hash);
    for (uint32_t group = uint32_t(hash) & symbol_index.mask;; group = (group + 1) & symbol_index.mask) {
        const IndexGroup& candidates = symbol_index.groups[group];
        for (uint64_t match = matching_bytes(candidates.tags, tag); match; match &= match - 1) {
            uint32_t held = candidates.held[byte_position(match)];
            if (held && record_holds(symbol_table.records + held - 1, name, length, word)) return int32_t(held - 1);
        }
        if (empty_bytes(candidates.tags)) return -1;
    }
}

bool rebuild_index(uint32_t group_count) {
    IndexGroup* groups = static_cast<IndexGroup*>(std::calloc(group_count, sizeof(IndexGroup)));
    if (!groups) return false;
    std::free(symbol_index.groups);
    symbol_index = SymbolIndex{groups, group_count - 1};
    for (uint32_t offset = 0; offset < symbol_table.used;) {
        const uint8_t* record = symbol_table.records + offset;
        const char* name = reinterpret_cast<const char*>(record + NAME_AT);
        int length = record[VALUE_BYTES];
        index_record(name_hash(name, length, leading_word(name, length)), offset);
        offset += record_size(length);
    }
    return true;
}

// The groups that hold `symbols` at most 7/8 full, a power of two; a guess
// sizes the index up to a bound, and the index grows beyond it as needed.
uint32_t index_groups_for(uint32_t symbols) {
    constexpr uint32_t LARGEST_GUESS = 64 * 1024;
    uint32_t groups = INITIAL_INDEX_GROUPS;
    while (groups < LARGEST_GUESS && uint64_t(symbols) * 8 > uint64_t(groups) * GROUP_SLOTS * 7) groups *= 2;
    return groups;
}

// Makes room in the index for one more record.
bool reserve_index_slot() {
    if (!symbol_index.groups) return rebuild_index(INITIAL_INDEX_GROUPS);
    uint64_t slots = (uint64_t(symbol_index.mask) + 1) * GROUP_SLOTS;
    if (uint64_t(symbol_table.count + 1) * 8 <= slots * 7) return true;
    return slots * 2 <= UINT32_MAX && rebuild_index(uint32_t((symbol_index.mask + 1) * 2));
}

// Makes room for `size` more bytes of records, doubling the arena.
bool reserve_record(uint32_t size) {
    uint64_t needed = uint64_t(symbol_table.used) + size + RECORD_SLACK;
    if (needed <= symbol_table.capacity) return true;
    uint64_t capacity = uint64_t(symbol_table.capacity) * 2;
    if (capacity < needed) capacity = needed;
    if (capacity > ARENA_LIMIT) return false;
    void* block = std::realloc(symbol_table.records, size_t(capacity));
    if (!block) return false;
    symbol_table.records = static_cast<uint8_t*>(block);
    symbol_table.capacity = uint32_t(capacity);
    return true;
}

}  // namespace

int symtab_init(uint32_t expected_symbols) {
    symtab_free();
    symbol_table.records = static_cast<uint8_t*>(std::malloc(SYMTAB_INITIAL_BYTES));
    if (!symbol_table.records || !rebuild_index(index_groups_for(expected_symbols))) {
        symtab_free();
        return -1;
    }
    symbol_table.capacity = SYMTAB_INITIAL_BYTES;
    return 0;
}

int symtab_find(const char* name, int length, int32_t* value) {
    if (value) *value = 0;
    if (symbol_table.count == 0 || length <= 0 || length > SYMBOL_NAME_LIMIT) return -1;
    uint64_t word = leading_word(name, length);
    int32_t offset = find_record(name, length, word, name_hash(name, length, word));
    if (offset >= 0 && value) std::memcpy(value, symbol_table.records + offset, VALUE_BYTES);
    return offset;
}

int symtab_add(const char* name, int length, int32_t value) {
    if (length <= 0 || length > SYMBOL_NAME_LIMIT) return SYMTAB_NO_MEMORY;
    uint64_t word = leading_word(name, length);
    uint64_t hash = name_hash(name, length, word);
    if (symbol_table.count > 0 && find_record(name, length, word, hash) >= 0) return SYMTAB_PRESENT;
    uint32_t size = record_size(length);
    if (!reserve_record(size) || !reserve_index_slot()) return SYMTAB_NO_MEMORY;
    uint8_t* record = symbol_table.records + symbol_table.used;
    std::memcpy(record, &value, VALUE_BYTES);
    record[VALUE_BYTES] = uint8_t(length);
    copy_name(record + NAME_AT, name, length, word);
    index_record(hash, symbol_table.used);
    symbol_table.used += size;
    ++symbol_table.count;
    return SYMTAB_ADDED;
}

uint64_t symtab_hint(const char* name, int length) {
    return length > 0 ? name_hash(name, length, leading_word(name, length)) : 0;
}

void symtab_prefetch_group(uint64_t hint) {
    if (hint && symbol_index.groups) __builtin_prefetch(&symbol_index.groups[uint32_t(hint) & symbol_index.mask]);
}

void symtab_prefetch_record(uint64_t hint) {
    if (!hint || !symbol_index.groups) return;
    const IndexGroup& candidates = symbol_index.groups[uint32_t(hint) & symbol_index.mask];
    uint64_t match = matching_bytes(candidates.tags, tag_of(hint));
    uint32_t held = match ? candidates.held[byte_position(match)] : 0;
    if (held) __builtin_prefetch(symbol_table.records + held - 1);
}

void symtab_free() {
    std::free(symbol_table.records);
    std::free(symbol_index.groups);
    symbol_table = SymbolTable{};
    symbol_index = SymbolIndex{};
}

}  // namespace vexa
