// No operand text is ever ignored: every statement of the encoding tables and
// of the example programs that assembles cleanly must fail once text that
// cannot continue it is appended to its operands.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/encoding_table.h"
#include "support/run_vexa.h"

namespace fs = std::filesystem;

namespace vexa_test {
namespace {

std::string read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<fs::path> files_under(const char* dir, const char* extension) {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file() && entry.path().extension() == extension) paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// A source line cut where its comment begins (a `;` outside quotes; in
// backquotes a `\` takes the character after it).
struct Statement {
    std::string code;     // without trailing blanks
    std::string comment;  // from the `;` on, with the blanks before it
    std::string mnemonic;
    std::string operands;
};

Statement split_statement(const std::string& line) {
    Statement s;
    size_t cut = line.size();
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (quote) {
            if (quote == '`' && line[i] == '\\') {
                ++i;
            } else if (line[i] == quote) {
                quote = 0;
            }
        } else if (line[i] == '\'' || line[i] == '"' || line[i] == '`') {
            quote = line[i];
        } else if (line[i] == ';') {
            cut = i;
            break;
        }
    }
    s.code = line.substr(0, cut);
    s.code.erase(s.code.find_last_not_of(" \t\r") + 1);
    s.comment = line.substr(s.code.size());
    std::istringstream words(s.code);
    std::string label;
    if (!s.code.empty() && !isspace(static_cast<unsigned char>(s.code[0]))) words >> label;
    words >> s.mnemonic;
    std::getline(words, s.operands);
    s.operands.erase(0, s.operands.find_first_not_of(" \t"));
    for (char& c : s.mnemonic) c = char(toupper(static_cast<unsigned char>(c)));
    return s;
}

// Texts that cannot continue the statement. After a DB string another item
// may follow without a comma, and a statement without operands may take one
// (RET 4), so a blank and a number continue those. X lengthens a name into
// one never defined (but $X is the name X). A comma may end a DB or DW
// list, repeated by TIMES or not, and no other statement; a zero byte
// stands in a string or a comment only.
std::vector<std::string> suffixes_for(const Statement& s) {
    std::vector<std::string> suffixes = {")", std::string(1, '\0')};
    if (s.operands.empty() || s.operands.back() != '$') suffixes.push_back("X");
    bool ends_item_list = s.mnemonic == "DB" && (s.operands.empty() || s.operands.back() == '\'' ||
                                                 s.operands.back() == '"' || s.operands.back() == '`' ||
                                                 s.operands.back() == ',');
    if (!s.operands.empty() && !ends_item_list) suffixes.push_back(" 5");
    bool data = s.mnemonic == "DB" || s.mnemonic == "DW" || s.mnemonic == "DD" || s.mnemonic == "DQ" ||
                s.mnemonic == "TIMES";
    if (!data) suffixes.push_back(",");
    return suffixes;
}

bool is_statement(const Statement& s) { return !s.mnemonic.empty() && s.mnemonic != "END"; }

// Assembles `before` + the changed line + `after` and expects an error.
// Answers how many changed lines were assembled.
int expect_error_with_suffixes(const std::string& before, const std::string& line, const std::string& after,
                               const std::string& where) {
    Statement s = split_statement(line);
    if (!is_statement(s)) return 0;
    ScratchDir dir;
    for (const std::string& suffix : suffixes_for(s)) {
        std::string changed = s.code + suffix + s.comment;
        dir.write("row.asm", before + changed + "\n" + after);
        RunResult run = run_vexa(dir, {"row.asm"});
        EXPECT_EQ(run.exit_status, 2) << where << ": '" << changed << "' assembled without an error";
    }
    return int(suffixes_for(s).size());
}

TEST(TrailingText, EveryCleanTableRowFailsWithTextAppended) {
    int checked = 0;
    for (const fs::path& path : files_under(VEXA_CASES_DIR, ".enc")) {
        std::string error;
        EncodingTable table = parse_encoding_table(read_file(path), error);
        ASSERT_EQ(error, "") << path;
        for (const EncodingRow& row : table.rows) {
            if (!row.error.empty()) continue;
            std::string where = fs::relative(path, VEXA_CASES_DIR).string() + ":" + std::to_string(row.line_number);
            checked += expect_error_with_suffixes(table.before, row.source, table.after + "        END\n", where);
        }
    }
    EXPECT_GT(checked, 1000);
}

std::string upper(std::string word) {
    for (char& c : word) c = char(toupper(static_cast<unsigned char>(c)));
    return word;
}

std::vector<std::string> lines_of(const fs::path& path) {
    std::vector<std::string> lines;
    std::istringstream text(read_file(path));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

// The names of the macros a program defines (NAME MACRO, %macro NAME),
// also in the macro library it includes.
std::vector<std::string> macro_names(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    for (const std::string& line : lines) {
        std::istringstream words(line);
        std::string first, second;
        words >> first >> second;
        if (upper(second) == "MACRO") names.push_back(upper(first));
        if (upper(first) == "%MACRO" || upper(first) == "%IMACRO") names.push_back(upper(second));
        if (upper(first) == "INCLUDE" && second.size() > 2) {
            fs::path library = fs::path(VEXA_EXAMPLES_DIR) / ".." / "include" / second.substr(1, second.size() - 2);
            if (fs::exists(library)) {
                for (const std::string& name : macro_names(lines_of(library))) names.push_back(name);
            }
        }
    }
    return names;
}

// A macro's call or definition, a list of IRP or IRPC, LOCAL names or a
// NASM directive (%define...): free text, which more text may continue.
bool takes_free_text(const std::string& line, const std::vector<std::string>& macros) {
    std::istringstream words(line);
    std::string first, second;
    words >> first >> second;
    first = upper(first);
    second = upper(second);
    if (!first.empty() && first.back() == ':') {
        first = second;
        second.clear();
    }
    auto is_macro = [&](const std::string& word) {
        return std::find(macros.begin(), macros.end(), word) != macros.end();
    };
    for (const char* word : {"MACRO", "IRP", "IRPC", "FOR", "FORC", "LOCAL"}) {
        if (first == word || second == word) return true;
    }
    return (!first.empty() && first[0] == '%') || is_macro(first) || is_macro(second);
}

TEST(TrailingText, EveryStatementOfTheExamplesFailsWithTextAppended) {
    int checked = 0;
    for (const fs::path& path : files_under(VEXA_EXAMPLES_DIR, ".asm")) {
        std::vector<std::string> lines = lines_of(path);
        std::vector<std::string> macros = macro_names(lines);
        for (size_t i = 0; i < lines.size(); ++i) {
            if (takes_free_text(split_statement(lines[i]).code, macros)) continue;
            std::string before, after;
            for (size_t j = 0; j < i; ++j) before += lines[j] + "\n";
            for (size_t j = i + 1; j < lines.size(); ++j) after += lines[j] + "\n";
            std::string where = path.filename().string() + ":" + std::to_string(i + 1);
            checked += expect_error_with_suffixes(before, lines[i], after, where);
        }
    }
    EXPECT_GT(checked, 500);
}

}  // namespace
}  // namespace vexa_test
