// Numeric literals, symbol references and the operand character set.
#include <cstring>

#include "driver/assembly.h"
#include "parse/parse.h"
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

// Binary and octal literals: suffix letter, base and the error for a bad digit.
struct SuffixBase {
    char suffix;
    uint32_t base;
    int error;
};
constexpr SuffixBase suffix_bases[] = {{'B', 2, ERR_INVALID_BINARY}, {'O', 8, ERR_INVALID_OCTAL}};

// The characters an operand may contain: digits, upper-case letters, tab,
// the size-mark escape, space and a little punctuation.
struct OperandCharacters {
    bool allowed[256];
};
constexpr OperandCharacters build_operand_characters() {
    OperandCharacters set{};
    for (int c = '0'; c <= '9'; ++c) set.allowed[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) set.allowed[c] = true;
    for (const char* p = "\t\x1b $()*+,-/:@[]_"; *p; ++p) set.allowed[uint8_t(*p)] = true;
    return set;
}
constexpr OperandCharacters operand_characters = build_operand_characters();

// Operands are separated at the first comma; a second one is an error.
void note_comma(Commas& found, const char* comma) {
    if (!found.second) (found.first ? found.second : found.first) = const_cast<char*>(comma);
}

#if VEXA_VECTOR_PATHS
// The operand characters, as a vector test: ( ) * + , -   0-9 :   @ A-Z [
// and / ] _ $ space tab escape.
__m128i operand_characters_in(__m128i bytes) {
    auto is = [&](char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
    __m128i ranges = _mm_or_si128(_mm_or_si128(bytes_between(bytes, '(', '-'), bytes_between(bytes, '0', ':')),
                                  bytes_between(bytes, '@', '['));
    __m128i singles = _mm_or_si128(_mm_or_si128(_mm_or_si128(is('/'), is(']')), _mm_or_si128(is('_'), is('$'))),
                                   _mm_or_si128(_mm_or_si128(is(' '), is('\t')), is('\x1b')));
    return _mm_or_si128(ranges, singles);
}

// Sixteen characters a step: the text has room for a whole block after its
// terminator.
// The usual text is one block: its first two commas are then taken without
// a loop or a branch on how many there are.
int check_operand_block_by_block(const char* text, Commas& found) {
    for (const char* p = text;; p += 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        unsigned ends = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_setzero_si128())));
        unsigned wanted = ((ends & -ends) - 1) & 0xFFFF;  // all sixteen when the text goes on
        if (~unsigned(_mm_movemask_epi8(operand_characters_in(block))) & wanted) return ERR_INVALID_CHARACTER;
        unsigned commas = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(',')))) & wanted;
        if (ends && p == text) {
            unsigned later = commas & (commas - 1);
            found.first = commas ? const_cast<char*>(p) + __builtin_ctz(commas | 0x10000) : nullptr;
            found.second = later ? const_cast<char*>(p) + __builtin_ctz(later | 0x10000) : nullptr;
            return 0;
        }
        for (; commas && !found.second; commas &= commas - 1) note_comma(found, p + __builtin_ctz(commas));
        if (ends) return 0;
    }
}
#endif

#if VEXA_VECTOR_PATHS
// How many of the sixteen bytes at `p` are digits, or name characters, before the first that is not.
int leading_digits(const char* p) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return __builtin_ctz(~unsigned(_mm_movemask_epi8(bytes_between(block, '0', '9'))));
}

int leading_name_chars(const char* p) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i letters = _mm_or_si128(bytes_between(block, 'A', 'Z'), bytes_between(block, 'a', 'z'));
    __m128i others = _mm_or_si128(bytes_between(block, '0', '9'), _mm_cmpeq_epi8(block, _mm_set1_epi8('_')));
    return __builtin_ctz(~unsigned(_mm_movemask_epi8(_mm_or_si128(letters, others))));
}

// The usual number, one to eight decimal digits with no letter after them,
// read without a loop: the digits, right-aligned in a word, are combined in
// pairs, then fours, then all eight. False leaves the text to the full reader.
bool read_short_decimal(const char** cursor, int32_t* value) {
    const char* p = *cursor;
    int length = leading_digits(p);
    if (length == 0 || length > 8 || is_upper(p[length])) return false;
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    // The bytes after the digits, and what they borrow, are shifted out.
    uint64_t digits = (word - 0x3030303030303030ull) << (8 * (8 - length));
    digits = digits * 10 + (digits >> 8);
    digits = (((digits & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
              (((digits >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >> 32;
    *value = int32_t(uint32_t(digits));
    *cursor = p + length;
    return true;
}
#endif

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

int parse_number(const char** cursor, int32_t* value) {
#if VEXA_VECTOR_PATHS
    if (read_short_decimal(cursor, value)) return 0;
#endif
    return parse_other_number(cursor, value);
}

int parse_symbol_ref(Statement& s, const char** cursor, int32_t* value) {
    const char* start = *cursor;
    const char* end = start;
#if VEXA_VECTOR_PATHS
    end += leading_name_chars(start);
#endif
    while (is_name_char(*end)) ++end;
    *cursor = end;
    const SymbolTable& symbols = s.assembly.symbols;
    // A name of no characters is never found.
    int position = symbols.find(start, int(end - start), value);
    if (position >= 0) {
        // A value from names defined further down may change in a later pass.
        if (symbols.is_unsettled(position)) s.first_pass_guess = true;
        return 0;
    }
    s.first_pass_guess = true;
    if (s.pass.pass_index == 0 && !s.unresolved_name_hint) s.unresolved_name_hint = symbols.hint(start, int(end - start));
    return ERR_SYMBOL_NOT_DEFINED;
}

int check_operand_chars(const char* text, Commas* commas) {
    Commas found{};
#if VEXA_VECTOR_PATHS
    if (int result = check_operand_block_by_block(text, found)) return result;
#else
    for (const char* p = text; *p; ++p) {
        if (!operand_characters.allowed[uint8_t(*p)]) return ERR_INVALID_CHARACTER;
        if (*p == ',') note_comma(found, p);
    }
#endif
    if (commas) *commas = found;
    return 0;
}

const char* closing_quote(const char* open, const char* end) {
    return open + 1 < end ? static_cast<const char*>(std::memchr(open + 1, *open, size_t(end - open - 1))) : nullptr;
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
        if (!operand_characters.allowed[uint8_t(*p)]) return ERR_INVALID_CHARACTER;
        if (*p == ',') note_comma(found, p);
    }
    *commas = found;
    return 0;
}

}  // namespace vexa
