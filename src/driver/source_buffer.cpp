// The whole source file in memory, read line by line by both passes.
#include <sys/stat.h>

#include <cstdlib>

#include "driver/driver.h"

namespace vexa {

SourceBuffer source;

namespace {

bool is_line_end(uint8_t c) { return c == '\r' || c == '\n'; }

// Steps over one line end: CR LF, a lone CR or a lone LF.
void consume_line_end() {
    if (source.cursor < source.end && *source.cursor == '\r') ++source.cursor;
    if (source.cursor < source.end && *source.cursor == '\n') ++source.cursor;
}

}  // namespace

int load_source(const char* path) {
    // Only a regular file is a source; a directory or device is not found.
    struct stat info;
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return LOAD_NOT_FOUND;
    size_t size = size_t(info.st_size);

    // An empty file is an empty source: keep a one-byte block so that base is valid.
    uint8_t* block = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (!block) return LOAD_NO_MEMORY;
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        std::free(block);
        return LOAD_OPEN_FAILED;
    }
    bool complete = size == 0 || std::fread(block, size, 1, file) == 1;
    std::fclose(file);
    if (!complete) {
        std::free(block);
        return LOAD_READ_FAILED;
    }
    source = SourceBuffer{block, block + size, block};
    return LOAD_OK;
}

void rewind_source() { source.cursor = source.base; }

int read_line(char* buffer, int capacity) {
    if (source.cursor >= source.end) return READ_END;
    // One place is kept for the terminator and one to tell an over-long line.
    const int limit = capacity - 2;
    int copied = 0;
    while (source.cursor < source.end && !is_line_end(*source.cursor) && copied < limit) {
        buffer[copied++] = char(*source.cursor++);
    }
    buffer[copied] = 0;
    if (source.cursor < source.end && !is_line_end(*source.cursor)) {
        while (source.cursor < source.end && !is_line_end(*source.cursor)) ++source.cursor;
        consume_line_end();
        return READ_TOO_LONG;
    }
    consume_line_end();
    return copied + 1;
}

void release_source() {
    std::free(const_cast<uint8_t*>(source.base));
    source = SourceBuffer{};
}

}  // namespace vexa
