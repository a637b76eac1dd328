// The first pass's record of each statement, so that the later passes can
// replay its bytes instead of assembling it again. A statement is replayed
// only when nothing it read can differ in a later pass: it named no symbol
// that was still undefined or whose value may change, reported nothing, and
// stands where it stood. A jump or call to a name still undefined is encoded
// from the name's value once that is known, and assembled again only when it
// is not.
#include <cstdlib>
#include <cstring>

#include "driver/assembly.h"
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

// A line replayed is never longer than this, nor a data statement's bytes
// more: each is counted in one byte.
constexpr uint32_t LONGEST_REPLAYED_LINE = 255;
constexpr uint32_t LONGEST_REPLAYED_DATA = 255;
// The largest record: the head, the length, a count and a data statement's
// bytes, with the room its copy may write beyond them.
constexpr uint32_t LARGEST_RECORD = 3 + LONGEST_REPLAYED_DATA + 8;

// How many statements ahead the index group, then the record, is fetched.
constexpr uint32_t GROUP_AHEAD = 16;
constexpr uint32_t RECORD_AHEAD = 8;

// A line of the usual length lies in at most two cache lines.
void prefetch_line(const uint8_t* line) {
    __builtin_prefetch(line);
    __builtin_prefetch(line + 48);
}

// Eight bytes a step: the counts are small (the library's copy would cost
// more to start than this takes), the buffers are whole eights long and the
// record keeps room beyond its end.
constexpr uint32_t COPY_STEP = 8;
static_assert(CODE_CAPACITY == COPY_STEP && DATA_CAPACITY % COPY_STEP == 0 && DATA_CAPACITY > LONGEST_REPLAYED_DATA);

uint8_t* copy_out(uint8_t* at, const uint8_t* bytes, uint8_t count) {
    for (uint32_t i = 0; i < count; i += COPY_STEP) std::memcpy(at + i, bytes + i, COPY_STEP);
    return at + count;
}

const uint8_t* copy_in(uint8_t* into, const uint8_t* at, uint8_t count) {
    for (uint32_t i = 0; i < count; i += COPY_STEP) std::memcpy(into + i, at + i, COPY_STEP);
    return at + count;
}

}  // namespace

StatementRecord::~StatementRecord() {
    std::free(bytes_);
    std::free(hints_);
}

void StatementRecord::begin(size_t source_bytes) {
    // The first block is sized from the source, whose lines are mostly twice
    // as long as their records or more: a large program's record is then not
    // copied as it grows, and the pages it does not use are never touched.
    constexpr size_t SMALLEST = 64 * 1024;
    constexpr size_t LARGEST = size_t(256) << 20;
    size_t half_source = source_bytes / 2;
    first_capacity_ = uint32_t(half_source < SMALLEST ? SMALLEST : half_source > LARGEST ? LARGEST : half_source);
}

void StatementRecord::note_reassembly(const Statement& s, const uint8_t* line) {
    if (!hints_usable_) return;
    if (hint_count_ == hint_capacity_) {
        uint32_t capacity = hint_capacity_ ? hint_capacity_ * 2 : 4096;
        void* grown = capacity > hint_capacity_ ? std::realloc(hints_, capacity * sizeof(Reassembly)) : nullptr;
        if (!grown) {
            hints_usable_ = false;
            return;
        }
        hints_ = static_cast<Reassembly*>(grown);
        hint_capacity_ = capacity;
    }
    hints_[hint_count_++] = {s.unresolved_name_hint, line};
}

// Each statement assembled again, in order, so that a later pass fetches its
// line and the symbol it will look up a few statements ahead: the source was
// read long ago, and those names are spread over the whole table, which
// outgrows the caches.
void StatementRecord::prefetch_names_ahead(const Assembly& assembly) {
    if (!hints_usable_) return;
    uint32_t next = hint_cursor_++;
    if (next + GROUP_AHEAD < hint_count_) {
        assembly.symbols.prefetch_group(hints_[next + GROUP_AHEAD].hint);
        prefetch_line(hints_[next + GROUP_AHEAD].line);
    }
    if (next + RECORD_AHEAD < hint_count_) assembly.symbols.prefetch_record(hints_[next + RECORD_AHEAD].hint);
}

// Room for one more record; false (and the record unusable) without memory.
bool StatementRecord::make_room() {
    if (capacity_ - used_ >= LARGEST_RECORD) return true;
    uint32_t capacity = capacity_ ? capacity_ * 2 : first_capacity_;
    void* grown = capacity > capacity_ ? std::realloc(bytes_, capacity) : nullptr;
    if (!grown) {
        usable_ = false;
        return false;
    }
    bytes_ = static_cast<uint8_t*>(grown);
    capacity_ = capacity;
    return true;
}

// A jump or call to a name the first pass had not seen: its bytes when the
// name is now defined and within reach, else REPLAY_NONE (it is assembled
// again, and reports what it must).
Replay StatementRecord::replay_target(Statement& s, const uint8_t* at, size_t* line_bytes) {
    int32_t target;
    const char* name = reinterpret_cast<const char*>(at + 4);
    if (s.assembly.symbols.find(name, at[3], &target) < 0) return REPLAY_NONE;
    if (!encode_relative_target(s, RelativeTarget{at[1], at[2]}, target)) return REPLAY_NONE;
    *line_bytes = at[0];
    return REPLAY_CODE;
}

void StatementRecord::begin_replay() {
    cursor_ = 0;
    hint_cursor_ = 0;
    diverged_ = !usable_;
    checking_ = false;
}

void StatementRecord::record(const Statement& s, Replay replay, size_t line_bytes, const uint8_t* line) {
    if (!usable_ || !make_room()) return;
    if (line_bytes > LONGEST_REPLAYED_LINE || (replay == REPLAY_DATA && s.data_len > LONGEST_REPLAYED_DATA)) {
        replay = REPLAY_NONE;
    }
    uint8_t* at = bytes_ + used_;
    if (replay == REPLAY_NONE || replay == REPLAY_TARGET) {
        *at++ = replay == REPLAY_TARGET ? TAG_REASSEMBLE | HAS_TARGET : TAG_REASSEMBLE;
        uint32_t location = uint32_t(s.pass.location_counter);
        std::memcpy(at, &location, sizeof location);
        at += sizeof location;
        if (replay == REPLAY_TARGET) {
            uint8_t length = uint8_t(std::strlen(s.operand_text));
            *at++ = uint8_t(line_bytes);
            *at++ = s.relative_target.opcode;
            *at++ = s.relative_target.width;
            *at++ = length;
            at = copy_out(at, reinterpret_cast<const uint8_t*>(s.operand_text), length);
        }
        used_ = uint32_t(at - bytes_);
        note_reassembly(s, line);
        return;
    }
    uint8_t* head = at;
    *head = replay == REPLAY_NO_BYTES ? TAG_NO_BYTES : replay == REPLAY_CODE ? TAG_CODE : TAG_DATA;
    at[1] = uint8_t(line_bytes);
    at += 2;
    if (replay == REPLAY_CODE) {
        uint8_t segment = s.dst.seg_override ? s.dst.seg_override : s.src.seg_override;
        *head |= uint8_t(s.code_len << COUNT_SHIFT);
        if (s.code_prefix) {
            *head |= HAS_LINE_PREFIX;
            *at++ = s.code_prefix;
        }
        if (segment) {
            *head |= HAS_SEGMENT_PREFIX;
            *at++ = segment;
        }
        std::memcpy(at, s.code_buf, CODE_CAPACITY);  // an instruction is one step
        at += s.code_len;
    }
    if (replay == REPLAY_DATA) {
        *at++ = uint8_t(s.data_len);
        at = copy_out(at, s.data_buf, uint8_t(s.data_len));
    }
    used_ = uint32_t(at - bytes_);
}

// True once the pass stands elsewhere than the first did after the last
// statement assembled again: nothing more is replayed.
bool StatementRecord::diverged(int32_t location) {
    if (checking_ && location != expected_location_) diverged_ = true;
    checking_ = false;
    return diverged_;
}

Replay StatementRecord::replay(Statement& s, size_t* line_bytes) {
    if (diverged(s.pass.location_counter) || cursor_ >= used_) return REPLAY_NONE;
    const uint8_t* at = bytes_ + cursor_;
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
            s.code_prefix = head & HAS_LINE_PREFIX ? *at++ : 0;
            s.dst.seg_override = head & HAS_SEGMENT_PREFIX ? *at++ : 0;
            s.code_len = head >> COUNT_SHIFT;
            std::memcpy(s.code_buf, at, CODE_CAPACITY);
            at += s.code_len;
            break;
        case TAG_DATA:
            replay = REPLAY_DATA;
            *line_bytes = *at++;
            s.data_len = *at++;
            at = copy_in(s.data_buf, at, s.data_len);
            break;
        default: {
            uint32_t location;
            std::memcpy(&location, at, sizeof location);
            at += sizeof location;
            expected_location_ = int32_t(location);
            checking_ = true;
            prefetch_names_ahead(s.assembly);
            if (head & HAS_TARGET) {
                replay = replay_target(s, at, line_bytes);
                at += 4 + at[3];
            }
            break;
        }
    }
    cursor_ = uint32_t(at - bytes_);
    return replay;
}

int StatementRecord::replay_unlisted_lines(Assembly& assembly) {
    Pass& pass = assembly.pass;
    if (diverged(pass.location_counter)) return 0;
    const uint8_t* at = bytes_ + cursor_;
    const uint8_t* end = bytes_ + used_;
    int written = 0;
    while (at < end && (*at & TAG_BITS) != TAG_REASSEMBLE && written == 0) {
        uint8_t head = at[0];
        pass.reader.skip(at[1]);
        ++pass.statement_count;
        at += 2;
        uint8_t count = 0;
        if ((head & TAG_BITS) == TAG_CODE) {
            // The prefixes stand before the instruction's bytes, as emit_code writes them.
            count = uint8_t((head >> COUNT_SHIFT) + ((head & HAS_LINE_PREFIX) != 0) + ((head & HAS_SEGMENT_PREFIX) != 0));
        }
        if ((head & TAG_BITS) == TAG_DATA) count = *at++;
        if (count) written = emit_bytes(assembly, at, count);
        at += count;
    }
    cursor_ = uint32_t(at - bytes_);
    return written;
}

}  // namespace vexa
