// Recursive descent over the JSON grammar, one function per kind of value.
#include "run/json.h"

#include <charconv>
#include <cmath>

namespace vexa {

const JsonValue* JsonValue::member(std::string_view name) const {
    if (kind != JSON_OBJECT) return nullptr;
    for (const JsonValue& item : items) {
        if (item.key == name) return &item;
    }
    return nullptr;
}

bool JsonValue::is_integer() const {
    return kind == JSON_NUMBER && std::floor(number) == number && std::fabs(number) < 9.0e15;
}

namespace {

constexpr int MAX_DEPTH = 64;  // deeper nesting is taken for a broken file, not recursed into

struct Reader {
    std::string_view text;
    size_t position = 0;
    std::string* error;

    bool fail(const char* what) {
        *error = std::string(what) + " at offset " + std::to_string(position);
        return false;
    }
    void skip_space() {
        while (position < text.size() && (text[position] == ' ' || text[position] == '\t' ||
                                          text[position] == '\n' || text[position] == '\r')) {
            ++position;
        }
    }
    bool at_end() const { return position >= text.size(); }
    char peek() const { return at_end() ? '\0' : text[position]; }
    bool take(char expected) {
        skip_space();
        if (peek() != expected) return false;
        ++position;
        return true;
    }
};

bool read_value(Reader& reader, JsonValue& value, int depth);

bool read_word(Reader& reader, std::string_view word, JsonValue& value, JsonKind kind) {
    if (reader.text.substr(reader.position, word.size()) != word) return reader.fail("unknown word");
    reader.position += word.size();
    value.kind = kind;
    return true;
}

bool read_number(Reader& reader, JsonValue& value) {
    size_t start = reader.position;
    if (reader.peek() == '-') ++reader.position;
    if (!(reader.peek() >= '0' && reader.peek() <= '9')) return reader.fail("bad number");
    const char* first = reader.text.data() + start;
    auto [end, problem] = std::from_chars(first, reader.text.data() + reader.text.size(), value.number);
    if (problem != std::errc()) return reader.fail("bad number");
    reader.position = size_t(end - reader.text.data());
    value.kind = JSON_NUMBER;
    return true;
}

void append_utf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | code >> 6);
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | code >> 12);
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | code >> 18);
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

bool read_hex4(Reader& reader, uint32_t& code) {
    if (reader.position + 4 > reader.text.size()) return reader.fail("short \\u escape");
    const char* first = reader.text.data() + reader.position;
    auto [end, problem] = std::from_chars(first, first + 4, code, 16);
    if (problem != std::errc() || end != first + 4) return reader.fail("bad \\u escape");
    reader.position += 4;
    return true;
}

// One escape after its backslash; a surrogate pair becomes one character.
bool read_escape(Reader& reader, std::string& out) {
    constexpr std::string_view plain = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
    char letter = reader.peek();
    ++reader.position;
    if (size_t at = plain.find(letter); letter && at != std::string_view::npos) {
        out += meaning[at];
        return true;
    }
    if (letter != 'u') return reader.fail("bad escape");
    uint32_t code;
    if (!read_hex4(reader, code)) return false;
    if (code >= 0xD800 && code < 0xDC00 && reader.text.substr(reader.position, 2) == "\\u") {
        reader.position += 2;
        uint32_t second;
        if (!read_hex4(reader, second)) return false;
        if (second < 0xDC00 || second >= 0xE000) return reader.fail("bad surrogate pair");
        code = 0x10000 + ((code - 0xD800) << 10) + (second - 0xDC00);
    }
    append_utf8(out, code);
    return true;
}

bool read_string(Reader& reader, std::string& out) {
    ++reader.position;  // the opening quote
    while (!reader.at_end()) {
        char c = reader.text[reader.position++];
        if (c == '"') return true;
        if (uint8_t(c) < 0x20) return reader.fail("control character in a string");
        if (c != '\\') {
            out += c;
        } else if (!read_escape(reader, out)) {
            return false;
        }
    }
    return reader.fail("unterminated string");
}

bool read_array(Reader& reader, JsonValue& value, int depth) {
    ++reader.position;
    value.kind = JSON_ARRAY;
    if (reader.take(']')) return true;
    do {
        value.items.emplace_back();
        if (!read_value(reader, value.items.back(), depth + 1)) return false;
    } while (reader.take(','));
    return reader.take(']') || reader.fail("expected , or ]");
}

bool read_object(Reader& reader, JsonValue& value, int depth) {
    ++reader.position;
    value.kind = JSON_OBJECT;
    if (reader.take('}')) return true;
    do {
        reader.skip_space();
        if (reader.peek() != '"') return reader.fail("expected a member name");
        std::string key;
        if (!read_string(reader, key)) return false;
        if (!reader.take(':')) return reader.fail("expected :");
        value.items.emplace_back();
        if (!read_value(reader, value.items.back(), depth + 1)) return false;
        value.items.back().key = std::move(key);
    } while (reader.take(','));
    return reader.take('}') || reader.fail("expected , or }");
}

bool read_value(Reader& reader, JsonValue& value, int depth) {
    if (depth > MAX_DEPTH) return reader.fail("nested too deeply");
    reader.skip_space();
    switch (reader.peek()) {
    case '{': return read_object(reader, value, depth);
    case '[': return read_array(reader, value, depth);
    case '"': value.kind = JSON_STRING; return read_string(reader, value.text);
    case 't': return read_word(reader, "true", value, JSON_TRUE);
    case 'f': return read_word(reader, "false", value, JSON_FALSE);
    case 'n': return read_word(reader, "null", value, JSON_NULL);
    case '\0':
        if (reader.at_end()) return reader.fail("unexpected end");
        return reader.fail("unexpected character");
    default: return read_number(reader, value);
    }
}

}  // namespace

bool parse_json(std::string_view text, JsonValue& value, std::string& error) {
    Reader reader{text, 0, &error};
    value = JsonValue{};
    if (!read_value(reader, value, 0)) return false;
    reader.skip_space();
    return reader.at_end() || reader.fail("text after the value");
}

}  // namespace vexa
