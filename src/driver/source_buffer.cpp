// The whole source file in memory, read line by line by both passes.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "driver/driver.h"

namespace vexa {

SourceBuffer source;

namespace {

constexpr size_t SOURCE_PADDING = 16;

bool is_line_end(uint8_t c) { return c == '\r' || c == '\n'; }

// The first CR or LF in [p, limit), or limit. Sixteen bytes at a time where
// the processor allows: most lines are found in one or two steps.
const uint8_t* find_line_end(const uint8_t* p, const uint8_t* limit) {
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; limit - p >= 16; p += 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf)));
        if (hits) return p + __builtin_ctz(unsigned(hits));
    }
#endif
    while (p < limit && !is_line_end(*p)) ++p;
    return p;
}

#ifdef __SSE2__
// The marks of one 16-byte block at `base` of the line being copied, which
// ends at the first bit of `ends`, if any.
void mark_block(LineMarks& marks, __m128i block, char* base, unsigned ends) {
    unsigned valid = (ends & -ends) - 1;  // every bit when the line goes on
    if (ends) marks.end = base + __builtin_ctz(ends);
    __m128i semicolon_bytes = _mm_cmpeq_epi8(block, _mm_set1_epi8(';'));
    __m128i single_bytes = _mm_cmpeq_epi8(block, _mm_set1_epi8('\''));
    __m128i double_bytes = _mm_cmpeq_epi8(block, _mm_set1_epi8('"'));
    __m128i zero_bytes = _mm_cmpeq_epi8(block, _mm_setzero_si128());
    // Most blocks hold none of the four: one test for all of them.
    __m128i marked = _mm_or_si128(_mm_or_si128(semicolon_bytes, zero_bytes), _mm_or_si128(single_bytes, double_bytes));
    if ((unsigned(_mm_movemask_epi8(marked)) & valid) == 0) return;
    unsigned zeros = unsigned(_mm_movemask_epi8(zero_bytes)) & valid;
    if (zeros && !marks.zero) marks.zero = base + __builtin_ctz(zeros);
    unsigned semicolons = unsigned(_mm_movemask_epi8(semicolon_bytes)) & valid;
    unsigned singles = unsigned(_mm_movemask_epi8(single_bytes)) & valid;
    unsigned doubles = unsigned(_mm_movemask_epi8(double_bytes)) & valid;
    if (semicolons && !marks.semicolon) marks.semicolon = base + __builtin_ctz(semicolons);
    if (singles) {
        if (!marks.single_quote) marks.single_quote = base + __builtin_ctz(singles);
        marks.last_single_quote = base + 31 - __builtin_clz(singles);
    }
    if (doubles) {
        if (!marks.double_quote) marks.double_quote = base + __builtin_ctz(doubles);
        marks.last_double_quote = base + 31 - __builtin_clz(doubles);
    }
}
#endif

// The marks of the `length` characters at `line`, one at a time.
LineMarks mark_text(char* line, size_t length) {
    LineMarks marks{};
    char* end = line + length;
    for (char* p = line; p < end; ++p) {
        if (*p == ';' && !marks.semicolon) marks.semicolon = p;
        if (*p == '\'' && !marks.single_quote) marks.single_quote = p;
        if (*p == '"' && !marks.double_quote) marks.double_quote = p;
        if (*p == '\'') marks.last_single_quote = p;
        if (*p == '"') marks.last_double_quote = p;
        if (*p == 0 && !marks.zero) marks.zero = p;
    }
    marks.text = line;
    marks.end = end;
    return marks;
}

// Copies the line at `line` up to its first CR or LF, or its first `limit`
// bytes, with a terminator, and marks it; answers the length copied. Whole
// 16-byte stores, the terminator inside the last, let the line splitter's
// 16-byte loads of the same blocks be served at once; one pass finds the
// end, copies and marks.
size_t copy_to_line_end(char* buffer, const uint8_t* line, size_t limit, LineMarks& marks) {
#ifdef __SSE2__
    const __m128i lanes = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    marks = LineMarks{};
    for (size_t offset = 0;; offset += 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + offset));
        unsigned ends = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf))));
        if (limit - offset < 16) ends |= 1u << (limit - offset);
        mark_block(marks, block, buffer + offset, ends);
        if (ends) {
            unsigned length = unsigned(__builtin_ctz(ends));
            __m128i kept = _mm_cmplt_epi8(lanes, _mm_set1_epi8(char(length)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer + offset), _mm_and_si128(block, kept));
            return offset + length;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer + offset), block);
    }
#else
    size_t length = size_t(find_line_end(line, line + limit) - line);
    std::memcpy(buffer, line, length);
    buffer[length] = 0;
    marks = mark_text(buffer, length);
    return length;
#endif
}

// Steps over one line end: CR LF, a lone CR or a lone LF. The zeros of the
// padding stop it at the source's end.
void consume_line_end() {
    if (*source.cursor == '\r') ++source.cursor;
    if (*source.cursor == '\n') ++source.cursor;
}

// How the source's bytes are held: mapped from the file (the usual case: no
// copy, no fresh pages to clear) or read into allocated memory.
enum class Holding { NONE, MAPPED, ALLOCATED };
Holding holding;

size_t page_rounded(size_t bytes) {
    size_t page = size_t(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

// The file's pages followed by at least one page of zeros, which is the padding.
size_t mapped_length(size_t size) { return page_rounded(size) + page_rounded(SOURCE_PADDING); }

// Maps the source of `size` bytes. Null when the file cannot be mapped.
const uint8_t* map_source(int descriptor, size_t size) {
    size_t total = mapped_length(size);
    void* region = mmap(nullptr, total, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) return nullptr;
    void* file = mmap(region, size, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, descriptor, 0);
    if (file == MAP_FAILED) {
        munmap(region, total);
        return nullptr;
    }
    return static_cast<const uint8_t*>(region);
}

// True when `path` names the file described by `source_info`, under any of
// its names. The output files are opened, and emptied, before the second
// pass reads the source: a source written over that way must be a copy.
bool is_source_file(const struct stat& source_info, const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && info.st_dev == source_info.st_dev && info.st_ino == source_info.st_ino;
}

bool is_written_over(const struct stat& source_info) {
    return is_source_file(source_info, object_path) || (listing_requested && is_source_file(source_info, list_path));
}

int read_source(int descriptor, size_t size, const uint8_t** bytes) {
    uint8_t* block = static_cast<uint8_t*>(std::calloc(1, size + SOURCE_PADDING));
    if (!block) return LOAD_NO_MEMORY;
    for (size_t done = 0; done < size;) {
        ssize_t got = read(descriptor, block + done, size - done);
        if (got <= 0) {
            std::free(block);
            return LOAD_READ_FAILED;
        }
        done += size_t(got);
    }
    *bytes = block;
    return LOAD_OK;
}

}  // namespace

int load_source(const char* path) {
    // Only a regular file is a source; a directory or device is not found.
    struct stat info;
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return LOAD_NOT_FOUND;
    size_t size = size_t(info.st_size);

    int descriptor = open(path, O_RDONLY);
    if (descriptor < 0) return LOAD_OPEN_FAILED;
    const uint8_t* bytes = size > 0 && !is_written_over(info) ? map_source(descriptor, size) : nullptr;
    int result = LOAD_OK;
    if (bytes) {
        holding = Holding::MAPPED;
    } else {
        result = read_source(descriptor, size, &bytes);
        holding = result == LOAD_OK ? Holding::ALLOCATED : Holding::NONE;
    }
    close(descriptor);
    if (result == LOAD_OK) source = SourceBuffer{bytes, bytes + size, bytes};
    return result;
}

void rewind_source() { source.cursor = source.base; }

// A line's end is CR LF, a lone CR or a lone LF, or none at the source's end.
size_t listed_length(const uint8_t* line, size_t line_bytes) {
    size_t length = line_bytes;
    if (length > 0 && line[length - 1] == '\n') --length;
    if (length > 0 && line[length - 1] == '\r') --length;
    return length;
}

LineMarks mark_line(char* line) { return mark_text(line, std::strlen(line)); }

int read_line(char* buffer, int capacity, LineMarks* marks) {
    if (source.cursor >= source.end) return READ_END;
    // A line may have capacity - 2 characters; one more means it is too long.
    const size_t longest = size_t(capacity - 2);
    const uint8_t* start = source.cursor;
    __builtin_prefetch(start + 2048, 0, 0);  // ahead, and kept out of the caches the symbols need
    size_t available = size_t(source.end - start);
    LineMarks unwanted;
    LineMarks& found = marks ? *marks : unwanted;
    size_t length = copy_to_line_end(buffer, start, available < longest + 1 ? available : longest + 1, found);
    found.text = reinterpret_cast<const char*>(start);
    if (length > longest) {
        buffer[longest] = 0;
        if (marks) *marks = mark_text(buffer, longest);
        source.cursor = find_line_end(start + length, source.end);
        consume_line_end();
        return READ_TOO_LONG;
    }
    source.cursor = start + length;
    consume_line_end();
    return int(length) + 1;
}

void release_source() {
    if (holding == Holding::MAPPED) {
        munmap(const_cast<uint8_t*>(source.base), mapped_length(size_t(source.end - source.base)));
    }
    if (holding == Holding::ALLOCATED) std::free(const_cast<uint8_t*>(source.base));
    holding = Holding::NONE;
    source = SourceBuffer{};
}

}  // namespace vexa
