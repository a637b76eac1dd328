// The object image: statement bytes in order, gaps skipped forward, through
// the output form of the image's file.
#include <cstring>

#include "driver/assembly.h"
#include "output/output.h"

namespace vexa {

namespace {

// How many of `count` bytes at `address` lie inside the segment. (Past
// 7FFFFFFFH an address reads as negative: far beyond the end.)
size_t inside_segment(int32_t address, size_t count) {
    uint64_t location = uint32_t(address);
    if (location + count <= uint64_t(SEGMENT_END)) return count;
    return location < uint64_t(SEGMENT_END) ? size_t(uint64_t(SEGMENT_END) - location) : 0;
}

}  // namespace

OutputForm::~OutputForm() = default;

void ComImage::restart() {
    started_ = false;
    kept_start_ = SIZE_MAX;
    kept_end_ = 0;
    frame_ = 0;
    if (laid_out_) {
        layout_.assign(layout_bytes_, 0);
    } else {
        layout_.clear();
        layout_.shrink_to_fit();
    }
}

bool ComImage::finish(int32_t origin, int64_t end) {
    if (!laid_out_ || layout_.empty()) return true;
    int64_t from = origin < 0 ? 0 : origin;
    int64_t to = end > SEGMENT_END ? SEGMENT_END : end;
    return to <= from || sink_.put(layout_.data() + from, size_t(to - from));
}

bool ComImage::write_elsewhere(int32_t address, const uint8_t* bytes, size_t count) {
    size_t inside = inside_segment(address, count);
    // Laid out, the bytes stay at their addresses until finish(); the fast
    // path never matches, as nothing starts the file.
    if (!layout_.empty()) {
        uint64_t at = uint64_t(uint32_t(address)) + uint64_t(int64_t(frame_));
        if (at + inside > layout_.size()) inside = at < layout_.size() ? size_t(layout_.size() - at) : 0;
        if (inside) std::memcpy(layout_.data() + at, bytes, inside);
        if (inside && at + inside > kept_end_) kept_end_ = size_t(at + inside);
        if (inside && at < kept_start_) kept_start_ = size_t(at);
        return true;
    }
    if (!started_) {
        started_ = true;
        end_ = uint32_t(address);
    }
    if (inside == 0 || uint32_t(address) < end_) return true;
    // The gaps before the bytes, as zeros the file skips.
    if (uint32_t(address) > end_ && !sink_.skip(uint32_t(address) - end_)) return false;
    end_ = uint32_t(address) + uint32_t(inside);
    return sink_.put(bytes, inside);
}

// The sink skips what lies inside the segment; it writes what it holds
// back first, as for a gap of any size.
bool ComImage::gap(int32_t address, uint64_t count) {
    if (!layout_.empty()) return true;
    uint32_t at = uint32_t(address);
    if (!started_) {
        started_ = true;
        end_ = at;
    }
    uint64_t skipped = 0;
    if (at >= end_) {
        size_t inside = inside_segment(address, size_t(count < uint64_t(SEGMENT_END) ? count : SEGMENT_END));
        if (inside) {
            skipped = at - end_ + inside;
            end_ = at + uint32_t(inside);
        }
    }
    return sink_.skip(skipped);
}

int instruction_image(const Statement& s, uint8_t* to) {
    // One segment prefix at most: the first operand's override wins.
    uint8_t prefix = s.dst.seg_override ? s.dst.seg_override : s.src.seg_override;
    uint8_t* at = to;
    *at = s.code_prefix;
    at += s.code_prefix != 0;
    *at = prefix;
    at += prefix != 0;
    std::memcpy(at, s.code_buf, CODE_CAPACITY);
    return int(at - to) + s.code_len;
}

int emit_code(Assembly& assembly, const Statement& s) {
    uint8_t prefix = s.dst.seg_override ? s.dst.seg_override : s.src.seg_override;
    if (!assembly.pass.writes) {
        advance_location(assembly.pass, int64_t(s.code_len) + (s.code_prefix != 0) + (prefix != 0));
        return 0;
    }
    if (!s.code_prefix && !prefix) return emit_bytes(assembly, s.code_buf, s.code_len);
    // The prefixes, then the instruction, in one write.
    uint8_t bytes[INSTRUCTION_IMAGE_BYTES];
    return emit_bytes(assembly, bytes, size_t(instruction_image(s, bytes)));
}

int emit_data(Assembly& assembly, const Statement& s) { return emit_bytes(assembly, s.data_buf, s.data_len); }

int emit_repeated(Assembly& assembly, const uint8_t* bytes, uint32_t length, uint32_t count) {
    if (length == 0) return 0;  // a pattern of no bytes (an item in error) adds nothing
    if (!assembly.pass.writes) {
        advance_location(assembly.pass, int64_t(length) * count);
        return 0;
    }
    // Whole copies of the pattern fill a block, written as often as it fits.
    uint8_t block[4096];
    static_assert(sizeof block >= DATA_CAPACITY);
    uint32_t copies_per_block = sizeof block / length;
    for (uint32_t i = 0; i < copies_per_block; ++i) std::memcpy(block + i * length, bytes, length);
    while (count > 0) {
        uint32_t copies = count < copies_per_block ? count : copies_per_block;
        if (emit_bytes(assembly, block, size_t(copies) * length) != 0) return -1;
        count -= copies;
    }
    return 0;
}

int emit_gap(Assembly& assembly, int64_t count) {
    Pass& pass = assembly.pass;
    if (pass.writes && !assembly.image.gap(pass.location_counter, uint64_t(count))) return -1;
    advance_location(pass, count);
    return 0;
}

int emit_data_image(Assembly& assembly, const Statement& s) {
    if (s.data_run_count == 0) return emit_data(assembly, s);
    for (int i = 0; i < s.data_run_count; ++i) {
        const DataRun& run = s.data_runs[i];
        int result = run.reserved ? emit_gap(assembly, int64_t(run.length) * run.repeat)
                                  : emit_repeated(assembly, s.data_buf + run.start, run.length, run.repeat);
        if (result < 0) return result;
    }
    return 0;
}

bool passes_segment_end(Assembly& assembly) {
    Pass& pass = assembly.pass;
    if (pass.segment_end_passed || uint32_t(pass.location_counter) <= uint32_t(SEGMENT_END)) return false;
    pass.segment_end_passed = true;
    assembly.segment_end_passed = true;
    return true;
}

}  // namespace vexa
