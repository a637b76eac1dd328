// Numeric literals, symbol references and the operand character set.
#include <cstdio>
#include <cstring>

#include "driver/assembly.h"
#include "parse/parse.h"
#include "parse/text_scan.h"
#include "symbols/symbols.h"

namespace vexa {

namespace {

constexpr bool is_hex_digit(char c) { return is_digit(c) || (c >= 'A' && c <= 'F'); }

constexpr uint32_t digit_value(char c) { return is_digit(c) ? uint32_t(c - '0') : uint32_t(c - 'A' + 10); }

// Digits of [begin, end) in `base`, wrapping modulo 2^32. Answers the first
// digit not below `base`, or `end`.
const char* accumulate(const char* begin, const char* end, uint32_t base, uint32_t& value) {
    value = 0;
    for (const char* p = begin; p < end; ++p) {
        uint32_t digit = digit_value(*p);
        if (digit >= base) return p;
        value = value * base + digit;
    }
    return end;
}

// Binary, octal and decimal literals: suffix letter (also the letter after a
// leading 0 of the prefixed form), base and the error for a bad digit.
struct SuffixBase {
    char suffix;
    uint32_t base;
    int error;
};
constexpr SuffixBase suffix_bases[] = {{'B', 2, ERR_INVALID_BINARY}, {'Y', 2, ERR_INVALID_BINARY},
                                       {'O', 8, ERR_INVALID_OCTAL},  {'Q', 8, ERR_INVALID_OCTAL},
                                       {'D', 10, ERR_INVALID_NUMBER}};

// The longest number a line holds, without its underscores.
constexpr size_t LONGEST_NUMBER = 64;

// 0b101, 0y101, 0o17, 0q17, 0d99: the digits after the letter, up to the
// end of the word. False, with nothing read, when the word goes on with a
// letter (0B101H is hexadecimal: a number is read by its last letter).
bool parse_prefixed_base(const char** cursor, int32_t* value, int* error) {
    const char* start = *cursor;
    const char* end = start + 2;
    while (is_digit(*end)) ++end;
    if (end == start + 2 || is_name_char(*end)) return false;
    for (const SuffixBase& form : suffix_bases) {
        if (start[1] != form.suffix) continue;
        uint32_t result;
        const char* stop = accumulate(start + 2, end, form.base, result);
        *error = stop == end ? 0 : form.error;
        if (!*error) *value = int32_t(result);
        *cursor = stop;
        return true;
    }
    return false;
}


// 0x1F: at least one hexadecimal digit after the 0X, and no letter, digit
// or underscore after them.
int parse_prefixed_hex(const char** cursor, int32_t* value) {
    const char* digits = *cursor + 2;
    const char* end = digits;
    while (is_hex_digit(*end)) ++end;
    if (end == digits || is_name_char(*end)) return ERR_INVALID_NUMBER;
    uint32_t result;
    accumulate(digits, end, 16, result);
    *value = int32_t(result);
    *cursor = end;
    return 0;
}

// Any number the quick reader leaves.
[[gnu::noinline]] int parse_other_number(const char** cursor, int32_t* value) {
    const char* start = *cursor;
    // One scan reads the digits both ways: hexadecimal comes first, and B and
    // D are hex digits, so 1011BH is hexadecimal.
    uint32_t hexadecimal = 0;
    uint32_t decimal = 0;
    const char* end = start;
    for (; is_digit(*end); ++end) {
        hexadecimal = hexadecimal * 16 + digit_value(*end);
        decimal = decimal * 10 + digit_value(*end);
    }
    const char* decimal_end = end;
    // Most literals are decimal: no letter follows their digits.
    if (!is_upper(*decimal_end)) {
        *value = int32_t(decimal);
        *cursor = decimal_end;
        return 0;
    }
    if (end == start + 1 && *start == '0' && *end == 'X') return parse_prefixed_hex(cursor, value);
    int error = 0;
    if (end == start + 1 && *start == '0' && parse_prefixed_base(cursor, value, &error)) return error;
    for (; is_hex_digit(*end); ++end) hexadecimal = hexadecimal * 16 + digit_value(*end);
    if (*end == 'H') {
        *value = int32_t(hexadecimal);
        *cursor = end + 1;
        return 0;
    }

    for (const SuffixBase& form : suffix_bases) {
        if (*decimal_end != form.suffix) continue;
        uint32_t result;
        const char* stop = accumulate(start, decimal_end, form.base, result);
        if (stop != decimal_end) {
            *cursor = stop;
            return form.error;
        }
        *value = int32_t(result);
        *cursor = decimal_end + 1;
        return 0;
    }
    return ERR_INVALID_NUMBER;
}

}  // namespace

// A number with `_` between its digits (1_000, 0FFFF_FFFFH) is read
// without them.
[[gnu::noinline]] int parse_number_with_underscores(const char** cursor, int32_t* value) {
    const char* end = *cursor;
    char digits[LONGEST_NUMBER + 1];
    size_t length = 0;
    for (; is_name_char(*end); ++end) {
        if (*end == '_') {
            // Only between two digits: 0x_1 and 7_ are no numbers.
            if (end == *cursor || !is_hex_digit(end[-1]) || !is_hex_digit(end[1])) return ERR_INVALID_NUMBER;
            continue;
        }
        if (length == LONGEST_NUMBER) return ERR_INVALID_NUMBER;
        digits[length++] = *end;
    }
    digits[length] = 0;
    const char* p = digits;
    int error = parse_other_number(&p, value);
    if (error || p != digits + length) return error ? error : ERR_INVALID_NUMBER;
    *cursor = end;
    return 0;
}

int parse_hex_digits(const char** cursor, int32_t* value) {
    const char* end = *cursor;
    while (is_hex_digit(*end) || *end == '_') ++end;
    if (end == *cursor || is_name_char(*end)) return ERR_INVALID_NUMBER;
    uint32_t result = 0;
    for (const char* p = *cursor; p < end; ++p) {
        if (*p != '_') result = result * 16 + digit_value(*p);
    }
    *value = int32_t(result);
    *cursor = end;
    return 0;
}

int parse_number(const char** cursor, int32_t* value) {
    if (scan::read_short_decimal(cursor, value)) return 0;
    const char* p = *cursor;
    while (is_name_char(*p) && *p != '_') ++p;
    if (*p == '_') return parse_number_with_underscores(cursor, value);
    return parse_other_number(cursor, value);
}

namespace {

[[gnu::noinline]] void note_use(Statement& s, int position) {
    s.assembly.uses.push_back(Assembly::Place{position, s.file, s.line_number});
}

// A name of `=` read before this pass assigned it reads the value the pass
// before ended with; the statement cannot be replayed with it.
[[gnu::noinline]] void note_assigned_read(Statement& s, int position) {
    s.first_pass_guess = true;
    s.pass.guessed_before = true;
    if (s.assembly.symbols.defined_in(position) != uint8_t(s.pass.pass_index + 1)) s.pass.assigned_read_early = true;
}

}  // namespace

int full_label_name(const Statement& s, const char* name, int length, char* full) {
    const Pass& pass = s.pass;
    bool anonymous = length == 2 && name[0] == '@' && (name[1] == '@' || name[1] == 'B' || name[1] == 'F');
    if (anonymous) {
        uint32_t number = pass.anonymous_labels + (name[1] == 'F');
        if (number == 0) return 0;  // @B before any @@:
        return std::snprintf(full, SYMBOL_NAME_LIMIT + 1, "@@:%u", number);
    }
    if (!is_local_label(name)) return length;
    size_t owner = size_t(pass.owner_length);
    if (owner == 0 || owner + size_t(length) > size_t(SYMBOL_NAME_LIMIT)) return 0;
    std::memcpy(full, pass.label_owner, owner);
    std::memcpy(full + owner, name, size_t(length));
    return int(owner) + length;
}

int parse_symbol_ref(Statement& s, const char** cursor, int32_t* value, uint8_t* kind, int* found_at) {
    const char* start = *cursor;
    const char* end = start + scan::leading_name_chars(start);
    while (is_name_char(*end)) ++end;
    *cursor = end;
    const SymbolTable& symbols = s.assembly.symbols;
    int length = int(end - start);
    char full[SYMBOL_NAME_LIMIT + 1 + SCAN_PADDING];
    if (*start == '.' || *start == '@') {
        // A local or anonymous label's full name; none for one without an owner.
        int full_length = full_label_name(s, start, length, full);
        if (full_length != length) {
            s.assembly.local_labels = true;
            start = full;
            length = full_length;
        }
    }
    // A name of no characters is never found.
    int position = symbols.find(start, length, value);
    if (found_at) *found_at = position;
    if (position >= 0) {
        uint8_t found_kind = symbols.kind_at(position);
        if (kind) *kind = found_kind;
        // A value from names defined further down may change in a later pass.
        if (symbols.is_unsettled(position)) s.first_pass_guess = s.pass.guessed_before = true;
        // Under NASM's conventions a name is its address: nothing to warn of.
        if ((found_kind & SYMBOL_ONE_VALUE) && !s.assembly.conventions.nasm) s.warnings |= NAMED_VARIABLE;
        if (symbol_kind(found_kind) == SYMBOL_ASSIGNED) note_assigned_read(s, position);
        if (s.assembly.options.symbol_map && s.pass.pass_index > 0) note_use(s, position);
        return 0;
    }
    if (kind) *kind = 0;
    s.first_pass_guess = s.pass.guessed_before = true;
    if (s.pass.pass_index == 0 && !s.unresolved_name_hint && length > 0) s.unresolved_name_hint = symbols.hint(start, length);
    return ERR_SYMBOL_NOT_DEFINED;
}

int check_operand_chars(const char* text, Commas* commas) {
    Commas found{};
    if (int result = scan::check_operand_characters(text, found)) return result;
    if (commas) *commas = found;
    return 0;
}

namespace {

// A backquoted string's end: a `\` takes the character after it (`a\`b`).
[[gnu::noinline]] const char* closing_backquote(const char* open, const char* end) {
    for (const char* p = open + 1; p < end; ++p) {
        if (*p == '\\') {
            ++p;
        } else if (*p == '`') {
            return p;
        }
    }
    return nullptr;
}

// The value of up to `longest` digits below `base` at `p`, and how many there are.
int escape_digits(const char* p, const char* end, uint32_t base, int longest, uint32_t& value) {
    int count = 0;
    value = 0;
    for (; count < longest && p + count < end; ++count) {
        char c = to_upper(p[count]);
        uint32_t digit = is_hex_digit(c) ? digit_value(c) : base;
        if (digit >= base) break;
        value = value * base + digit;
    }
    return count;
}

// The byte of the escape whose letter is `c`, or -1 for none.
int escaped_byte(char c) {
    constexpr const char* letters = "'\"`\\?abtnvfre";
    constexpr uint8_t bytes[] = {'\'', '"', '`', '\\', '?', 7, 8, 9, 10, 11, 12, 13, 27};
    const char* at = c ? std::strchr(letters, c) : nullptr;
    return at ? bytes[at - letters] : -1;
}

// The UTF-8 bytes of the character `code`: how many.
int utf8_bytes(uint32_t code, uint8_t* bytes) {
    if (code < 0x80) {
        bytes[0] = uint8_t(code);
        return 1;
    }
    int length = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    for (int i = length - 1; i > 0; --i, code >>= 6) bytes[i] = uint8_t(0x80 | (code & 0x3F));
    bytes[0] = uint8_t((0xF00 >> length) | code);  // 110xxxxx, 1110xxxx or 11110xxx
    return length;
}

// The bytes of the escape whose letter stands at `p`, after its `\`, which
// moves past it: how many (at most four), or its error. \x takes one or two
// hexadecimal digits, \u four and \U eight (a character, in UTF-8), an octal
// escape one to three digits.
int read_escape(const char*& p, const char* close, uint8_t* bytes) {
    uint32_t value;
    const char letter = *p;
    if (letter == 'x') {
        int digits = escape_digits(p + 1, close, 16, 2, value);
        if (digits == 0) return ERR_INVALID_CHARACTER;
        p += 1 + digits;
        bytes[0] = uint8_t(value);
        return 1;
    }
    if (letter == 'u' || letter == 'U') {
        int digits = letter == 'u' ? 4 : 8;
        if (escape_digits(p + 1, close, 16, digits, value) != digits) return ERR_INVALID_CHARACTER;
        if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return ERR_INVALID_CHARACTER;
        p += 1 + digits;
        return utf8_bytes(value, bytes);
    }
    if (int digits = escape_digits(p, close, 8, 3, value)) {
        if (value > 0xFF) return ERR_ILLEGAL_SIZE;
        p += digits;
        bytes[0] = uint8_t(value);
        return 1;
    }
    int byte = escaped_byte(letter);
    if (byte < 0) return ERR_INVALID_CHARACTER;
    ++p;
    bytes[0] = uint8_t(byte);
    return 1;
}

}  // namespace

const char* closing_quote(const char* open, const char* end) {
    if (*open == '`') return closing_backquote(open, end);
    return open + 1 < end ? static_cast<const char*>(std::memchr(open + 1, *open, size_t(end - open - 1))) : nullptr;
}

int string_bytes(const char* open, const char* close, uint8_t* out, int room) {
    int count = 0;
    for (const char* p = open + 1; p < close;) {
        uint8_t bytes[4] = {uint8_t(*p++)};
        int length = 1;
        if (bytes[0] == '\\' && *open == '`' && p < close && (length = read_escape(p, close, bytes)) < 0) return length;
        if (length > room - count) return ERR_ILLEGAL_SIZE;
        std::memcpy(out + count, bytes, size_t(length));
        count += length;
    }
    return count;
}

int string_text(const char* open, const char* close, std::string& text) {
    text.resize(size_t(close - open));
    int length = string_bytes(open, close, reinterpret_cast<uint8_t*>(text.data()), int(text.size()));
    text.resize(length < 0 ? 0 : size_t(length));
    return length < 0 ? length : 0;
}

int check_quoted_operand_chars(const char* text, const char* end, Commas* commas) {
    Commas found{};
    for (const char* p = text; *p; ++p) {
        if (is_quote(*p)) {
            const char* close = closing_quote(p, end);
            if (!close) return ERR_INVALID_CHARACTER;
            p = close;
            continue;
        }
        if (!scan::operand_characters.allowed[uint8_t(*p)]) return ERR_INVALID_CHARACTER;
        if (*p == ',') scan::note_comma(found, p);
    }
    *commas = found;
    return 0;
}

}  // namespace vexa
