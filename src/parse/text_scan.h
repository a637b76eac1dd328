// The scans of source text that every line goes through: finding its end,
// copying and marking it, and taking its fields. Each reads sixteen bytes at
// a time where the processor has SSE2 and the build does not ask for the
// plain paths (VEXA_PLAIN_PATHS), one byte at a time otherwise; both answer
// the same. A vector scan may read up to sixteen bytes past the text it is
// given: every buffer it reads has that room (SCAN_PADDING, SOURCE_PADDING).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "parse/parse.h"

#if VEXA_VECTOR_PATHS
#include <emmintrin.h>
#endif

namespace vexa::scan {

#if VEXA_VECTOR_PATHS
// All ones in each of the sixteen bytes from `low` to `high`.
inline __m128i bytes_between(__m128i bytes, char low, char high) {
    __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8(low));
    return _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(char(high - low))), offset);
}

inline __m128i blank_bytes(__m128i block) {
    return _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8(' ')), bytes_between(block, '\t', '\r'));
}

inline __m128i upper_case(__m128i bytes) {
    return _mm_sub_epi8(bytes, _mm_and_si128(bytes_between(bytes, 'a', 'z'), _mm_set1_epi8(0x20)));
}

// One bit for each of the sixteen bytes that ends a word: the terminator, a
// blank, and `also` (0 for none).
inline unsigned word_ends(__m128i block, char also) {
    __m128i blanks = blank_bytes(block);
    __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(block, _mm_setzero_si128()), _mm_cmpeq_epi8(block, _mm_set1_epi8(also)));
    return unsigned(_mm_movemask_epi8(_mm_or_si128(blanks, ends)));
}

inline __m128i load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }

// The first `count` bytes of `bytes`, zeros after them.
inline __m128i first_bytes(__m128i bytes, int count) {
    const __m128i lanes = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    return _mm_and_si128(bytes, _mm_cmplt_epi8(lanes, _mm_set1_epi8(char(count))));
}
#endif

inline bool is_line_end(uint8_t c) { return c == '\r' || c == '\n'; }

// ---- Lines ---------------------------------------------------------------------

// The first CR or LF in [p, limit), or limit.
inline const uint8_t* find_line_end(const uint8_t* p, const uint8_t* limit) {
#if VEXA_VECTOR_PATHS
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; limit - p >= 16; p += 16) {
        __m128i block = load(p);
        int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf)));
        if (hits) return p + __builtin_ctz(unsigned(hits));
    }
#endif
    while (p < limit && !is_line_end(*p)) ++p;
    return p;
}

// The characters a line's marks note: ; ' " ` and the zero byte.
struct MarkedCharacters {
    bool marked[256];
};
constexpr MarkedCharacters build_marked_characters() {
    MarkedCharacters set{};
    for (char c : {';', '\'', '"', '`', '\0'}) set.marked[uint8_t(c)] = true;
    return set;
}
inline constexpr MarkedCharacters marked_characters = build_marked_characters();

// The marks of the `length` characters at `line`, one at a time.
inline LineMarks mark_text(char* line, size_t length) {
    LineMarks marks{};
    char* end = line + length;
    for (char* p = line; p < end; ++p) {
        if (!marked_characters.marked[uint8_t(*p)]) continue;  // most characters
        bool single = *p == '\'' || *p == '`';  // a backquote counts as a single quote
        if (*p == ';' && !marks.semicolon) marks.semicolon = p;
        if (single && !marks.single_quote) marks.single_quote = p;
        if (*p == '"' && !marks.double_quote) marks.double_quote = p;
        if (single) marks.last_single_quote = p;
        if (*p == '"') marks.last_double_quote = p;
        if (*p == 0 && !marks.zero) marks.zero = p;
    }
    marks.text = line;
    marks.end = end;
    return marks;
}

#if VEXA_VECTOR_PATHS
// The marks of one 16-byte block at `base` of the line being copied, which
// ends at the first bit of `ends`, if any.
inline void mark_block(LineMarks& marks, __m128i block, char* base, unsigned ends) {
    unsigned valid = (ends & -ends) - 1;  // every bit when the line goes on
    if (ends) marks.end = base + __builtin_ctz(ends);
    __m128i semicolon_bytes = _mm_cmpeq_epi8(block, _mm_set1_epi8(';'));
    // A backquote counts as a single quote.
    __m128i single_bytes = _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\'')),
                                        _mm_cmpeq_epi8(block, _mm_set1_epi8('`')));
    __m128i double_bytes = _mm_cmpeq_epi8(block, _mm_set1_epi8('"'));
    __m128i zero_bytes = _mm_cmpeq_epi8(block, _mm_setzero_si128());
    // Most blocks hold none of the four: one test for all of them.
    __m128i marked = _mm_or_si128(_mm_or_si128(semicolon_bytes, zero_bytes), _mm_or_si128(single_bytes, double_bytes));
    if ((unsigned(_mm_movemask_epi8(marked)) & valid) == 0) return;
    unsigned zeros = unsigned(_mm_movemask_epi8(zero_bytes)) & valid;
    if (zeros && !marks.zero) marks.zero = base + __builtin_ctz(zeros);
    unsigned semicolons = unsigned(_mm_movemask_epi8(semicolon_bytes)) & valid;
    unsigned singles = unsigned(_mm_movemask_epi8(single_bytes)) & valid;
    unsigned doubles = unsigned(_mm_movemask_epi8(double_bytes)) & valid;
    if (semicolons && !marks.semicolon) marks.semicolon = base + __builtin_ctz(semicolons);
    if (singles) {
        if (!marks.single_quote) marks.single_quote = base + __builtin_ctz(singles);
        marks.last_single_quote = base + 31 - __builtin_clz(singles);
    }
    if (doubles) {
        if (!marks.double_quote) marks.double_quote = base + __builtin_ctz(doubles);
        marks.last_double_quote = base + 31 - __builtin_clz(doubles);
    }
}
#endif

// Copies the line at `line` up to its first CR or LF, or its first `limit`
// bytes, with a terminator, and marks it; answers the length copied. Whole
// 16-byte stores, the terminator inside the last, let the line splitter's
// 16-byte loads of the same blocks be served at once; one pass finds the
// end, copies and marks.
inline size_t copy_marked_line(char* buffer, const uint8_t* line, size_t limit, LineMarks& marks) {
#if VEXA_VECTOR_PATHS
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    // Found in a local: the stores into the buffer cannot then touch them.
    LineMarks found{};
    for (size_t offset = 0;; offset += 16) {
        __m128i block = load(line + offset);
        unsigned ends = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf))));
        if (limit - offset < 16) ends |= 1u << (limit - offset);
        mark_block(found, block, buffer + offset, ends);
        if (ends) {
            unsigned length = unsigned(__builtin_ctz(ends));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer + offset), first_bytes(block, int(length)));
            marks = found;
            return offset + length;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer + offset), block);
    }
#else
    size_t length = size_t(find_line_end(line, line + limit) - line);
    std::memcpy(buffer, line, length);
    buffer[length] = 0;
    marks = mark_text(buffer, length);
    return length;
#endif
}

// ---- Fields of a line ---------------------------------------------------------------

// Copies the label at `from`, upper-cased, into `to` up to a blank, a
// colon or the terminator; answers its length. `to` is not terminated.
inline int copy_label(char* to, const char* from) {
    int stored = 0;
#if VEXA_VECTOR_PATHS
    for (;; stored += 16) {
        __m128i block = load(from + stored);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + stored), upper_case(block));
        if (unsigned ends = word_ends(block, ':')) return stored + __builtin_ctz(ends);
    }
#else
    while (from[stored] && !is_blank(from[stored]) && from[stored] != ':') {
        to[stored] = to_upper(from[stored]);
        ++stored;
    }
    return stored;
#endif
}

// Copies up to `longest` (at most 8) characters of the word at `p`,
// upper-cased, into `field`, zeros after them up to the eighth; answers how
// many. The line's copy ends at `line_end`; its bytes are read `distance`
// away, where the copy came from (they are the same before the line's end).
[[gnu::always_inline]] inline int copy_mnemonic(char* field, const char* p, const char* line_end, ptrdiff_t distance, int longest) {
#if VEXA_VECTOR_PATHS
    __m128i block = load(p + distance);
    // The copy's terminator, where the source holds the line end or a ';'.
    size_t left = size_t(line_end - p);
    unsigned line_ends = unsigned(~uint64_t(0) << (left < 32 ? left : 32));
    int stored = __builtin_ctz(word_ends(block, 0) | line_ends | 1u << longest);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(field), first_bytes(upper_case(block), stored));
    return stored;
#else
    (void)line_end;
    (void)distance;
    int stored = 0;
    while (p[stored] && !is_blank(p[stored]) && stored < longest) {
        field[stored] = to_upper(p[stored]);
        ++stored;
    }
    std::memset(field + stored, 0, size_t(8 - stored));
    return stored;
#endif
}

// Up to sixteen operand characters at `p` at once, when they hold no blank
// and nothing that could begin a size keyword (its first two letters): they
// are stored at `to` upper-cased, as the character loop would. Answers how
// many were taken, 0 to leave them to that loop (always, on the plain
// paths). The byte after the last one read (the end of the text at `end`,
// or a quote) is never a letter. A block that reaches `end` is stored with
// zeros after it: the text's terminator when nothing follows. The bytes are
// read `distance` away, as for copy_mnemonic.
inline int take_plain_block(char* to, const char* p, const char* end, ptrdiff_t distance) {
#if VEXA_VECTOR_PATHS
    int count = end - p < 16 ? int(end - p) : 16;
    unsigned wanted = (1u << count) - 1;
    __m128i block = load(p + distance);
    if (unsigned(_mm_movemask_epi8(blank_bytes(block))) & wanted) return 0;
    __m128i upper = upper_case(block);
    // The shortest keyword has three letters: most blocks have no three in a
    // row, and need no closer look. A run reaching the block's end may go on.
    unsigned letters = unsigned(_mm_movemask_epi8(bytes_between(upper, 'A', 'Z'))) & wanted;
    if (count == 16) letters |= 0x30000;
    if ((letters & letters >> 1 & letters >> 2 & wanted) != 0) {
        __m128i next = upper_case(load(p + 1 + distance));
        // The first two letters of BYTE, DWORD, WORD, FAR, NEAR, OFFSET, SHORT.
        auto starts = [&](char first, char second) {
            return _mm_and_si128(_mm_cmpeq_epi8(upper, _mm_set1_epi8(first)), _mm_cmpeq_epi8(next, _mm_set1_epi8(second)));
        };
        __m128i keywords = _mm_or_si128(_mm_or_si128(starts('B', 'Y'), starts('D', 'W')),
                                        _mm_or_si128(_mm_or_si128(starts('W', 'O'), starts('F', 'A')),
                                                     _mm_or_si128(_mm_or_si128(starts('N', 'E'), starts('O', 'F')),
                                                                  starts('S', 'H'))));
        if (unsigned(_mm_movemask_epi8(keywords)) & wanted) return 0;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), first_bytes(upper, count));
    return count;
#else
    (void)to;
    (void)p;
    (void)end;
    (void)distance;
    return 0;
#endif
}

// ---- Operand text ---------------------------------------------------------------------

// The characters an operand may contain: digits, upper-case letters, tab,
// the size-mark escape, space and a little punctuation.
struct OperandCharacters {
    bool allowed[256];
};
constexpr OperandCharacters build_operand_characters() {
    OperandCharacters set{};
    for (int c = '0'; c <= '9'; ++c) set.allowed[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) set.allowed[c] = true;
    for (const char* p = "\t\x1b $()*+,-./:?@[]_!%&<=>^|~"; *p; ++p) set.allowed[uint8_t(*p)] = true;
    return set;
}
inline constexpr OperandCharacters operand_characters = build_operand_characters();

// Operands are separated at the first comma; a second one is an error.
inline void note_comma(Commas& found, const char* comma) {
    if (!found.second) (found.first ? found.second : found.first) = const_cast<char*>(comma);
}

#if VEXA_VECTOR_PATHS
// The usual operand characters, as a vector test: ( ) * + , - . /   0-9 :
// ? @ A-Z [   and ] _ $ space tab escape. The operators' other characters
// (! % & < = > ^ | ~) are looked up one at a time where they stand.
inline __m128i operand_characters_in(__m128i bytes) {
    auto is = [&](char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
    __m128i ranges = _mm_or_si128(_mm_or_si128(bytes_between(bytes, '(', '/'), bytes_between(bytes, '0', ':')),
                                  bytes_between(bytes, '?', '['));
    __m128i singles = _mm_or_si128(_mm_or_si128(is(']'), _mm_or_si128(is('_'), is('$'))),
                                   _mm_or_si128(_mm_or_si128(is(' '), is('\t')), is('\x1b')));
    return _mm_or_si128(ranges, singles);
}

// 0 when every character of the block flagged in `unusual` is an operand
// character after all.
[[gnu::noinline]] inline int check_unusual_characters(const char* block, unsigned unusual) {
    for (; unusual; unusual &= unusual - 1) {
        if (!operand_characters.allowed[uint8_t(block[__builtin_ctz(unusual)])]) return ERR_INVALID_CHARACTER;
    }
    return 0;
}
#endif

// 0, or ERR_INVALID_CHARACTER at a character operands never contain, in the
// zero-terminated `text`; its first two commas are noted in `found`. The
// usual text is one block: its first two commas are then taken without a
// loop or a branch on how many there are.
inline int check_operand_characters(const char* text, Commas& found) {
#if VEXA_VECTOR_PATHS
    for (const char* p = text;; p += 16) {
        __m128i block = load(p);
        unsigned ends = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_setzero_si128())));
        unsigned wanted = ((ends & -ends) - 1) & 0xFFFF;  // all sixteen when the text goes on
        unsigned unusual = ~unsigned(_mm_movemask_epi8(operand_characters_in(block))) & wanted;
        if (unusual && check_unusual_characters(p, unusual)) return ERR_INVALID_CHARACTER;
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
#else
    for (const char* p = text; *p; ++p) {
        if (!operand_characters.allowed[uint8_t(*p)]) return ERR_INVALID_CHARACTER;
        if (*p == ',') note_comma(found, p);
    }
    return 0;
#endif
}

// How many of the sixteen characters at `p` are name characters before the
// first that is not; the caller reads on one at a time from there (from `p`
// itself on the plain paths, where this answers 0).
inline int leading_name_chars(const char* p) {
#if VEXA_VECTOR_PATHS
    __m128i block = load(p);
    __m128i letters = _mm_or_si128(bytes_between(block, 'A', 'Z'), bytes_between(block, 'a', 'z'));
    __m128i others = _mm_or_si128(bytes_between(block, '0', '9'), _mm_cmpeq_epi8(block, _mm_set1_epi8('_')));
    return __builtin_ctz(~unsigned(_mm_movemask_epi8(_mm_or_si128(letters, others))));
#else
    (void)p;
    return 0;
#endif
}

// The usual number, one to eight decimal digits with no letter after them,
// read without a loop: the digits, right-aligned in a word, are combined in
// pairs, then fours, then all eight. False leaves the text to the full
// reader (always, on the plain paths).
inline bool read_short_decimal(const char** cursor, int32_t* value) {
#if VEXA_VECTOR_PATHS
    const char* p = *cursor;
    int length = __builtin_ctz(~unsigned(_mm_movemask_epi8(bytes_between(load(p), '0', '9'))));
    if (length == 0 || length > 8 || is_upper(p[length]) || p[length] == '_') return false;
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
#else
    (void)cursor;
    (void)value;
    return false;
#endif
}

}  // namespace vexa::scan
