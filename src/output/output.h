// Output: the object image and the listing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexa {

// Each advances location_counter in both passes and writes only in the
// second; a negative answer means the object file could not be written, with
// the system's error number in object_error_number.
int emit_bytes(const uint8_t* bytes, size_t count);
int emit_code(uint8_t count);
int emit_data(uint8_t count);
int emit_gap(int64_t count);
// `length` bytes written `count` times over.
int emit_repeated(const uint8_t* bytes, uint8_t length, uint32_t count);
extern int object_error_number;
// Moves the location counter to `address` without writing: the image's origin.
void set_location(int32_t address);

// The image lies in one 64 KiB segment: nothing beyond its end is written.
constexpr int64_t SEGMENT_END = 0x10000;
// True once in a pass: for the statement after which the location counter
// stands past the end of the segment. (No statement takes it around 32 bits
// and back.)
bool passes_segment_end();
// Forgets that the segment's end was passed: at the start of each pass.
void reset_segment_end();

// Flushes and closes object_file; a negative answer is a failed write, as above.
int close_object_file();

// Writes the current statement's listing lines (second pass, with -l only).
void list_statement();
// Writes the listing lines not written yet; before the listing file closes.
void flush_listing();
void reset_listing();

// The pieces of a listing page.
void write_page_header();
void end_listing_line();
void write_address_column();
void list_code_line(uint8_t count);
void list_data_lines(const uint8_t* bytes, uint8_t count, bool more);

}  // namespace vexa
