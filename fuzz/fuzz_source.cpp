// Fuzzes the whole assembler with arbitrary source bytes, listing on.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/driver.h"

namespace {

// One scratch source file for every input; object and listing go nowhere.
const std::string& source_path() {
    static const std::string path = [] {
        char pattern[] = "/tmp/vexa-fuzz-source-XXXXXX";
        int fd = mkstemp(pattern);
        if (fd < 0) std::abort();
        close(fd);
        return std::string(pattern);
    }();
    return path;
}

FILE* null_stream() {
    static FILE* stream = std::fopen("/dev/null", "w");
    return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* source = std::fopen(source_path().c_str(), "wb");
    if (!source) return 0;
    std::fwrite(data, 1, size, source);
    std::fclose(source);

    std::string words[] = {"vexa", source_path(), "-o=/dev/null", "-l=/dev/null", "-p10"};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data(), words[4].data(), nullptr};
    int status = vexa::vexa_main(5, argv, null_stream(), null_stream());
    if (status != 0 && status != 2) std::abort();  // a source that exists always gets assembled
    return 0;
}
