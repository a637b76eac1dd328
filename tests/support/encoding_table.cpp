#include "support/encoding_table.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vexa_test {

namespace {

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

std::string trim_right(const std::string& text) {
    size_t end = text.find_last_not_of(" \t");
    return end == std::string::npos ? "" : text.substr(0, end + 1);
}

bool parse_bytes(const std::string& text, std::string& bytes) {
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        if (word.size() != 2 || !isxdigit(static_cast<unsigned char>(word[0])) ||
            !isxdigit(static_cast<unsigned char>(word[1]))) {
            return false;
        }
        bytes.push_back(char(std::stoi(word, nullptr, 16)));
    }
    return true;
}

bool parse_row(const std::string& line, EncodingRow& row) {
    size_t first_bar = line.find('|');
    if (first_bar == std::string::npos) return false;
    size_t second_bar = line.find('|', first_bar + 1);
    row.source = trim_right(line.substr(0, first_bar));
    std::string expected = trim(line.substr(first_bar + 1, second_bar - first_bar - 1));
    std::string nasm = second_bar == std::string::npos ? "" : trim(line.substr(second_bar + 1));
    row.nasm = nasm == "-" ? "" : nasm;

    size_t error_at = expected.find("error:");
    if (error_at != std::string::npos) {
        row.error = trim(expected.substr(error_at + 6));
        expected = expected.substr(0, error_at);
    }
    if (!parse_bytes(expected, row.bytes)) return false;
    // A row that produces bytes must say how NASM writes it, or say `-`.
    return row.bytes.empty() || second_bar != std::string::npos;
}

}  // namespace

EncodingTable parse_encoding_table(const std::string& text, std::string& error) {
    EncodingTable table;
    std::istringstream lines(text);
    std::string line, section;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (line.rfind("--- ", 0) == 0) {
            section = trim(line.substr(4));
            continue;
        }
        if (section == "options") {
            std::istringstream words(line);
            for (std::string word; words >> word;) table.options.push_back(word);
        } else if (section == "before") {
            table.before += line + "\n";
        } else if (section == "after") {
            table.after += line + "\n";
        } else if (section == "rows") {
            if (trim(line).empty() || line[0] == '#') continue;
            EncodingRow row;
            row.line_number = number;
            if (!parse_row(line, row)) error += "malformed row at line " + std::to_string(number) + "\n";
            table.rows.push_back(row);
        } else if (section != "nasm" && !trim(line).empty() && line[0] != '#') {
            error += "text outside a section at line " + std::to_string(number) + "\n";
        }
    }
    return table;
}

EncodingTable read_encoding_table(const std::string& path, std::string& error) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return parse_encoding_table(text.str(), error);
}

std::vector<std::string> find_encoding_tables(const std::string& cases_dir) {
    namespace fs = std::filesystem;
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(cases_dir)) {
        if (entry.is_regular_file() && entry.path().extension() == ".enc") {
            paths.push_back(fs::relative(entry.path(), cases_dir).generic_string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

}  // namespace vexa_test
