// The first pass's record of each line, so that the second pass can replay a
// statement's bytes instead of assembling it again. A statement is replayed
// only when nothing it read can differ in the second pass: it named no symbol
// that was still undefined, reported nothing, and stands where it stood.
#include <cstdlib>
#include <cstring>

#include "driver/driver.h"
#include "encode/encode.h"
#include "output/output.h"
#include "parse/parse.h"

namespace vexa {

namespace {

// Each line's record: its tag, then what the tag needs. A replayed line
// also records its length in the source with its line end.
enum RecordTag : uint8_t {
    TAG_NO_BYTES,    // [length]: an empty or comment line, or a label alone
    TAG_CODE,        // [length][REP/LOCK prefix][segment prefix][count][bytes]
    TAG_DATA,        // [length][count][bytes]: a DB or DW without DUP
    TAG_REASSEMBLE,  // [location after it, 4 bytes]: assembled again
};

// The largest record: a tag, the length, a count and a data statement's bytes.
constexpr uint32_t LARGEST_RECORD = 3 + DATA_CAPACITY;
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

// Room for one more record; false (and the record unusable) without memory.
bool make_room() {
    if (record.capacity - record.used >= LARGEST_RECORD) return true;
    uint32_t capacity = record.capacity ? record.capacity * 2 : 64 * 1024;
    void* grown = capacity > record.capacity ? std::realloc(record.bytes, capacity) : nullptr;
    if (!grown) {
        record.usable = false;
        return false;
    }
    record.bytes = static_cast<uint8_t*>(grown);
    record.capacity = capacity;
    return true;
}

void put(uint8_t byte) { record.bytes[record.used++] = byte; }

void put_bytes(const uint8_t* bytes, uint8_t count) {
    put(count);
    std::memcpy(record.bytes + record.used, bytes, count);
    record.used += count;
}

uint8_t take() { return record.bytes[record.cursor++]; }

void take_bytes(uint8_t* into, uint8_t& count) {
    count = take();
    std::memcpy(into, record.bytes + record.cursor, count);
    record.cursor += count;
}

}  // namespace

void reset_statement_record() {
    std::free(record.bytes);
    record = Record{};
}

void begin_replay() {
    record.cursor = 0;
    record.diverged = !record.usable;
    record.checking = false;
}

void record_statement(Replay replay, size_t line_bytes) {
    if (!record.usable || !make_room()) return;
    if (line_bytes > LONGEST_REPLAYED_LINE) replay = REPLAY_NONE;
    if (replay != REPLAY_NONE) {
        put(replay == REPLAY_NO_BYTES ? TAG_NO_BYTES : replay == REPLAY_CODE ? TAG_CODE : TAG_DATA);
        put(uint8_t(line_bytes));
    }
    switch (replay) {
        case REPLAY_NO_BYTES:
            break;
        case REPLAY_CODE:
            put(code_prefix);
            put(dst.seg_override ? dst.seg_override : src.seg_override);
            put_bytes(code_buf, code_len);
            break;
        case REPLAY_DATA:
            put_bytes(data_buf, data_len);
            break;
        case REPLAY_NONE: {
            put(TAG_REASSEMBLE);
            uint32_t location = uint32_t(location_counter);
            for (int shift = 0; shift < 32; shift += 8) put(uint8_t(location >> shift));
            break;
        }
    }
}

Replay replay_statement() {
    if (record.checking && location_counter != record.expected_location) record.diverged = true;
    record.checking = false;
    if (record.diverged || record.cursor >= record.used) return REPLAY_NONE;
    uint8_t tag = take();
    if (tag != TAG_REASSEMBLE) take();  // the line's length: it is read as it stands
    switch (tag) {
        case TAG_NO_BYTES:
            return REPLAY_NO_BYTES;
        case TAG_CODE:
            code_prefix = take();
            dst.seg_override = take();
            take_bytes(code_buf, code_len);
            return REPLAY_CODE;
        case TAG_DATA:
            take_bytes(data_buf, data_len);
            return REPLAY_DATA;
        default: {
            uint32_t location = 0;
            for (int shift = 0; shift < 32; shift += 8) location |= uint32_t(take()) << shift;
            record.expected_location = int32_t(location);
            record.checking = true;
            return REPLAY_NONE;
        }
    }
}

int replay_unlisted_lines() {
    if (record.checking && location_counter != record.expected_location) record.diverged = true;
    record.checking = false;
    if (record.diverged) return 0;
    const uint8_t* at = record.bytes + record.cursor;
    const uint8_t* end = record.bytes + record.used;
    int written = 0;
    while (at < end && *at != TAG_REASSEMBLE && written == 0) {
        uint8_t tag = at[0];
        skip_source(at[1]);
        ++line_number;
        at += 2;
        if (tag == TAG_CODE) {
            // As emit_code writes them: the line's prefix, the segment override, the bytes.
            if (at[0]) written = emit_bytes(at, 1);
            if (at[1] && written == 0) written = emit_bytes(at + 1, 1);
            at += 2;
        }
        if (tag != TAG_NO_BYTES) {
            if (written == 0) written = emit_bytes(at + 1, at[0]);
            at += 1 + at[0];
        }
    }
    record.cursor = uint32_t(at - record.bytes);
    return written;
}

}  // namespace vexa
