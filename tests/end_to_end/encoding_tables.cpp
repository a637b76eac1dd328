// Assembles every row of the encoding tables under tests/cases and compares
// the object bytes and the reported error.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "encode/encode.h"
#include "support/case_file.h"
#include "support/encoding_table.h"
#include "support/run_vexa.h"

namespace fs = std::filesystem;

namespace vexa_test {
namespace {

// The message of the last two-line report on standard error, if any.
std::string last_message(const std::string& err) {
    size_t tab = err.rfind("\n\t");
    if (tab == std::string::npos) return "";
    size_t end = err.find('\n', tab + 2);
    return err.substr(tab + 2, end - tab - 2);
}

// An indented line whose first word is a reserved word, moved to column 0,
// where it still begins the statement. Other lines stay: a word there that
// is no reserved word would become a label.
std::string in_column_zero(const std::string& line) {
    size_t first = line.find_first_not_of(" \t");
    if (first == 0 || first == std::string::npos) return line;
    size_t end = line.find_first_of(" \t;", first);
    std::string word = line.substr(first, end == std::string::npos ? std::string::npos : end - first);
    if (word.empty() || word.size() > size_t(vexa::LONGEST_RESERVED_WORD)) return line;
    for (char& c : word) c = char(toupper(static_cast<unsigned char>(c)));
    return vexa::find_reserved_word(vexa::packed(word.c_str())) ? line.substr(first) : line;
}

std::string lines_in_column_zero(const std::string& text) {
    std::istringstream lines(text);
    std::string moved;
    for (std::string line; std::getline(lines, line);) moved += in_column_zero(line) + "\n";
    return moved;
}

// Every row, assembled between the table's lines before and after it, as
// written or with its statements moved to column 0.
void check_rows(const std::string& name, bool column_zero) {
    std::string error;
    EncodingTable table = read_encoding_table((fs::path(VEXA_CASES_DIR) / name).string(), error);
    ASSERT_EQ(error, "");
    if (column_zero) {
        table.before = lines_in_column_zero(table.before);
        table.after = lines_in_column_zero(table.after);
    }

    ScratchDir dir;
    for (const EncodingRow& row : table.rows) {
        std::string source = column_zero ? in_column_zero(row.source) : row.source;
        SCOPED_TRACE(name + ":" + std::to_string(row.line_number) + ": " + source);
        dir.write("row.asm", table.before + source + "\n" + table.after + (column_zero ? "END\n" : "        END\n"));
        std::vector<std::string> arguments = table.options;
        arguments.push_back("row.asm");
        RunResult run = run_vexa(dir, arguments);
        EXPECT_EQ(to_hex(dir.read("row.COM")), to_hex(row.bytes));
        if (row.error.empty()) {
            EXPECT_EQ(run.exit_status, 0) << run.err;
        } else {
            EXPECT_EQ(run.exit_status, 2);
            EXPECT_EQ(last_message(run.err), row.error);
        }
    }
}

class EncodingTableTest : public testing::TestWithParam<std::string> {};

TEST_P(EncodingTableTest, Rows) { check_rows(GetParam(), false); }

TEST_P(EncodingTableTest, RowsInColumnZero) { check_rows(GetParam(), true); }

std::string table_name(const testing::TestParamInfo<std::string>& info) {
    std::string name = fs::path(info.param).replace_extension().string();
    std::replace_if(name.begin(), name.end(), [](char c) { return !isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Tables, EncodingTableTest, testing::ValuesIn(find_encoding_tables(VEXA_CASES_DIR)), table_name);

}  // namespace
}  // namespace vexa_test
