// Runs every case file under tests/cases through the whole assembler.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/case_file.h"
#include "support/run_vexa.h"

namespace fs = std::filesystem;

namespace vexa_test {
namespace {

std::vector<std::string> find_case_files() {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(VEXA_CASES_DIR)) {
        if (entry.is_regular_file() && entry.path().extension() == ".case") {
            paths.push_back(fs::relative(entry.path(), VEXA_CASES_DIR).string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class EndToEnd : public testing::TestWithParam<std::string> {};

TEST_P(EndToEnd, Case) {
    std::string error;
    CaseFile expected = parse_case_file(read_file(fs::path(VEXA_CASES_DIR) / GetParam()), error);
    ASSERT_EQ(error, "");

    ScratchDir dir;
    for (const NamedContent& input : expected.inputs) dir.write(input.name, input.bytes);
    RunResult run = run_vexa(dir, expected.args);

    if (expected.out) {
        EXPECT_EQ(run.out, *expected.out) << "standard output";
    }
    if (expected.err) {
        EXPECT_EQ(run.err, *expected.err) << "standard error";
    }
    EXPECT_EQ(run.exit_status, *expected.exit_status) << "exit status";
    for (const NamedContent& file : expected.expected_files) {
        ASSERT_TRUE(dir.exists(file.name)) << file.name << " was not written";
        std::string actual = dir.read(file.name);
        if (file.binary) {
            EXPECT_EQ(to_hex(actual), to_hex(file.bytes)) << file.name;
        } else {
            EXPECT_EQ(actual, file.bytes) << file.name;
        }
    }
    for (const std::string& name : expected.absent_files) {
        EXPECT_FALSE(dir.exists(name)) << name << " should not exist";
    }
}

std::string case_name(const testing::TestParamInfo<std::string>& info) {
    std::string name = fs::path(info.param).replace_extension().string();
    std::replace_if(name.begin(), name.end(), [](char c) { return !isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, EndToEnd, testing::ValuesIn(find_case_files()), case_name);

}  // namespace
}  // namespace vexa_test
