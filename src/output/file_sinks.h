// The object and listing files of the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/assembler.h"

namespace vexa {

// A file the assembly writes, by its descriptor: created (emptied) when
// opened, emptied again when a pass starts it over.
class FileSink : public Sink {
public:
    explicit FileSink(const std::string& path) { name = path; }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    ~FileSink() override;

    bool open() override;
    void restart() override;

protected:
    // Closes the file; false when that fails.
    bool close_file();

    int descriptor_ = -1;
};

// The object file, written through a buffer of its own as large as the
// file system's block: a write fails, and is reported, when the statement
// that finds the buffer full flushes it, when a gap flushes it, or at the
// close.
class ObjectFile : public FileSink {
public:
    using FileSink::FileSink;

    bool open() override;
    bool write(const uint8_t* bytes, size_t count) override;
    bool skip(uint64_t count) override;
    bool close() override;
    void restart() override;

private:
    bool flush();

    std::vector<uint8_t> buffer_;  // put() fills it from its start to room_
};

// The listing file, written in the large blocks the listing builds; its
// write errors are ignored.
class ListingFile : public FileSink {
public:
    using FileSink::FileSink;

    bool write(const uint8_t* bytes, size_t count) override;
    bool skip(uint64_t count) override;
    bool close() override;
};

}  // namespace vexa
