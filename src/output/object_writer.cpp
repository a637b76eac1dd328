// The object image: statement bytes written in order, gaps skipped forward.
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "driver/driver.h"
#include "encode/encode.h"
#include "output/output.h"

namespace vexa {

int object_error_number;

namespace {

bool segment_end_passed;  // in this pass

// Beyond the segment the location counter goes on counting, so that later
// statements keep their addresses; beyond 32 bits it wraps.
void advance_location(int64_t count) { location_counter = int32_t(uint32_t(location_counter) + uint32_t(count)); }

// How many of `count` bytes at the location counter lie inside the segment.
// (Past 7FFFFFFFH the counter reads as negative: far beyond the end.)
size_t inside_segment(size_t count) {
    uint64_t location = uint32_t(location_counter);
    if (location + count <= uint64_t(SEGMENT_END)) return count;
    return location < uint64_t(SEGMENT_END) ? size_t(uint64_t(SEGMENT_END) - location) : 0;
}

// The bytes a statement writes at most by the quick way below.
constexpr size_t SMALL_WRITE = 16;

// One byte at a time, as the stream takes them; the object file is touched
// by this thread only: no stream locking is needed.
[[gnu::noinline]] size_t put_each(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (putc_unlocked(bytes[i], object_file) == EOF) return i;
    }
    return count;
}

// A statement's few bytes, into the stream's buffer. Where the C library
// shows its buffer and the bytes fit in it, sixteen are copied at once and
// `count` of them kept, just as putc would put them one by one (a loop whose
// length each statement changes costs a mispredicted branch). `bytes` may
// then be read sixteen bytes on: every caller's few bytes lie in a larger
// buffer (code_buf within a local block, data_buf, the first pass's record,
// a repeated block).
size_t write_to_object(const uint8_t* bytes, size_t count) {
#ifdef __GLIBC__
    char* room = object_file->_IO_write_ptr;
    if (count <= SMALL_WRITE && object_file->_IO_write_end - room >= ptrdiff_t(SMALL_WRITE)) {
        std::memcpy(room, bytes, SMALL_WRITE);
        object_file->_IO_write_ptr = room + count;
        return count;
    }
#endif
    return put_each(bytes, count);
}

}  // namespace

int emit_bytes(const uint8_t* bytes, size_t count) {
    if (pass_index == 1) {
        size_t written = inside_segment(count);
        if (write_to_object(bytes, written) != written) {
            object_error_number = errno;
            return -1;
        }
    }
    advance_location(int64_t(count));
    return 0;
}

void set_location(int32_t address) { location_counter = address; }

bool passes_segment_end() {
    if (segment_end_passed || uint32_t(location_counter) <= uint32_t(SEGMENT_END)) return false;
    segment_end_passed = true;
    return true;
}

void reset_segment_end() { segment_end_passed = false; }

int emit_code(uint8_t count) {
    // One prefix at most: the first operand's override wins.
    uint8_t prefix = dst.seg_override ? dst.seg_override : src.seg_override;
    if (pass_index == 0) {
        advance_location(int64_t(count) + (code_prefix != 0) + (prefix != 0));
        return 0;
    }
    // The prefixes, then the instruction, in one write.
    uint8_t bytes[16];
    static_assert(sizeof bytes >= 2 + CODE_CAPACITY && sizeof bytes >= SMALL_WRITE);
    uint8_t* at = bytes;
    *at = code_prefix;
    at += code_prefix != 0;
    *at = prefix;
    at += prefix != 0;
    std::memcpy(at, code_buf, CODE_CAPACITY);
    return emit_bytes(bytes, size_t(at - bytes) + count);
}

int emit_data(uint8_t count) { return emit_bytes(data_buf, count); }

int emit_repeated(const uint8_t* bytes, uint8_t length, uint32_t count) {
    if (pass_index == 0) {
        advance_location(int64_t(length) * count);
        return 0;
    }
    // Whole copies of the pattern fill a block, written as often as it fits.
    uint8_t block[4096];
    uint32_t copies_per_block = sizeof block / length;
    for (uint32_t i = 0; i < copies_per_block; ++i) std::memcpy(block + i * length, bytes, length);
    while (count > 0) {
        uint32_t copies = count < copies_per_block ? count : copies_per_block;
        if (emit_bytes(block, size_t(copies) * length) != 0) return -1;
        count -= copies;
    }
    return 0;
}

int emit_gap(int64_t count) {
    if (pass_index == 1 && std::fseek(object_file, long(count), SEEK_CUR) != 0) {
        object_error_number = errno;
        return -1;
    }
    advance_location(count);
    return 0;
}

int close_object_file() {
    int result = std::fclose(object_file);
    object_file = nullptr;
    if (result != 0) object_error_number = errno;
    return result == 0 ? 0 : -1;
}

}  // namespace vexa
