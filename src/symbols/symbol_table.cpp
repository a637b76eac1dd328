// Records of symbols in insertion order, with a hash index beside them so
// that a lookup costs the same with 100,000 symbols as with 100: one probe of
// the index, then one record, whose name and value lie side by side.
#include <cstdlib>
#include <cstring>

#include "symbols/symbols.h"

namespace vexa {

namespace {

// Records are packed: unaligned loads cost nothing here, and an 8-character
// name takes 15 bytes instead of 16 (100 KiB less at 100,000 labels).
constexpr uint32_t VALUE_BYTES = SymbolTable::VALUE_BYTES;
constexpr uint32_t NAME_AT = SymbolTable::NAME_AT;
constexpr uint32_t LENGTH_AT = SymbolTable::LENGTH_AT;
constexpr uint32_t KIND_AT = SymbolTable::KIND_AT;
using IndexGroup = SymbolTable::IndexGroup;
constexpr int GROUP_SLOTS = SymbolTable::GROUP_SLOTS;
// A record's first eight name bytes are read with one load, even when the
// name is shorter and the record is the last one.
constexpr uint32_t RECORD_SLACK = 8;
// Offsets stay positive as an int.
constexpr uint32_t ARENA_LIMIT = 1u << 30;

uint32_t record_size(int length) { return NAME_AT + uint32_t(length); }

// The index is kept at most 7/8 full.
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

// The groups that hold `symbols` at most 7/8 full, a power of two; a guess
// sizes the index up to a bound, and the index grows beyond it as needed.
uint32_t index_groups_for(uint32_t symbols) {
    constexpr uint32_t LARGEST_GUESS = 64 * 1024;
    uint32_t groups = INITIAL_INDEX_GROUPS;
    while (groups < LARGEST_GUESS && uint64_t(symbols) * 8 > uint64_t(groups) * GROUP_SLOTS * 7) groups *= 2;
    return groups;
}

}  // namespace

void SymbolTable::index_record(uint64_t hash, uint32_t offset) {
    uint32_t group = uint32_t(hash) & mask_;
    while (!empty_bytes(groups_[group].tags)) group = (group + 1) & mask_;
    IndexGroup& target = groups_[group];
    int slot = byte_position(empty_bytes(target.tags));
    target.tags |= tag_of(hash) << (8 * slot);
    target.held[slot] = offset + 1;
}

// The record holds `name`, whose leading word is `word`. The record's own
// leading word is one load, masked to its length; the slack after the last
// record keeps that load inside the arena.
bool SymbolTable::record_holds(const uint8_t* record, const char* name, int length, uint64_t word) const {
    if (record[LENGTH_AT] != length) return false;
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

// Offset of the record of `name`, or -1.
int32_t SymbolTable::find_record(const char* name, int length, uint64_t word, uint64_t hash) const {
    uint64_t tag = tag_of(hash);
    for (uint32_t group = uint32_t(hash) & mask_;; group = (group + 1) & mask_) {
        const IndexGroup& candidates = groups_[group];
        for (uint64_t match = matching_bytes(candidates.tags, tag); match; match &= match - 1) {
            uint32_t held = candidates.held[byte_position(match)];
            if (held && record_holds(records_ + held - 1, name, length, word)) return int32_t(held - 1);
        }
        if (empty_bytes(candidates.tags)) return -1;
    }
}

bool SymbolTable::rebuild_index(uint32_t group_count) {
    IndexGroup* groups = static_cast<IndexGroup*>(std::calloc(group_count, sizeof(IndexGroup)));
    if (!groups) return false;
    std::free(groups_);
    groups_ = groups;
    mask_ = group_count - 1;
    for (uint32_t offset = 0; offset < used_;) {
        const uint8_t* record = records_ + offset;
        const char* name = reinterpret_cast<const char*>(record + NAME_AT);
        int length = record[LENGTH_AT];
        index_record(name_hash(name, length, leading_word(name, length)), offset);
        offset += record_size(length);
    }
    return true;
}

// Makes room in the index for one more record.
bool SymbolTable::reserve_index_slot() {
    if (!groups_) return rebuild_index(INITIAL_INDEX_GROUPS);
    uint64_t slots = (uint64_t(mask_) + 1) * GROUP_SLOTS;
    if (uint64_t(count_ + 1) * 8 <= slots * 7) return true;
    return slots * 2 <= UINT32_MAX && rebuild_index(uint32_t((mask_ + 1) * 2));
}

// Makes room for `size` more bytes of records, doubling the arena.
bool SymbolTable::reserve_record(uint32_t size) {
    uint64_t needed = uint64_t(used_) + size + RECORD_SLACK;
    if (needed <= capacity_) return true;
    uint64_t capacity = uint64_t(capacity_) * 2;
    if (capacity < needed) capacity = needed;
    if (capacity > ARENA_LIMIT) return false;
    void* block = std::realloc(records_, size_t(capacity));
    if (!block) return false;
    records_ = static_cast<uint8_t*>(block);
    capacity_ = uint32_t(capacity);
    return true;
}

int SymbolTable::init(uint32_t expected_symbols) {
    free();
    records_ = static_cast<uint8_t*>(std::malloc(SYMTAB_INITIAL_BYTES));
    if (!records_ || !rebuild_index(index_groups_for(expected_symbols))) {
        free();
        return -1;
    }
    capacity_ = SYMTAB_INITIAL_BYTES;
    return 0;
}

int SymbolTable::find(const char* name, int length, int32_t* value) const {
    if (value) *value = 0;
    if (count_ == 0 || length <= 0 || length > SYMBOL_NAME_LIMIT) return -1;
    uint64_t word = leading_word(name, length);
    int32_t offset = find_record(name, length, word, name_hash(name, length, word));
    if (offset >= 0 && value) std::memcpy(value, records_ + offset, VALUE_BYTES);
    return offset;
}

int SymbolTable::add(const char* name, int length, int32_t value, bool unsettled, uint8_t kind) {
    if (length <= 0 || length > SYMBOL_NAME_LIMIT) return SYMTAB_NO_MEMORY;
    uint64_t word = leading_word(name, length);
    uint64_t hash = name_hash(name, length, word);
    if (count_ > 0 && find_record(name, length, word, hash) >= 0) return SYMTAB_PRESENT;
    uint32_t size = record_size(length);
    if (!reserve_record(size) || !reserve_index_slot()) return SYMTAB_NO_MEMORY;
    uint8_t* record = records_ + used_;
    std::memcpy(record, &value, VALUE_BYTES);
    record[LENGTH_AT] = uint8_t(length);
    record[MARKS_AT] = uint8_t(1 | (unsettled ? UNSETTLED : 0));
    record[KIND_AT] = kind;
    copy_name(record + NAME_AT, name, length, word);
    index_record(hash, used_);
    last_added_ = int(used_);
    used_ += size;
    ++count_;
    return SYMTAB_ADDED;
}

int32_t SymbolTable::value_at(int position) const {
    int32_t value;
    std::memcpy(&value, records_ + position, VALUE_BYTES);
    return value;
}

void SymbolTable::set_value(int position, int32_t value) { std::memcpy(records_ + position, &value, VALUE_BYTES); }

void SymbolTable::set_defined_in(int position, uint8_t pass) {
    uint8_t& marks = records_[position + MARKS_AT];
    marks = uint8_t((marks & UNSETTLED) | (pass & PASS_BITS));
}

uint64_t SymbolTable::hint(const char* name, int length) const {
    return length > 0 ? name_hash(name, length, leading_word(name, length)) : 0;
}

void SymbolTable::prefetch_group(uint64_t hint) const {
    if (hint && groups_) __builtin_prefetch(&groups_[uint32_t(hint) & mask_]);
}

void SymbolTable::prefetch_record(uint64_t hint) const {
    if (!hint || !groups_) return;
    const IndexGroup& candidates = groups_[uint32_t(hint) & mask_];
    uint64_t match = matching_bytes(candidates.tags, tag_of(hint));
    uint32_t held = match ? candidates.held[byte_position(match)] : 0;
    if (held) __builtin_prefetch(records_ + held - 1);
}

void SymbolTable::free() {
    std::free(records_);
    std::free(groups_);
    records_ = nullptr;
    groups_ = nullptr;
    used_ = capacity_ = mask_ = 0;
    count_ = 0;
    last_added_ = -1;
}

}  // namespace vexa
