// Output: the object image through its output form, and the listing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/assembler.h"
#include "driver/driver.h"
#include "encode/encode.h"

namespace vexa {

struct Assembly;
struct Statement;

// The image lies in one 64 KiB segment: nothing beyond its end is written.
constexpr int64_t SEGMENT_END = 0x10000;

// How an image is laid out in its file. The pass that writes gives it the
// image's bytes and gaps in address order; it writes them to its sink.
class OutputForm {
public:
    virtual ~OutputForm();
    // Bytes at `address`; false when the sink failed (error_number says why).
    virtual bool write(int32_t address, const uint8_t* bytes, size_t count) = 0;
    // `count` bytes at `address` that read as zero.
    virtual bool gap(int32_t address, uint64_t count) = 0;
    // A pass writes the image again from its start.
    virtual void restart() = 0;
    virtual int error_number() const = 0;
};

// The flat .COM image: byte k of the file is the byte at origin + k (the
// address of the first byte or gap), gaps read as zero, a gap at the very
// end is not in the file, and nothing at or beyond the end of the segment
// is written; nor is anything at an address below what the file already
// holds (the location counter gone around 32 bits).
class ComImage final : public OutputForm {
public:
    explicit ComImage(Sink& sink) : sink_(sink) {}
    // The usual bytes follow what the file holds, inside the segment.
    [[gnu::always_inline]] bool write(int32_t address, const uint8_t* bytes, size_t count) override {
        if (uint32_t(address) != end_ || !started_ || uint64_t(end_) + count > uint64_t(SEGMENT_END)) {
            return write_elsewhere(address, bytes, count);
        }
        end_ += uint32_t(count);
        return sink_.put(bytes, count);
    }
    bool gap(int32_t address, uint64_t count) override;
    void restart() override;
    int error_number() const override { return sink_.error_number; }

    // Laid out: the bytes are kept at their addresses, in any order (a NASM
    // program's sections, an .EXE's segments), in `bytes` at most, and
    // written by finish(). For the passes that write from the next
    // restart() on.
    void lay_out(bool laid_out, size_t bytes = size_t(SEGMENT_END)) {
        laid_out_ = laid_out;
        layout_bytes_ = bytes;
    }
    // Laid out, an address is kept at `frame` bytes further on: the first
    // byte of the frame its segment's offsets count from.
    void set_frame(int32_t frame) { frame_ = frame; }
    const std::vector<uint8_t>& layout() const { return layout_; }
    // The places of the first byte kept and after the last (gaps are not bytes).
    size_t kept_start() const { return kept_start_; }
    size_t kept_end() const { return kept_end_; }
    // Writes the bytes kept from `origin` up to `end` (gaps as zeros);
    // false when the sink failed.
    bool finish(int32_t origin, int64_t end);

private:
    [[gnu::noinline]] bool write_elsewhere(int32_t address, const uint8_t* bytes, size_t count);

    Sink& sink_;
    bool started_ = false;
    uint32_t end_ = 0;  // the address after what the file holds
    bool laid_out_ = false;
    size_t layout_bytes_ = size_t(SEGMENT_END);
    int32_t frame_ = 0;
    size_t kept_start_ = SIZE_MAX;
    size_t kept_end_ = 0;
    std::vector<uint8_t> layout_;  // the image's bytes, when laid out
};

// What a statement adds to the image, at the location counter, which each
// advances in every pass; only the pass that writes passes the bytes to the
// output form. A negative answer means the object file could not be
// written: the output form's error_number says why.
// (emit_bytes, inline, is with the assembly's state.)
int emit_code(Assembly& assembly, const Statement& s);
// An instruction's bytes, its prefixes first, at `to` (which holds
// INSTRUCTION_IMAGE_BYTES); answers how many.
constexpr int INSTRUCTION_IMAGE_BYTES = 2 + CODE_CAPACITY;
int instruction_image(const Statement& s, uint8_t* to);
int emit_data(Assembly& assembly, const Statement& s);
int emit_gap(Assembly& assembly, int64_t count);
// `length` bytes written `count` times over.
int emit_repeated(Assembly& assembly, const uint8_t* bytes, uint32_t length, uint32_t count);
// The image of the statement's DB or DW, its runs included.
int emit_data_image(Assembly& assembly, const Statement& s);
// True once in a pass: for the statement after which the location counter
// stands past the end of the segment. (No statement takes it around 32 bits
// and back.)
bool passes_segment_end(Assembly& assembly);

// The listing: every line of the pass that writes, beside its address and
// bytes, the message of each faulty statement under it, in pages.
class Listing {
public:
    // Fewer than MIN_LINES_PER_PAGE lines a page: no page breaks.
    static constexpr int32_t MIN_LINES_PER_PAGE = 10;
    Listing(Sink* sink, int32_t lines_per_page)
        : sink_(sink), lines_per_page_(lines_per_page < MIN_LINES_PER_PAGE ? INT32_MAX : lines_per_page) {}
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;

    bool requested() const { return sink_ != nullptr; }
    Sink* sink() const { return sink_; }
    // Opens the listing's sink, if a listing was asked for.
    bool open() { return !sink_ || sink_->open(); }
    void close() {
        if (sink_) sink_->close();
    }
    // Writes the statement's listing lines.
    void list_statement(Statement& s);
    // The warnings reported for the statement.
    [[gnu::noinline, gnu::cold]] void list_warnings(Statement& s);
    // Writes the listing lines not written yet; before the listing closes.
    void flush();
    // Starts over, for a pass that writes the listing again.
    void restart();
    // Lines of text after the statements' (the table of segments).
    void list_text(const std::string& text);
    // The segment of MASM's being assembled, named in the page header.
    void name_segment(const std::string& name) { segment_name_ = name; }

private:
    void append(const char* text, size_t length);
    void append(const char* text);
    void append_spaces(size_t count);
    void append_hex(uint32_t value, int digits);
    void append_decimal(int32_t value, int width);
    void write_line();
    void append_byte_cell(uint8_t byte);
    void append_numbered_text(const Statement& s, char lead, const char* text, size_t length);
    void append_numbered_line(const Statement& s);
    bool lists_in_place(const Statement& s, int cells) const;
    char* fill_field(const Statement& s, char* at);
    void append_text_in_place(const Statement& s, char* at);
    void write_page_header();
    void end_listing_line();
    void write_address_column(const Statement& s);
    void list_code_line(Statement& s, uint8_t count);
    void list_data_lines(Statement& s, const uint8_t* bytes, int count, bool more);
    void list_repeated_data(Statement& s);

    Sink* sink_;
    int32_t lines_per_page_;
    std::string segment_name_;
    int32_t page_number_ = 0;
    int32_t page_line_count_ = 0;
    // Listing lines are built here one after another and written in large
    // blocks. A line, with the form feed after it and the room its copy
    // takes beyond it, is at most a source line and 64 characters.
    static constexpr size_t BUFFER_BYTES = 64 * 1024;
    static constexpr size_t LONGEST_LISTED_LINE = LINE_CAPACITY + 64;
    char line_[BUFFER_BYTES];
    size_t line_length_ = 0;
};

}  // namespace vexa
