// The listing: every source line of the second pass beside its address and
// bytes, the message of each faulty statement under it, in pages.
//
//   0100  B8 34 12                 000005:          MOV AX,1234H
//   ^addr ^eight 3-character cells ^line number     ^source from column 40
#include <cstring>

#include "driver/driver.h"
#include "encode/encode.h"
#include "output/output.h"

namespace vexa {

namespace {

constexpr int CELLS = 8;
constexpr const char* HEADER = "ADDR  Object                   Line #   Source Text";
constexpr int PAGE_COLUMN = 112;
constexpr char LINE_END[] = "\r\n";
constexpr char FORM_FEED = '\f';

int32_t page_number;
int32_t page_line_count;

// Listing lines are built here one after another and written in large
// blocks. A line, with the form feed after it, is at most 256 characters.
constexpr size_t LISTING_BUFFER = 64 * 1024;
constexpr size_t LONGEST_LISTING_LINE = 256;
char line[LISTING_BUFFER];
size_t line_length;

void append(const char* text, size_t length) {
    std::memcpy(line + line_length, text, length);
    line_length += length;
}

void append(const char* text) { append(text, std::strlen(text)); }

void append_spaces(size_t count) {
    std::memset(line + line_length, ' ', count);
    line_length += count;
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

void append_hex(uint32_t value, int digits) {
    for (int shift = 8 * (digits / 2 - 1); shift >= 0; shift -= 8) append(digit_pairs.hex[(value >> shift) & 0xFF], 2);
}

// At least `width` decimal digits, zero-filled, as "%0*d" prints a positive number.
void append_decimal(int32_t value, int width) {
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
    for (int i = count; i < width; ++i) line[line_length++] = '0';
    while (count) line[line_length++] = digits[--count];
}

// A line is complete: the block is written once it is nearly full.
void write_line() {
    if (line_length > LISTING_BUFFER - 2 * LONGEST_LISTING_LINE) flush_listing();
}

void append_byte_cell(uint8_t byte) {
    append_hex(byte, 2);
    append(" ", 1);
}

// " %06d:  %s": the line-number field and a text.
void append_numbered_text(const char* text, size_t length) {
    append(" ", 1);
    append_decimal(line_number, 6);
    append(":  ", 3);
    append(text, length);
}

void append_numbered_line() { append_numbered_text(listing_line, size_t(listing_line_length)); }

// The usual line, built in place: the address, up to eight cells and a line
// number of six digits in a 40-character field, then the source text, copied
// sixteen bytes a step (the source and this buffer have room beyond it).
constexpr size_t TEXT_COLUMN = 40;
constexpr char BLANK_FIELD[TEXT_COLUMN + 1] = "                               000000:  ";

void put_pair(char* at, const char* pair) { std::memcpy(at, pair, 2); }

bool lists_in_place(int cells) { return cells <= CELLS && line_number >= 0 && line_number < 1000000; }

// Fills the field at `at` but the cells, answers where the cells begin.
char* fill_field(char* at) {
    std::memcpy(at, BLANK_FIELD, TEXT_COLUMN);
    uint32_t address = uint32_t(statement_address) & 0xFFFF;
    put_pair(at, digit_pairs.hex[address >> 8]);
    put_pair(at + 2, digit_pairs.hex[address & 0xFF]);
    put_pair(at + 31, digit_pairs.decimal[line_number / 10000]);
    put_pair(at + 33, digit_pairs.decimal[line_number / 100 % 100]);
    put_pair(at + 35, digit_pairs.decimal[line_number % 100]);
    return at + 6;
}

void append_text_in_place(char* at) {
    for (int i = 0; i < listing_line_length; i += 16) std::memcpy(at + TEXT_COLUMN + i, listing_line + i, 16);
    line_length += TEXT_COLUMN + size_t(listing_line_length);
}

}  // namespace

// Listing write errors are ignored. The stream is this thread's alone: no locking.
void flush_listing() {
    if (line_length && listing_file) fwrite_unlocked(line, 1, line_length, listing_file);
    line_length = 0;
}

void reset_listing() {
    page_number = 0;
    page_line_count = 0;
    line_length = 0;
}

void write_page_header() {
    ++page_number;
    append(HEADER);
    append_spaces(PAGE_COLUMN - std::strlen(HEADER));
    append("Page ");
    append_decimal(page_number, 3);
    append(LINE_END, 2);
    write_line();
}

// Ends the current line; a full page then ends with a form feed.
void end_listing_line() {
    append(LINE_END, 2);
    write_line();
    if (++page_line_count > lines_per_page) {
        line[line_length++] = FORM_FEED;
        page_line_count = 0;
    }
}

void write_address_column() {
    append_hex(uint32_t(statement_address) & 0xFFFF, 4);
    append_spaces(2);
}

void list_code_line(uint8_t count) {
    uint8_t segment = dst.seg_override ? dst.seg_override : src.seg_override;
    if (lists_in_place(count + (code_prefix != 0) + (segment != 0))) {
        char* at = line + line_length;
        char* cell = fill_field(at);
        if (code_prefix) {
            put_pair(cell, digit_pairs.hex[code_prefix]);
            cell += 3;
        }
        if (segment) {
            put_pair(cell, digit_pairs.hex[segment]);
            cell[2] = ':';
            cell += 3;
        }
        for (int i = 0; i < count; ++i) put_pair(cell + 3 * i, digit_pairs.hex[code_buf[i]]);
        append_text_in_place(at);
        return;
    }
    write_address_column();
    int cells = CELLS;
    if (code_prefix) {
        append_byte_cell(code_prefix);
        --cells;
    }
    if (uint8_t prefix = dst.seg_override ? dst.seg_override : src.seg_override) {
        append_hex(prefix, 2);
        append(":", 1);
        --cells;
    }
    for (int i = 0; i < count; ++i) append_byte_cell(code_buf[i]);
    if (count < cells) append_spaces(3 * size_t(cells - count));
    append_numbered_line();
}

// Eight bytes a line; the first line carries the source, the others only
// their address and bytes. With `more`, the last cell says that the image
// goes on beyond them.
void list_data_lines(const uint8_t* bytes, uint8_t count, bool more) {
    for (int first = 0; first < count; first += CELLS) {
        if (first > 0) end_listing_line();
        write_address_column();
        int chunk = count - first < CELLS ? count - first : CELLS;
        bool last = first + chunk >= count;
        if (more && last) --chunk;
        for (int i = 0; i < chunk; ++i) append_byte_cell(bytes[first + i]);
        if (more && last) append("...", 3);
        if (first == 0) {
            append_spaces(3 * size_t(CELLS - chunk));
            append_numbered_line();
        }
        statement_address = int32_t(uint32_t(statement_address) + CELLS);
    }
}

namespace {

// A statement with DUP takes two lines at most, however long its image.
void list_repeated_data() {
    uint8_t preview[2 * CELLS];
    int shown = 0;
    for (int i = 0; i < data_run_count && shown < 2 * CELLS; ++i) {
        const DataRun& run = data_runs[i];
        for (int copy = 0; copy < run.repeat && shown < 2 * CELLS; ++copy) {
            for (int k = 0; k < run.length && shown < 2 * CELLS; ++k) preview[shown++] = data_buf[run.start + k];
        }
    }
    list_data_lines(preview, uint8_t(shown), data_image_length() > 2 * CELLS);
}

}  // namespace

void list_statement() {
    if (!listing_requested || pass_index != 1 || !listing_file) return;
    if (page_line_count == 0) {
        write_page_header();
        end_listing_line();  // the empty line under the header
    }
    if (code_len) {
        list_code_line(code_len);
    } else if (data_run_count) {
        list_repeated_data();
    } else if (data_len) {
        list_data_lines(data_buf, data_len, false);
    } else if (lists_in_place(0)) {
        char* at = line + line_length;
        fill_field(at);
        append_text_in_place(at);
    } else {
        write_address_column();
        append_spaces(3 * CELLS);
        append_numbered_line();
    }
    end_listing_line();
    if (pending_message) {
        append_numbered_text(pending_message, std::strlen(pending_message));
        end_listing_line();
        pending_message = nullptr;
    }
}

}  // namespace vexa
