// The object and listing files of the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/assembler.h"

namespace vexa {

// The object file, written through a buffer of its own as large as the
// file system's block: a write fails, and is reported, when the statement
// that finds the buffer full flushes it, when a gap flushes it, or at the
// close.
class ObjectFile : public Sink {
public:
    explicit ObjectFile(const std::string& path) { name = path; }
    ObjectFile(const ObjectFile&) = delete;
    ObjectFile& operator=(const ObjectFile&) = delete;
    ~ObjectFile() override;

    bool open() override;
    bool write(const uint8_t* bytes, size_t count) override;
    bool skip(uint64_t count) override;
    bool close() override;
    void restart() override;

private:
    bool flush();

    int descriptor_ = -1;
    std::vector<uint8_t> buffer_;  // put() fills it from its start to room_
};

// The listing file, written in the large blocks the listing builds; its
// write errors are ignored.
class ListingFile : public Sink {
public:
    explicit ListingFile(const std::string& path) { name = path; }
    ListingFile(const ListingFile&) = delete;
    ListingFile& operator=(const ListingFile&) = delete;
    ~ListingFile() override;

    bool open() override;
    bool write(const uint8_t* bytes, size_t count) override;
    bool skip(uint64_t count) override;
    bool close() override;
    void restart() override;

private:
    int descriptor_ = -1;
};

}  // namespace vexa
