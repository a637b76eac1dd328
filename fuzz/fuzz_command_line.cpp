// Fuzzes the command line: the input is a list of words separated by NUL
// bytes, given to the program after its name. Every run happens in a scratch
// directory that holds one small source, and no word may name anything
// outside it: '/' is replaced by '_'.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/driver.h"

namespace fs = std::filesystem;

namespace {

const fs::path& scratch_directory() {
    static const fs::path path = [] {
        char pattern[] = "/tmp/vexa-fuzz-command-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        return fs::path(pattern);
    }();
    return path;
}

FILE* null_stream() {
    static FILE* stream = std::fopen("/dev/null", "w");
    return stream;
}

// Leaves the scratch directory with nothing but the source.
void reset_scratch_directory() {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(scratch_directory(), ignored)) fs::remove_all(entry.path(), ignored);
    FILE* source = std::fopen((scratch_directory() / "a.asm").c_str(), "wb");
    // A macro, a repetition and a condition that -D and -U can turn.
    std::fputs("        ORG 100H\nPUT     MACRO C\n        IFDEF BIG\n        MOV AX,C\n        ELSE\n"
               "        MOV AL,C\n        ENDIF\n        ENDM\nSTART:  PUT 1\n        REPT 2\n"
               "        DB 'x',1,2\n        ENDM\n        JMP START\n        END\n",
               source);
    std::fclose(source);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fs::path home = fs::current_path();
    fs::current_path(scratch_directory());
    reset_scratch_directory();

    std::vector<std::string> words{"vexa"};
    std::string word;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(data[i] == '/' ? '_' : char(data[i]));
        }
    }
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    int status = vexa::vexa_main(int(words.size()), argv.data(), null_stream(), null_stream());
    if (status < 0 || status > 2) std::abort();
    fs::current_path(home);
    return 0;
}
