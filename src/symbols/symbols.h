// Symbols: label and EQU values, carried from each pass to the next.
#pragma once

#include <cstdint>

namespace vexa {

// Every character of a name counts; names are compared as written (the
// parser upper-cases them). One record a symbol, in the order they were
// added: [int32 value][uint8 length][uint8 marks][uint8 kind][name bytes], packed one
// after another, so that a short name costs little and a long one is not
// cut. A hash index beside the records finds a name with one probe.
class SymbolTable {
public:
    SymbolTable() = default;
    SymbolTable(const SymbolTable&) = delete;
    SymbolTable& operator=(const SymbolTable&) = delete;
    ~SymbolTable() { free(); }

    // An empty table; its index is sized for about `expected_symbols` names
    // (a guess: it grows as needed), which spares rebuilding it as it fills.
    // 0, or -1 without memory.
    int init(uint32_t expected_symbols = 0);
    void free();

    // The symbol's position (its record's offset: later symbols stand further
    // on), or -1. `*value` is 0 unless the name is found. A name of no
    // characters is never found.
    int find(const char* name, int length, int32_t* value) const;
    // `length` is 1 to SYMBOL_NAME_LIMIT; a name outside that is refused as
    // SYMTAB_NO_MEMORY (no record can hold it). The symbol counts as defined
    // in the first pass; `unsettled` marks it so. `kind` (a SymbolKind) says
    // what defined it, for messages and the map.
    int add(const char* name, int length, int32_t value, bool unsettled = false, uint8_t kind = 0);
    // The position of the symbol added last.
    int last_added() const { return last_added_; }
    uint8_t kind_at(int position) const { return records_[position + KIND_AT]; }
    void set_kind(int position, uint8_t kind) { records_[position + KIND_AT] = kind; }

    // Every symbol in the order added: from position 0 while below end_position().
    int end_position() const { return int(used_); }
    int next_position(int position) const { return position + int(NAME_AT) + records_[position + LENGTH_AT]; }
    const char* name_at(int position) const { return reinterpret_cast<const char*>(records_ + position + NAME_AT); }
    int name_length_at(int position) const { return records_[position + LENGTH_AT]; }

    // A symbol found or added, by its position.
    int32_t value_at(int position) const;
    void set_value(int position, int32_t value);
    // The pass that last defined it (0 for none since it was added).
    uint8_t defined_in(int position) const { return records_[position + MARKS_AT] & PASS_BITS; }
    void set_defined_in(int position, uint8_t pass);
    // Its value came from names not defined yet: it may change in a later pass.
    bool is_unsettled(int position) const { return records_[position + MARKS_AT] & UNSETTLED; }
    void set_unsettled(int position, bool unsettled) {
        uint8_t& marks = records_[position + MARKS_AT];
        marks = uint8_t(unsettled ? marks | UNSETTLED : marks & PASS_BITS);
    }

    // Looking a name up ahead of time: a later pass knows which names its
    // statements assembled again will ask for. A hint is the name's place in
    // the index; the prefetches bring its index group, then (once that is at
    // hand) its record into the cache, and change nothing else. A hint of 0
    // is none.
    uint64_t hint(const char* name, int length) const;
    void prefetch_group(uint64_t hint) const;
    void prefetch_record(uint64_t hint) const;

    int32_t count() const { return count_; }
    uint32_t capacity() const { return capacity_; }

    // Record layout, in bytes from a record's start.
    static constexpr uint32_t VALUE_BYTES = 4;
    static constexpr uint32_t LENGTH_AT = VALUE_BYTES;
    static constexpr uint32_t MARKS_AT = LENGTH_AT + 1;
    static constexpr uint32_t KIND_AT = MARKS_AT + 1;
    static constexpr uint32_t NAME_AT = KIND_AT + 1;
    static constexpr uint8_t UNSETTLED = 0x80;
    static constexpr uint8_t PASS_BITS = 0x7F;

    // The index is an array of groups of eight slots. Each slot has a tag
    // byte (0 when empty, else 0x80 and seven bits of the name's hash) and
    // the record's offset plus one. Comparing all eight tags of a group at
    // once keeps the common lookup free of unpredictable branches.
    static constexpr int GROUP_SLOTS = 8;
    struct IndexGroup {
        uint64_t tags;
        uint32_t held[GROUP_SLOTS];
    };

private:
    int32_t find_record(const char* name, int length, uint64_t word, uint64_t hash) const;
    bool record_holds(const uint8_t* record, const char* name, int length, uint64_t word) const;
    void index_record(uint64_t hash, uint32_t offset);
    bool rebuild_index(uint32_t group_count);
    bool reserve_index_slot();
    bool reserve_record(uint32_t size);

    uint8_t* records_ = nullptr;  // null when no table exists
    uint32_t used_ = 0;           // bytes taken by records
    uint32_t capacity_ = 0;       // bytes allocated, always 8 or more beyond `used_`
    int32_t count_ = 0;
    int last_added_ = -1;
    IndexGroup* groups_ = nullptr;
    uint32_t mask_ = 0;  // group count - 1; the count is a power of two
};

// What defined a symbol: a label, EQU, PROC, `=`, or a data directive; a DB
// or DW of one value is marked so, and a variable (a data name written
// without a colon, or one given a type by LABEL) is typed: a memory operand
// that names it takes its size.
enum SymbolKind : uint8_t {
    SYMBOL_LABEL = 0,
    SYMBOL_EQU = 1,
    SYMBOL_PROC = 2,
    SYMBOL_DB = 3,
    SYMBOL_DW = 4,
    SYMBOL_DS = 5,
    SYMBOL_DD = 6,
    SYMBOL_DQ = 7,
    SYMBOL_ASSIGNED = 8,  // NAME = value: may be assigned again
    SYMBOL_LABEL_BYTE = 9,  // NAME LABEL BYTE, WORD, DWORD
    SYMBOL_LABEL_WORD = 10,
    SYMBOL_LABEL_DWORD = 11,
    SYMBOL_FAR_PROC = 12,      // NAME PROC FAR
    SYMBOL_LABEL_FAR = 13,     // NAME LABEL FAR
    SYMBOL_SEGMENT_NAME = 14,  // MASM's segment: its value is its frame's paragraph
    SYMBOL_GROUP_NAME = 15,    // MASM's group, @DATA, @CODE
    SYMBOL_FIELD_BYTE = 16,    // a field of MASM's STRUC: its offset, and its type
    SYMBOL_FIELD_WORD = 17,
    SYMBOL_FIELD_DWORD = 18,
    SYMBOL_ADDRESS = 0x20,  // an EQU or `=` whose value is an address (L+2, $)
    SYMBOL_TYPED = 0x40,
    SYMBOL_ONE_VALUE = 0x80,
};
constexpr uint8_t SYMBOL_KIND_BITS = 0x1F;
constexpr uint8_t symbol_kind(uint8_t kind) { return kind & SYMBOL_KIND_BITS; }
// A name whose value is an address: a label, a variable, a procedure, or an
// EQU or `=` of an address; not one of a number.
constexpr bool is_address_kind(uint8_t kind) {
    uint8_t base = symbol_kind(kind);
    if (base == SYMBOL_SEGMENT_NAME || base == SYMBOL_GROUP_NAME || base >= SYMBOL_FIELD_BYTE) return false;
    return (base != SYMBOL_EQU && base != SYMBOL_ASSIGNED) || (kind & SYMBOL_ADDRESS);
}
// A segment's or a group's name: its value is a paragraph, a relocation.
constexpr bool is_frame_kind(uint8_t kind) {
    return symbol_kind(kind) == SYMBOL_SEGMENT_NAME || symbol_kind(kind) == SYMBOL_GROUP_NAME;
}
// A name of code: a label, a procedure, LABEL NEAR or FAR.
constexpr bool is_code_kind(uint8_t kind) {
    uint8_t base = symbol_kind(kind);
    return base == SYMBOL_LABEL || base == SYMBOL_PROC || base == SYMBOL_FAR_PROC || base == SYMBOL_LABEL_FAR;
}
constexpr bool is_far_kind(uint8_t kind) {
    return symbol_kind(kind) == SYMBOL_FAR_PROC || symbol_kind(kind) == SYMBOL_LABEL_FAR;
}
// Bytes per item of a typed variable (1, 2, 4 or 8), or 0 for any other name.
constexpr int variable_type(uint8_t kind) {
    if (!(kind & SYMBOL_TYPED)) return 0;
    switch (symbol_kind(kind)) {
        case SYMBOL_DB: case SYMBOL_LABEL_BYTE: case SYMBOL_FIELD_BYTE: return 1;
        case SYMBOL_DW: case SYMBOL_LABEL_WORD: case SYMBOL_FIELD_WORD: return 2;
        case SYMBOL_DD: case SYMBOL_LABEL_DWORD: case SYMBOL_FIELD_DWORD: return 4;
        case SYMBOL_DQ: return 8;
        default: return 0;
    }
}

constexpr uint32_t SYMTAB_INITIAL_BYTES = 16 * 1024;
// A record's length byte holds at most this; a source line is shorter.
constexpr int SYMBOL_NAME_LIMIT = 255;

// SymbolTable::add answers
constexpr int SYMTAB_ADDED = 0;
constexpr int SYMTAB_PRESENT = -1;
constexpr int SYMTAB_NO_MEMORY = -2;

}  // namespace vexa
