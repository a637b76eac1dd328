#include "support/case_file.h"

#include <sstream>

namespace vexa_test {

namespace {

std::vector<std::string> split_words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream stream(text);
    std::string word;
    while (stream >> word) words.push_back(word);
    return words;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string hex_to_bytes(const std::string& text, std::string& error) {
    std::string bytes;
    for (const std::string& word : split_words(text)) {
        if (word.size() != 2 || hex_digit(word[0]) < 0 || hex_digit(word[1]) < 0) {
            error = "bad hexadecimal byte '" + word + "'";
            return bytes;
        }
        bytes.push_back(char(hex_digit(word[0]) * 16 + hex_digit(word[1])));
    }
    return bytes;
}

struct Section {
    std::vector<std::string> header;
    std::vector<std::string> lines;

    bool escaped() const { return header.size() >= 2 && header.back() == "escaped"; }
    std::string name() const { return header.size() > 1 ? header[1] : ""; }
    std::string joined(const char* separator) const {
        std::string text;
        for (const std::string& line : lines) text += line + separator;
        return text;
    }
    std::string content() const { return escaped() ? unescape(joined("")) : joined("\n"); }

    std::string listing() const {
        std::string text = joined("\r\n");
        if (!lines.empty() && lines.back() == "<FF>") text.resize(text.size() - 2);
        for (size_t at; (at = text.find("<FF>")) != std::string::npos;) text.replace(at, 4, "\f");
        return text;
    }
};

void apply(const Section& section, CaseFile& result, std::string& error) {
    const std::string& kind = section.header[0];
    if (kind == "args") {
        result.args = split_words(section.joined(" "));
    } else if (kind == "file") {
        result.inputs.push_back({section.name(), section.content(), false});
    } else if (kind == "stdout") {
        result.out = section.content();
    } else if (kind == "stderr") {
        result.err = section.content();
    } else if (kind == "exit") {
        result.exit_status = std::stoi(section.joined(" "));
    } else if (kind == "object") {
        result.expected_files.push_back({section.name(), hex_to_bytes(section.joined(" "), error), true});
    } else if (kind == "text") {
        result.expected_files.push_back({section.name(), section.content(), false});
    } else if (kind == "listing") {
        result.expected_files.push_back({section.name(), section.listing(), false});
    } else if (kind == "absent") {
        result.absent_files.push_back(section.name());
    } else {
        error = "unknown section '" + kind + "'";
    }
}

}  // namespace

std::string unescape(const std::string& text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            bytes.push_back(text[i]);
            continue;
        }
        char c = text[++i];
        switch (c) {
            case 'n': bytes.push_back('\n'); break;
            case 'r': bytes.push_back('\r'); break;
            case 't': bytes.push_back('\t'); break;
            case 'f': bytes.push_back('\f'); break;
            case '0': bytes.push_back('\0'); break;
            case 'x':
                bytes.push_back(char(hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2])));
                i += 2;
                break;
            default: bytes.push_back(c); break;
        }
    }
    return bytes;
}

std::string to_hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        if (!text.empty()) text.push_back(' ');
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 15]);
    }
    return text;
}

CaseFile parse_case_file(const std::string& text, std::string& error) {
    CaseFile result;
    std::vector<Section> sections;
    for (const std::string& line : split_lines(text)) {
        if (line.rfind("--- ", 0) == 0) {
            sections.push_back({split_words(line.substr(4)), {}});
        } else if (!sections.empty()) {
            sections.back().lines.push_back(line);
        } else if (!line.empty() && line[0] != '#') {
            error = "text before the first section: " + line;
        }
    }
    for (const Section& section : sections) {
        if (section.header.empty()) {
            error = "empty section header";
        } else {
            apply(section, result, error);
        }
    }
    if (!result.exit_status) error = "no exit section";
    return result;
}

}  // namespace vexa_test
