// The listing: every source line of the pass that writes beside its address
// and bytes, the message of each faulty statement under it, in pages.
//
//   0100  B8 34 12                 000005:          MOV AX,1234H
//   ^addr ^eight 3-character cells ^line number     ^source from column 40
//
// A line of an included file has the letter C in column 30; a line of a
// macro's expansion or a repetition, its nesting depth (1 to 9).
#include <cstring>
#include <string>

#include "driver/assembly.h"
#include "output/output.h"

namespace vexa {

namespace {

constexpr int CELLS = 8;
constexpr const char* HEADER = "ADDR  Object                   Line #   Source Text";
constexpr int PAGE_COLUMN = 112;
constexpr char LINE_END[] = "\r\n";
constexpr char FORM_FEED = '\f';

constexpr char INCLUDED_MARK = 'C';
constexpr int MARK_COLUMN = 30;
// After a word the loader of an .EXE relocates (a segment's value), in its
// last byte's cell; and where the page header names the segment.
constexpr char RELOCATED_MARK = 'R';
constexpr size_t SEGMENT_COLUMN = 80;

// The byte at `index` of the statement's data ends a relocated word.
bool relocated_byte(const Statement& s, int index) {
    for (int i = 0; i < s.data_fixup_count; ++i) {
        if (s.data_fixups[i].at + 1 == index) return true;
    }
    return false;
}

// Two characters for each byte value: "00" to "FF", and "00" to "99".
struct DigitPairs {
    char hex[256][2];
    char decimal[100][2];
};
constexpr DigitPairs build_digit_pairs() {
    DigitPairs pairs{};
    const char* digits = "0123456789ABCDEF";
    for (int i = 0; i < 256; ++i) pairs.hex[i][0] = digits[i >> 4], pairs.hex[i][1] = digits[i & 15];
    for (int i = 0; i < 100; ++i) pairs.decimal[i][0] = char('0' + i / 10), pairs.decimal[i][1] = char('0' + i % 10);
    return pairs;
}
constexpr DigitPairs digit_pairs = build_digit_pairs();

void put_pair(char* at, const char* pair) { std::memcpy(at, pair, 2); }

// The usual line, built in place: the address, up to eight cells and a line
// number of six digits in a 40-character field, then the source text, copied
// sixteen bytes a step (the source and this buffer have room beyond it).
constexpr size_t TEXT_COLUMN = 40;
constexpr char BLANK_FIELD[TEXT_COLUMN + 1] = "                               000000:  ";

}  // namespace

void Listing::append(const char* text, size_t length) {
    std::memcpy(line_ + line_length_, text, length);
    line_length_ += length;
}

void Listing::append(const char* text) { append(text, std::strlen(text)); }

void Listing::append_spaces(size_t count) {
    std::memset(line_ + line_length_, ' ', count);
    line_length_ += count;
}

void Listing::append_hex(uint32_t value, int digits) {
    for (int shift = 8 * (digits / 2 - 1); shift >= 0; shift -= 8) append(digit_pairs.hex[(value >> shift) & 0xFF], 2);
}

// At least `width` decimal digits, zero-filled, as "%0*d" prints a positive number.
void Listing::append_decimal(int32_t value, int width) {
    if (width == 6 && value >= 0 && value < 1000000) {  // a line number: three pairs
        append(digit_pairs.decimal[value / 10000], 2);
        append(digit_pairs.decimal[value / 100 % 100], 2);
        append(digit_pairs.decimal[value % 100], 2);
        return;
    }
    char digits[12];
    int count = 0;
    uint32_t rest = uint32_t(value);
    do {
        digits[count++] = char('0' + rest % 10);
        rest /= 10;
    } while (rest);
    for (int i = count; i < width; ++i) line_[line_length_++] = '0';
    while (count) line_[line_length_++] = digits[--count];
}

// A line is complete: the block is written once it is nearly full.
void Listing::write_line() {
    if (line_length_ > BUFFER_BYTES - 2 * LONGEST_LISTED_LINE) flush();
}

void Listing::append_byte_cell(uint8_t byte) {
    append_hex(byte, 2);
    append(" ", 1);
}

// " %06d:  %s": the line-number field and a text; for a line of an included
// file, its mark stands in place of the space.
void Listing::append_numbered_text(const Statement& s, char lead, const char* text, size_t length) {
    append(&lead, 1);
    append_decimal(s.line_number, 6);
    append(":  ", 3);
    append(text, length);
}

// Column 30: the depth of an expansion, or C for an included file's line.
static char line_mark(const Statement& s) {
    if (s.expansion_depth) return char('0' + (s.expansion_depth < 9 ? s.expansion_depth : 9));
    return s.file ? INCLUDED_MARK : ' ';
}

void Listing::append_numbered_line(const Statement& s) {
    append_numbered_text(s, line_mark(s), s.listing_line, size_t(s.listing_line_length));
}

bool Listing::lists_in_place(const Statement& s, int cells) const {
    return cells <= CELLS && s.line_number >= 0 && s.line_number < 1000000;
}

// Fills the field at `at` but the cells, answers where the cells begin.
char* Listing::fill_field(const Statement& s, char* at) {
    std::memcpy(at, BLANK_FIELD, TEXT_COLUMN);
    uint32_t address = uint32_t(s.statement_address) & 0xFFFF;
    put_pair(at, digit_pairs.hex[address >> 8]);
    put_pair(at + 2, digit_pairs.hex[address & 0xFF]);
    if (s.file | s.expansion_depth) at[MARK_COLUMN] = line_mark(s);
    put_pair(at + 31, digit_pairs.decimal[s.line_number / 10000]);
    put_pair(at + 33, digit_pairs.decimal[s.line_number / 100 % 100]);
    put_pair(at + 35, digit_pairs.decimal[s.line_number % 100]);
    return at + 6;
}

void Listing::append_text_in_place(const Statement& s, char* at) {
    for (int i = 0; i < s.listing_line_length; i += 16) std::memcpy(at + TEXT_COLUMN + i, s.listing_line + i, 16);
    line_length_ += TEXT_COLUMN + size_t(s.listing_line_length);
}

// Listing write errors are ignored.
void Listing::flush() {
    if (line_length_ && sink_) sink_->write(reinterpret_cast<const uint8_t*>(line_), line_length_);
    line_length_ = 0;
}

void Listing::restart() {
    page_number_ = 0;
    page_line_count_ = 0;
    line_length_ = 0;
    if (sink_) sink_->restart();
}

void Listing::write_page_header() {
    ++page_number_;
    append(HEADER);
    size_t written = std::strlen(HEADER);
    // A program of segments: the segment being assembled, whose offsets the addresses are.
    if (!segment_name_.empty() && segment_name_.size() < PAGE_COLUMN - SEGMENT_COLUMN - 10) {
        append_spaces(SEGMENT_COLUMN - written);
        append("Segment ");
        append(segment_name_.data(), segment_name_.size());
        written = SEGMENT_COLUMN + 8 + segment_name_.size();
    }
    append_spaces(PAGE_COLUMN - written);
    append("Page ");
    append_decimal(page_number_, 3);
    append(LINE_END, 2);
    write_line();
}

// Ends the current line; a full page then ends with a form feed.
[[gnu::always_inline]] inline void Listing::end_listing_line() {
    append(LINE_END, 2);
    write_line();
    if (++page_line_count_ > lines_per_page_) {
        line_[line_length_++] = FORM_FEED;
        page_line_count_ = 0;
    }
}

void Listing::write_address_column(const Statement& s) {
    append_hex(uint32_t(s.statement_address) & 0xFFFF, 4);
    append_spaces(2);
}

void Listing::list_code_line(Statement& s, uint8_t count) {
    uint8_t segment = s.dst.seg_override ? s.dst.seg_override : s.src.seg_override;
    if (lists_in_place(s, count + (s.code_prefix != 0) + (segment != 0))) {
        char* at = line_ + line_length_;
        char* cell = fill_field(s, at);
        if (s.code_prefix) {
            put_pair(cell, digit_pairs.hex[s.code_prefix]);
            cell += 3;
        }
        if (segment) {
            put_pair(cell, digit_pairs.hex[segment]);
            cell[2] = ':';
            cell += 3;
        }
        for (int i = 0; i < count; ++i) put_pair(cell + 3 * i, digit_pairs.hex[s.code_buf[i]]);
        if (s.code_fixup != NO_FRAME) cell[3 * (count - 1) + 2] = RELOCATED_MARK;
        append_text_in_place(s, at);
        return;
    }
    write_address_column(s);
    int cells = CELLS;
    if (s.code_prefix) {
        append_byte_cell(s.code_prefix);
        --cells;
    }
    if (segment) {
        append_hex(segment, 2);
        append(":", 1);
        --cells;
    }
    for (int i = 0; i < count; ++i) append_byte_cell(s.code_buf[i]);
    if (s.code_fixup != NO_FRAME && count > 0) line_[line_length_ - 1] = RELOCATED_MARK;
    if (count < cells) append_spaces(3 * size_t(cells - count));
    append_numbered_line(s);
}

// Eight bytes a line; the first line carries the source, the others only
// their address and bytes. With `more`, the last cell says that the image
// goes on beyond them.
void Listing::list_data_lines(Statement& s, const uint8_t* bytes, int count, bool more) {
    for (int first = 0; first < count; first += CELLS) {
        if (first > 0) end_listing_line();
        write_address_column(s);
        int chunk = count - first < CELLS ? count - first : CELLS;
        bool last = first + chunk >= count;
        if (more && last) --chunk;
        for (int i = 0; i < chunk; ++i) {
            append_byte_cell(bytes[first + i]);
            if (s.data_fixup_count && bytes == s.data_buf && relocated_byte(s, first + i)) {
                line_[line_length_ - 1] = RELOCATED_MARK;
            }
        }
        if (more && last) append("...", 3);
        if (first == 0) {
            append_spaces(3 * size_t(CELLS - chunk));
            append_numbered_line(s);
        }
        s.statement_address = int32_t(uint32_t(s.statement_address) + CELLS);
    }
}

// A statement with DUP takes two lines at most, however long its image.
void Listing::list_repeated_data(Statement& s) {
    uint8_t preview[2 * CELLS];
    int shown = 0;
    for (int i = 0; i < s.data_run_count && shown < 2 * CELLS; ++i) {
        const DataRun& run = s.data_runs[i];
        for (int copy = 0; copy < run.repeat && shown < 2 * CELLS; ++copy) {
            for (int k = 0; k < run.length && shown < 2 * CELLS; ++k) preview[shown++] = s.data_buf[run.start + k];
        }
    }
    list_data_lines(s, preview, shown, data_image_length(s) > 2 * CELLS);
}

void Listing::list_statement(Statement& s) {
    if (page_line_count_ == 0) {
        write_page_header();
        end_listing_line();  // the empty line under the header
    }
    if (s.code_len) {
        list_code_line(s, s.code_len);
    } else if (s.data_run_count && data_image_length(s) > 0) {
        list_repeated_data(s);
    } else if (s.data_len && !s.data_run_count) {
        list_data_lines(s, s.data_buf, s.data_len, false);
    } else if (lists_in_place(s, 0)) {
        char* at = line_ + line_length_;
        fill_field(s, at);
        append_text_in_place(s, at);
    } else {
        write_address_column(s);
        append_spaces(3 * CELLS);
        append_numbered_line(s);
    }
    end_listing_line();
    if (s.pending_message) {
        append_numbered_text(s, ' ', s.pending_message, std::strlen(s.pending_message));
        end_listing_line();
        s.pending_message = nullptr;
    }
    if (s.listed_warnings) list_warnings(s);
}

void Listing::list_text(const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        append(text.data() + start, end - start);
        end_listing_line();
        start = end + 1;
    }
}

// Each warning on a line of its own, as a message is.
void Listing::list_warnings(Statement& s) {
    for (uint8_t warned = 1; s.listed_warnings; warned = uint8_t(warned << 1)) {
        if (!(s.listed_warnings & warned)) continue;
        s.listed_warnings &= uint8_t(~warned);
        std::string line = s.assembly.options.warnings_are_errors ? "" : "Warning : ";
        line += warning_text(warned);
        append_numbered_text(s, ' ', line.c_str(), line.size());
        end_listing_line();
    }
}

}  // namespace vexa
