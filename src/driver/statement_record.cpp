// The first pass's record of each line, so that the second pass can replay a
// statement's bytes instead of assembling it again. A statement is replayed
// only when nothing it read can differ in the second pass: it named no symbol
// that was still undefined, reported nothing, and stands where it stood. A
// jump or call to a name still undefined is encoded from the name's value
// once that is known, and assembled again only when it is not.
#include <cstdlib>
#include <cstring>

#include "driver/driver.h"
#include "encode/encode.h"
#include "output/output.h"
#include "parse/parse.h"
#include "symbols/symbols.h"

namespace vexa {

namespace {

// Each line's record: a head byte, then what its tag needs. A replayed line
// also records its length in the source with its line end. An instruction's
// head also holds its byte count and whether prefixes precede its bytes.
enum RecordTag : uint8_t {
    TAG_NO_BYTES,    // [length]: an empty or comment line, or a label alone
    TAG_CODE,        // [length][REP/LOCK prefix if any][segment prefix if any][bytes]
    TAG_DATA,        // [length][count][bytes]: a DB or DW without DUP
    TAG_REASSEMBLE,  // [location after it, 4 bytes]: assembled again
};
constexpr uint8_t TAG_BITS = 3;
constexpr uint8_t HAS_LINE_PREFIX = 4;
constexpr uint8_t HAS_SEGMENT_PREFIX = 8;
// A reassembled jump or call that its target's value may resolve; after the
// location: [length][opcode][width][name length][name].
constexpr uint8_t HAS_TARGET = 4;
constexpr int COUNT_SHIFT = 4;  // an instruction's byte count, in the head's top bits
static_assert(CODE_CAPACITY < 16);

// The largest record: the head, the length, a count and a data statement's
// bytes, with the room its copy may write beyond them.
constexpr uint32_t LARGEST_RECORD = 3 + DATA_CAPACITY + 8;
// A line replayed is never longer than this (a longer one is an error).
constexpr uint32_t LONGEST_REPLAYED_LINE = 255;

struct Record {
    uint8_t* bytes = nullptr;
    uint32_t used = 0;
    uint32_t capacity = 0;
    uint32_t cursor = 0;     // the next record the second pass reads
    bool usable = true;      // false once the buffer could not grow
    bool diverged = false;   // the second pass stands elsewhere than the first
    bool checking = false;   // a reassembled statement's end is to be compared
    int32_t expected_location = 0;
};

Record record;

// Each statement assembled again, in order, so that the second pass fetches
// its line and the symbol it will look up a few statements ahead: the source
// was read long ago, and those names are spread over the whole table, which
// outgrows the caches.
struct Reassembly {
    uint64_t hint;     // of the first name not defined in the first pass, or 0
    uint32_t line_at;  // the line's offset in the source, or NO_OFFSET
};
constexpr uint32_t NO_OFFSET = UINT32_MAX;

struct ReassemblyHints {
    Reassembly* hints = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;
    uint32_t cursor = 0;  // the next statement the second pass assembles again
    bool usable = true;
};

ReassemblyHints reassembly;

// How many statements ahead the index group, then the record, is fetched.
constexpr uint32_t GROUP_AHEAD = 16;
constexpr uint32_t RECORD_AHEAD = 8;

void note_reassembly_hint(size_t line_bytes) {
    if (!reassembly.usable) return;
    if (reassembly.count == reassembly.capacity) {
        uint32_t capacity = reassembly.capacity ? reassembly.capacity * 2 : 4096;
        void* grown = capacity > reassembly.capacity ? std::realloc(reassembly.hints, capacity * sizeof(Reassembly)) : nullptr;
        if (!grown) {
            reassembly.usable = false;
            return;
        }
        reassembly.hints = static_cast<Reassembly*>(grown);
        reassembly.capacity = capacity;
    }
    size_t line_at = size_t(source.cursor - source.base) - line_bytes;
    reassembly.hints[reassembly.count++] = {unresolved_name_hint, line_at < NO_OFFSET ? uint32_t(line_at) : NO_OFFSET};
}

// A line of the usual length lies in at most two cache lines.
void prefetch_line(uint32_t line_at) {
    if (line_at == NO_OFFSET) return;
    __builtin_prefetch(source.base + line_at);
    __builtin_prefetch(source.base + line_at + 48);
}

void prefetch_names_ahead() {
    if (!reassembly.usable) return;
    uint32_t next = reassembly.cursor++;
    if (next + GROUP_AHEAD < reassembly.count) {
        symtab_prefetch_group(reassembly.hints[next + GROUP_AHEAD].hint);
        prefetch_line(reassembly.hints[next + GROUP_AHEAD].line_at);
    }
    if (next + RECORD_AHEAD < reassembly.count) symtab_prefetch_record(reassembly.hints[next + RECORD_AHEAD].hint);
}

// The first block is sized from the source, whose lines are mostly twice as
// long as their records or more: a large program's record is then not copied
// as it grows, and the pages it does not use are never touched.
uint32_t first_capacity() {
    constexpr size_t SMALLEST = 64 * 1024;
    constexpr size_t LARGEST = size_t(256) << 20;
    size_t half_source = size_t(source.end - source.base) / 2;
    return uint32_t(half_source < SMALLEST ? SMALLEST : half_source > LARGEST ? LARGEST : half_source);
}

// Room for one more record; false (and the record unusable) without memory.
bool make_room() {
    if (record.capacity - record.used >= LARGEST_RECORD) return true;
    uint32_t capacity = record.capacity ? record.capacity * 2 : first_capacity();
    void* grown = capacity > record.capacity ? std::realloc(record.bytes, capacity) : nullptr;
    if (!grown) {
        record.usable = false;
        return false;
    }
    record.bytes = static_cast<uint8_t*>(grown);
    record.capacity = capacity;
    return true;
}

// Eight bytes a step: the counts are small (the library's copy would cost
// more to start than this takes), the buffers are whole eights long and the
// record keeps room beyond its end.
constexpr uint32_t COPY_STEP = 8;
static_assert(CODE_CAPACITY == COPY_STEP && DATA_CAPACITY % COPY_STEP == 0);

uint8_t* copy_out(uint8_t* at, const uint8_t* bytes, uint8_t count) {
    for (uint32_t i = 0; i < count; i += COPY_STEP) std::memcpy(at + i, bytes + i, COPY_STEP);
    return at + count;
}

const uint8_t* copy_in(uint8_t* into, const uint8_t* at, uint8_t count) {
    for (uint32_t i = 0; i < count; i += COPY_STEP) std::memcpy(into + i, at + i, COPY_STEP);
    return at + count;
}

// A jump or call to a name the first pass had not seen: its bytes when the
// name is now defined and within reach, else REPLAY_NONE (it is assembled
// again, and reports what it must).
Replay replay_target(const uint8_t* at, size_t* line_bytes) {
    int32_t target;
    const char* name = reinterpret_cast<const char*>(at + 4);
    if (symtab_find(name, at[3], &target) < 0) return REPLAY_NONE;
    if (!encode_relative_target(RelativeTarget{at[1], at[2]}, target)) return REPLAY_NONE;
    *line_bytes = at[0];
    return REPLAY_CODE;
}

}  // namespace

void reset_statement_record() {
    std::free(record.bytes);
    record = Record{};
    std::free(reassembly.hints);
    reassembly = ReassemblyHints{};
}

void begin_replay() {
    record.cursor = 0;
    reassembly.cursor = 0;
    record.diverged = !record.usable;
    record.checking = false;
}

void record_statement(Replay replay, size_t line_bytes) {
    if (!record.usable || !make_room()) return;
    if (line_bytes > LONGEST_REPLAYED_LINE) replay = REPLAY_NONE;
    uint8_t* at = record.bytes + record.used;
    if (replay == REPLAY_NONE || replay == REPLAY_TARGET) {
        *at++ = replay == REPLAY_TARGET ? TAG_REASSEMBLE | HAS_TARGET : TAG_REASSEMBLE;
        uint32_t location = uint32_t(location_counter);
        std::memcpy(at, &location, sizeof location);
        at += sizeof location;
        if (replay == REPLAY_TARGET) {
            uint8_t length = uint8_t(std::strlen(operand_text));
            *at++ = uint8_t(line_bytes);
            *at++ = relative_target.opcode;
            *at++ = relative_target.width;
            *at++ = length;
            at = copy_out(at, reinterpret_cast<const uint8_t*>(operand_text), length);
        }
        record.used = uint32_t(at - record.bytes);
        note_reassembly_hint(line_bytes);
        return;
    }
    uint8_t* head = at;
    *head = replay == REPLAY_NO_BYTES ? TAG_NO_BYTES : replay == REPLAY_CODE ? TAG_CODE : TAG_DATA;
    at[1] = uint8_t(line_bytes);
    at += 2;
    if (replay == REPLAY_CODE) {
        uint8_t segment = dst.seg_override ? dst.seg_override : src.seg_override;
        *head |= uint8_t(code_len << COUNT_SHIFT);
        if (code_prefix) {
            *head |= HAS_LINE_PREFIX;
            *at++ = code_prefix;
        }
        if (segment) {
            *head |= HAS_SEGMENT_PREFIX;
            *at++ = segment;
        }
        std::memcpy(at, code_buf, CODE_CAPACITY);  // an instruction is one step
        at += code_len;
    }
    if (replay == REPLAY_DATA) {
        *at++ = data_len;
        at = copy_out(at, data_buf, data_len);
    }
    record.used = uint32_t(at - record.bytes);
}

Replay replay_statement(size_t* line_bytes) {
    if (record.checking && location_counter != record.expected_location) record.diverged = true;
    record.checking = false;
    if (record.diverged || record.cursor >= record.used) return REPLAY_NONE;
    const uint8_t* at = record.bytes + record.cursor;
    uint8_t head = *at++;
    Replay replay = REPLAY_NONE;
    switch (head & TAG_BITS) {
        case TAG_NO_BYTES:
            replay = REPLAY_NO_BYTES;
            *line_bytes = *at++;
            break;
        case TAG_CODE:
            replay = REPLAY_CODE;
            *line_bytes = *at++;
            code_prefix = head & HAS_LINE_PREFIX ? *at++ : 0;
            dst.seg_override = head & HAS_SEGMENT_PREFIX ? *at++ : 0;
            code_len = head >> COUNT_SHIFT;
            std::memcpy(code_buf, at, CODE_CAPACITY);
            at += code_len;
            break;
        case TAG_DATA:
            replay = REPLAY_DATA;
            *line_bytes = *at++;
            data_len = *at++;
            at = copy_in(data_buf, at, data_len);
            break;
        default: {
            uint32_t location;
            std::memcpy(&location, at, sizeof location);
            at += sizeof location;
            record.expected_location = int32_t(location);
            record.checking = true;
            prefetch_names_ahead();
            if (head & HAS_TARGET) {
                replay = replay_target(at, line_bytes);
                at += 4 + at[3];
            }
            break;
        }
    }
    record.cursor = uint32_t(at - record.bytes);
    return replay;
}

int replay_unlisted_lines() {
    if (record.checking && location_counter != record.expected_location) record.diverged = true;
    record.checking = false;
    if (record.diverged) return 0;
    const uint8_t* at = record.bytes + record.cursor;
    const uint8_t* end = record.bytes + record.used;
    int written = 0;
    while (at < end && (*at & TAG_BITS) != TAG_REASSEMBLE && written == 0) {
        uint8_t head = at[0];
        skip_source(at[1]);
        ++line_number;
        at += 2;
        uint8_t count = 0;
        if ((head & TAG_BITS) == TAG_CODE) {
            // The prefixes stand before the instruction's bytes, as emit_code writes them.
            count = uint8_t((head >> COUNT_SHIFT) + ((head & HAS_LINE_PREFIX) != 0) + ((head & HAS_SEGMENT_PREFIX) != 0));
        }
        if ((head & TAG_BITS) == TAG_DATA) count = *at++;
        if (count) written = emit_bytes(at, count);
        at += count;
    }
    record.cursor = uint32_t(at - record.bytes);
    return written;
}

}  // namespace vexa
