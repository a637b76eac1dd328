// Source files in memory, loaded once for every pass, and the reader of
// their lines.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "driver/driver.h"
#include "parse/text_scan.h"

namespace vexa {

namespace {

// Steps over one line end: CR LF, a lone CR or a lone LF. The zeros of the
// padding stop it at the source's end.
const uint8_t* after_line_end(const uint8_t* p) {
    if (*p == '\r') ++p;
    if (*p == '\n') ++p;
    return p;
}

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
bool is_source_file(const struct stat& source_info, const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && info.st_dev == source_info.st_dev && info.st_ino == source_info.st_ino;
}

int read_source(int descriptor, size_t size, SourceText& text) {
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
    text.adopt_block(block, size);
    return LOAD_OK;
}

}  // namespace

bool SourceText::assign(const char* bytes, size_t size) {
    uint8_t* block = static_cast<uint8_t*>(std::calloc(1, size + SOURCE_PADDING));
    if (!block) return false;
    if (size) std::memcpy(block, bytes, size);
    adopt_block(block, size);
    return true;
}

void SourceText::adopt_mapping(const uint8_t* base, size_t size, size_t length) {
    release();
    base_ = base;
    size_ = size;
    mapped_length_ = length;
}

void SourceText::adopt_block(uint8_t* block, size_t size) {
    release();
    base_ = block;
    size_ = size;
}

void SourceText::release() {
    if (mapped_length_) {
        munmap(const_cast<uint8_t*>(base_), mapped_length_);
    } else {
        std::free(const_cast<uint8_t*>(base_));
    }
    base_ = nullptr;
    size_ = 0;
    mapped_length_ = 0;
}

// The file is mapped (the usual case: no copy, no fresh pages to clear),
// unless it is empty or an output file would write over it.
int FileSystemFiles::load(const std::string& path, SourceText& text) {
    // Only a regular file is a source; a directory or device is not found.
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return LOAD_NOT_FOUND;
    size_t size = size_t(info.st_size);

    int descriptor = open(path.c_str(), O_RDONLY);
    if (descriptor < 0) return LOAD_OPEN_FAILED;
    bool written_over = false;
    for (const std::string& output : written_paths) written_over = written_over || is_source_file(info, output);
    const uint8_t* mapped = size > 0 && !written_over ? map_source(descriptor, size) : nullptr;
    int result = LOAD_OK;
    if (mapped) {
        text.adopt_mapping(mapped, size, mapped_length(size));
    } else {
        result = read_source(descriptor, size, text);
    }
    close(descriptor);
    return result;
}

int MemoryFiles::load(const std::string& path, SourceText& text) {
    auto found = files.find(path);
    if (found == files.end()) return LOAD_NOT_FOUND;
    return text.assign(found->second.data(), found->second.size()) ? LOAD_OK : LOAD_NO_MEMORY;
}

// A line's end is CR LF, a lone CR or a lone LF, or none at the source's end.
size_t listed_length(const uint8_t* line, size_t line_bytes) {
    size_t length = line_bytes;
    if (length > 0 && line[length - 1] == '\n') --length;
    if (length > 0 && line[length - 1] == '\r') --length;
    return length;
}

LineMarks mark_line(char* line) { return scan::mark_text(line, std::strlen(line)); }

void LineReader::begin(const SourceText& main) {
    depth_ = 0;
    levels_[0] = Level{&main, main.begin(), 0, 0};
}

bool LineReader::include(const SourceText& text, uint16_t file) {
    if (depth_ == MAX_DEPTH) return false;
    levels_[++depth_] = Level{&text, text.begin(), 0, file};
    return true;
}

bool LineReader::is_reading(const SourceText& text) const {
    for (int level = 0; level <= depth_; ++level) {
        if (levels_[level].text == &text) return true;
    }
    return false;
}

void LineReader::leave_finished_files() {
    while (depth_ > 0 && levels_[depth_].cursor >= levels_[depth_].text->end()) --depth_;
}

int LineReader::read(char* buffer, int capacity, LineMarks& marks) {
    if (depth_ > 0 && levels_[depth_].cursor >= levels_[depth_].text->end()) {
        --depth_;
        return READ_FILE_END;
    }
    Level& level = levels_[depth_];
    const uint8_t* end = level.text->end();
    if (level.cursor >= end) return READ_END;
    // A line may have capacity - 2 characters; one more means it is too long.
    const size_t longest = size_t(capacity - 2);
    const uint8_t* start = level.cursor;
    __builtin_prefetch(start + 2048, 0, 0);  // ahead, and kept out of the caches the symbols need
    size_t available = size_t(end - start);
    size_t length = scan::copy_marked_line(buffer, start, available < longest + 1 ? available : longest + 1, marks);
    marks.text = reinterpret_cast<const char*>(start);
    ++level.line_number;
    line_start_ = start;
    if (length > longest) {
        buffer[longest] = 0;
        marks = scan::mark_text(buffer, longest);
        level.cursor = after_line_end(scan::find_line_end(start + length, end));
        line_bytes_ = size_t(level.cursor - start);
        return READ_TOO_LONG;
    }
    level.cursor = after_line_end(start + length);
    line_bytes_ = size_t(level.cursor - start);
    return int(length) + 1;
}

const uint8_t* LineReader::skip(size_t bytes) {
    if (depth_ > 0) leave_finished_files();
    Level& level = levels_[depth_];
    const uint8_t* line = level.cursor;
    level.cursor += bytes;
    ++level.line_number;
    line_start_ = line;
    line_bytes_ = bytes;
    return line;
}

}  // namespace vexa
