// A small JSON reader for the processor tests and their metadata: the whole
// text becomes a tree of values; a malformed text is an error, not a throw.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

enum JsonKind { JSON_NULL, JSON_FALSE, JSON_TRUE, JSON_NUMBER, JSON_STRING, JSON_ARRAY, JSON_OBJECT };

struct JsonValue {
    JsonKind kind = JSON_NULL;
    std::string key;     // the member's name when the value sits in an object
    double number = 0;
    std::string text;    // a string's contents
    std::vector<JsonValue> items;  // an array's elements, an object's members

    // The member named `name`, or null when there is none (or this is no object).
    const JsonValue* member(std::string_view name) const;
    bool is_integer() const;
    int64_t integer() const { return int64_t(number); }
};

// Reads one JSON text. On failure answers false with a message in `error`.
bool parse_json(std::string_view text, JsonValue& value, std::string& error);

}  // namespace vexa
