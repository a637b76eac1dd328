#include "support/run_vexa.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "driver/driver.h"

namespace fs = std::filesystem;

namespace vexa_test {

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "vexa-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void ScratchDir::write(const std::string& name, const std::string& bytes) const {
    fs::path file = path_ / name;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string ScratchDir::read(const std::string& name) const {
    std::ifstream file(path_ / name, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

bool ScratchDir::exists(const std::string& name) const { return fs::exists(path_ / name); }

namespace {

// Collects what the assembler prints on one console stream.
class Capture {
public:
    Capture() : stream_(open_memstream(&text_, &size_)) {}
    ~Capture() {
        if (stream_) std::fclose(stream_);
        std::free(text_);
    }
    FILE* stream() const { return stream_; }
    std::string take() {
        std::fclose(stream_);
        stream_ = nullptr;
        return std::string(text_, size_);
    }

private:
    char* text_ = nullptr;
    size_t size_ = 0;
    FILE* stream_;
};

}  // namespace

RunResult run_vexa(const ScratchDir& dir, const std::vector<std::string>& args) {
    std::vector<std::string> words{"vexa"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    Capture out, err;
    int status = vexa::vexa_main(int(words.size()), argv.data(), out.stream(), err.stream());
    fs::current_path(previous);
    return RunResult{out.take(), err.take(), status};
}

}  // namespace vexa_test
