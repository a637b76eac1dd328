// Runs the whole assembler in-process inside a scratch directory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vexa_test {

struct RunResult {
    std::string out;
    std::string err;
    int exit_status;
};

// A fresh empty directory, removed with everything in it when destroyed.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    void write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    std::filesystem::path path_;
};

// Runs `vexa args...` with `dir` as the working directory.
RunResult run_vexa(const ScratchDir& dir, const std::vector<std::string>& args);

}  // namespace vexa_test
