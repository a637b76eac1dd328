// Assembles every row of the encoding tables under tests/cases and compares
// the object bytes and the reported error.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/case_file.h"
#include "support/encoding_table.h"
#include "support/run_vexa.h"

namespace fs = std::filesystem;

namespace vexa_test {
namespace {

std::vector<std::string> find_tables() {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(VEXA_CASES_DIR)) {
        if (entry.is_regular_file() && entry.path().extension() == ".enc") {
            paths.push_back(fs::relative(entry.path(), VEXA_CASES_DIR).string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The message of the last two-line report on standard error, if any.
std::string last_message(const std::string& err) {
    size_t tab = err.rfind("\n\t");
    if (tab == std::string::npos) return "";
    size_t end = err.find('\n', tab + 2);
    return err.substr(tab + 2, end - tab - 2);
}

class EncodingTableTest : public testing::TestWithParam<std::string> {};

TEST_P(EncodingTableTest, Rows) {
    std::ifstream file(fs::path(VEXA_CASES_DIR) / GetParam());
    std::stringstream text;
    text << file.rdbuf();
    std::string error;
    EncodingTable table = parse_encoding_table(text.str(), error);
    ASSERT_EQ(error, "");

    ScratchDir dir;
    for (const EncodingRow& row : table.rows) {
        SCOPED_TRACE(GetParam() + ":" + std::to_string(row.line_number) + ": " + row.source);
        dir.write("row.asm", table.before + row.source + "\n" + table.after + "        END\n");
        RunResult run = run_vexa(dir, {"row.asm"});
        EXPECT_EQ(to_hex(dir.read("row.COM")), to_hex(row.bytes));
        if (row.error.empty()) {
            EXPECT_EQ(run.exit_status, 0) << run.err;
        } else {
            EXPECT_EQ(run.exit_status, 2);
            EXPECT_EQ(last_message(run.err), row.error);
        }
    }
}

std::string table_name(const testing::TestParamInfo<std::string>& info) {
    std::string name = fs::path(info.param).replace_extension().string();
    std::replace_if(name.begin(), name.end(), [](char c) { return !isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Tables, EncodingTableTest, testing::ValuesIn(find_tables()), table_name);

}  // namespace
}  // namespace vexa_test
