// The object and listing files of the command line.
#include "output/file_sinks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vexa {

namespace {

int create_file(const std::string& path) { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666); }

// Writes all of `count` bytes; false with errno when that fails.
bool write_all(int descriptor, const uint8_t* bytes, size_t count) {
    while (count > 0) {
        ssize_t written = ::write(descriptor, bytes, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        count -= size_t(written);
    }
    return true;
}

}  // namespace

FileSink::~FileSink() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

bool FileSink::open() {
    descriptor_ = create_file(name);
    if (descriptor_ < 0) error_number = errno;
    return descriptor_ >= 0;
}

void FileSink::restart() {
    if (descriptor_ >= 0 && (ftruncate(descriptor_, 0) != 0 || lseek(descriptor_, 0, SEEK_SET) < 0)) {
        error_number = errno;
    }
}

bool FileSink::close_file() {
    bool closed = descriptor_ < 0 || ::close(descriptor_) == 0;
    descriptor_ = -1;
    return closed;
}

bool ObjectFile::open() {
    if (!FileSink::open()) return false;
    struct stat info;
    size_t block = fstat(descriptor_, &info) == 0 && info.st_blksize > 0 ? size_t(info.st_blksize) : BUFSIZ;
    buffer_.assign(block, 0);
    room_ = buffer_.data();
    room_end_ = room_ + block;
    return true;
}

bool ObjectFile::flush() {
    size_t count = size_t(room_ - buffer_.data());
    room_ = buffer_.data();
    if (count && !write_all(descriptor_, buffer_.data(), count)) {
        error_number = errno;
        return false;
    }
    return true;
}

// A byte that finds the buffer full flushes it first.
bool ObjectFile::write(const uint8_t* bytes, size_t count) {
    while (count > 0) {
        if (room_ == room_end_ && !flush()) return false;
        size_t room = size_t(room_end_ - room_);
        size_t taken = count < room ? count : room;
        std::memcpy(room_, bytes, taken);
        room_ += taken;
        bytes += taken;
        count -= taken;
    }
    return true;
}

// What the buffer holds goes before the gap; the gap is a seek, which alone
// does not lengthen the file.
bool ObjectFile::skip(uint64_t count) {
    if (!flush()) return false;
    if (lseek(descriptor_, off_t(count), SEEK_CUR) < 0) {
        error_number = errno;
        return false;
    }
    return true;
}

bool ObjectFile::close() {
    if (descriptor_ < 0) return true;
    bool flushed = flush();
    bool closed = close_file();
    if (flushed && !closed) error_number = errno;
    room_ = room_end_ = nullptr;
    return flushed && closed;
}

void ObjectFile::restart() {
    room_ = buffer_.data();
    FileSink::restart();
}

bool ListingFile::write(const uint8_t* bytes, size_t count) {
    if (!write_all(descriptor_, bytes, count)) error_number = errno;
    return true;
}

bool ListingFile::skip(uint64_t) { return true; }

bool ListingFile::close() {
    close_file();
    return true;
}

}  // namespace vexa
