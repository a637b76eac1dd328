// Constant expressions, and the sums of terms and [...] groups that make up
// an operand's value.
//
//     expression := the binary operators below a sum, by level (table below)
//     sum    := term { (+ | -) term }
//     term   := factor { (* | / | % | MOD | SHL | SHR) factor }
//     factor := (+ | - | ~ | ! | HIGH | LOW | OFFSET) factor | ( expression )
//               | number | name | (TYPE | LENGTH | SIZE | LENGTHOF | SIZEOF) name
//               | $ | $$ | 'c'
//
// Each operator keeps the level its own assembler gives it: SHL with *, as
// MASM has it, << below +, as NASM has it, MASM's NOT below its EQ. Values
// are 32-bit and wrap around; `/` and `%` truncate toward zero; a shift by
// 32 or more gives 0. Base and index registers may only be added, in a sum.
// The text is normalised: the only blanks left stand between two words, so
// a blank followed by an operator word (4 SHL 2) continues an expression,
// and before any other word ends it.
#include <cstring>

#include "driver/assembly.h"
#include "encode/encode.h"
#include "parse/parse.h"

namespace vexa {

namespace {

// Where a sum is read. An operand may juxtapose [...] groups with its terms;
// inside the brackets the base and index registers may be added in; in
// parentheses there, a register is an error rather than a name.
enum class Place : uint8_t { VALUE, OPERAND, BRACKETS, INSIDE_BRACKETS };

constexpr bool registers_forbidden(Place place) {
    return place == Place::BRACKETS || place == Place::INSIDE_BRACKETS;
}

int32_t wrap(uint32_t value) { return int32_t(value); }
int32_t negate(int32_t value) { return wrap(0u - uint32_t(value)); }

struct BaseIndexName {
    char first, second;
    BaseIndex name;
};
constexpr BaseIndexName base_index_names[] = {
    {'B', 'X', BASE_BX}, {'B', 'P', BASE_BP}, {'S', 'I', INDEX_SI}, {'D', 'I', INDEX_DI}};

// BX, BP, SI or DI standing alone at `p` (not the start of a longer name).
// No character after the end of the text is read.
BaseIndex base_index_at(const char* p) {
    for (const BaseIndexName& register_name : base_index_names) {
        if (p[0] == register_name.first && p[1] == register_name.second) {
            return is_name_char(p[2]) ? NO_BASE_INDEX : register_name.name;
        }
    }
    return NO_BASE_INDEX;
}

// What the operands of an operator pass on to its result.
void take_origin(Expression& into, const Expression& from) {
    if (from.origin > into.origin) into.origin = from.origin;  // symbol over location over number
    into.unresolved = into.unresolved || from.unresolved;
    into.beyond_int32 = into.beyond_int32 || from.beyond_int32;
    if (from.names) {
        into.names = uint8_t(into.names + from.names > 2 ? 2 : into.names + from.names);
        into.variable_kind = from.variable_kind;
    }
    if (from.frame_mark) into.frame_mark = from.frame_mark;
    into.segment_value = into.segment_value || from.segment_value;
}

int add_register(Expression& into, BaseIndex name) {
    if (into.register_count == 2) return ERR_SYNTAX;
    into.registers[into.register_count++] = name;
    return 0;
}

// Where a reader stopped, and 0 or the error it met there. The cursor
// travels in registers this way, not through memory.
struct Read {
    const char* end;
    int error;
};

Read failed(const char* at, int error) { return {at, error}; }

// A character constant in backquotes, from `p` to `close`: its bytes are
// those its escapes stand for.
[[gnu::noinline]] Read read_backquoted_constant(const char* p, const char* close, Expression& factor) {
    uint8_t bytes[4];
    int length = string_bytes(p, close, bytes, 4);
    if (length < 0) return failed(p, length);
    if (length < 1) return failed(p, ERR_ILLEGAL_SIZE);
    uint32_t value = 0;
    for (int i = length; i > 0; --i) value = (value << 8) | bytes[i - 1];
    factor.value = int32_t(value);
    return {close + 1, 0};
}

// A quoted character is its byte code; two to four characters are a value
// with the first in the lowest byte ('ab' is 6261H), under MASM's
// conventions in the highest ('ab' is 6162H). The quotes were paired when
// the line was split, so an unpaired one is an unclosed string. Backquotes
// hold escapes: `\n` is 0AH.
Read read_character_constant(const Statement& s, const char* p, Expression& factor) {
    const char* close = closing_quote(p, s.operand_text + s.operand_length);
    if (!close) return failed(p, ERR_INVALID_STRING);
    if (*p == '`') return read_backquoted_constant(p, close, factor);
    long length = close - p - 1;
    if (length < 1 || length > 4) return failed(p, ERR_ILLEGAL_SIZE);
    uint32_t value = 0;
    if (s.assembly.conventions.masm) {
        for (long i = 1; i <= length; ++i) value = (value << 8) | uint8_t(p[i]);
    } else {
        for (long i = length; i > 0; --i) value = (value << 8) | uint8_t(p[i]);
    }
    factor.value = int32_t(value);
    return {close + 1, 0};
}

template <Place place>
Read read_sum(Statement& s, const char* p, Expression& sum);

// The binary operators below a sum, from the lowest level to the highest.
enum class Binary : uint8_t {
    LOGICAL_OR, LOGICAL_AND,          // || &&
    WORD_OR, WORD_XOR, WORD_AND,      // OR XOR AND (MASM)
    EQUAL, NOT_EQUAL, LESS, LESS_EQUAL, GREATER, GREATER_EQUAL,  // == != < <= > >=: true is 1
    MASM_EQ, MASM_NE, MASM_LT, MASM_LE, MASM_GT, MASM_GE,        // EQ NE LT LE GT GE: true is -1
    BIT_OR, BIT_XOR, BIT_AND,         // | ^ &
    SHIFT_LEFT, SHIFT_RIGHT,          // << >>
};

struct BinaryOperator {
    const char* spelling;
    Binary op;
    uint8_t level;  // higher binds tighter
};

// Symbols before words; a longer symbol before its prefix.
constexpr BinaryOperator binary_operators[] = {
    {"||", Binary::LOGICAL_OR, 1},  {"&&", Binary::LOGICAL_AND, 2},
    {"OR", Binary::WORD_OR, 3},     {"XOR", Binary::WORD_XOR, 3},      {"AND", Binary::WORD_AND, 4},
    {"==", Binary::EQUAL, 6},       {"!=", Binary::NOT_EQUAL, 6},      {"<>", Binary::NOT_EQUAL, 6},
    {"<=", Binary::LESS_EQUAL, 6},  {">=", Binary::GREATER_EQUAL, 6},  {"=", Binary::EQUAL, 6},  // NASM's %if i = 3
    {"<<", Binary::SHIFT_LEFT, 10},
    {">>", Binary::SHIFT_RIGHT, 10}, {"<", Binary::LESS, 6},           {">", Binary::GREATER, 6},
    {"EQ", Binary::MASM_EQ, 6},     {"NE", Binary::MASM_NE, 6},        {"LT", Binary::MASM_LT, 6},
    {"LE", Binary::MASM_LE, 6},     {"GT", Binary::MASM_GT, 6},        {"GE", Binary::MASM_GE, 6},
    {"|", Binary::BIT_OR, 7},       {"^", Binary::BIT_XOR, 8},         {"&", Binary::BIT_AND, 9},
};
// MASM's NOT applies to what follows at the level of AND's operands.
constexpr uint8_t NOT_LEVEL = 5;
constexpr uint8_t LOWEST_LEVEL = 1;
constexpr uint8_t SUM_LEVEL = 11;

// The word at `p` is `word` (upper case) and ends there.
inline bool word_at(const char* p, const char* word) {
    for (; *word; ++p, ++word) {
        if (*p != *word) return false;
    }
    return !is_name_char(*p);
}

// The characters a binary operator below a sum may begin with: a symbol's
// first; a word's first (AND EQ GE GT LE LT NE OR XOR), after a blank or
// right after a parenthesis.
struct OperatorStarts {
    bool symbol[256];
    bool word[256];
};
constexpr OperatorStarts build_operator_starts() {
    OperatorStarts starts{};
    for (const char* p = "|&=!<>^"; *p; ++p) starts.symbol[uint8_t(*p)] = true;
    for (const char* p = "AEGLNOX"; *p; ++p) starts.word[uint8_t(*p)] = true;
    return starts;
}
constexpr OperatorStarts operator_starts = build_operator_starts();

// The binary operator below a sum that begins at `p` (after a blank for a
// word), and where its operand begins; null when there is none.
const BinaryOperator* binary_operator_at(const char* p, const char** after) {
    bool blank = *p == ' ';
    if (!operator_starts.symbol[uint8_t(*p)] && !operator_starts.word[uint8_t(p[blank ? 1 : 0])]) return nullptr;
    const char* q = blank ? p + 1 : p;
    for (const BinaryOperator& op : binary_operators) {
        bool word = is_letter(op.spelling[0]);
        if (word ? !word_at(q, op.spelling) : blank || std::strncmp(q, op.spelling, std::strlen(op.spelling)) != 0) {
            continue;
        }
        q += std::strlen(op.spelling);
        if (word && *q == ' ') ++q;
        *after = q;
        return &op;
    }
    return nullptr;
}

// The term-level words: * / % and MOD SHL SHR.
enum class TermOp : uint8_t { NONE, MULTIPLY, DIVIDE, REMAINDER, SHL, SHR };

TermOp term_operator_at(const char* p, const char** after) {
    switch (*p) {
        case '*': *after = p + 1; return TermOp::MULTIPLY;
        case '/': *after = p + 1; return TermOp::DIVIDE;
        case '%': *after = p + 1; return TermOp::REMAINDER;
        case ' ': ++p; break;  // a word after a value: 4 SHL 2
        case 'M': case 'S': break;  // a word after a parenthesis: (4)SHL 2
        default: return TermOp::NONE;
    }
    struct Word {
        const char* text;
        TermOp op;
    };
    static constexpr Word words[] = {{"MOD", TermOp::REMAINDER}, {"SHL", TermOp::SHL}, {"SHR", TermOp::SHR}};
    for (const Word& word : words) {
        if (!word_at(p, word.text)) continue;
        const char* q = p + std::strlen(word.text);
        *after = *q == ' ' ? q + 1 : q;
        return word.op;
    }
    return TermOp::NONE;
}

// The characters after a factor or a group that let the sum go on: in an
// operand a group may follow, and after a group a value between groups
// ([BX]5[SI]); any operator.
bool continues_sum(const char* p, Place place, bool after_group = false) {
    const char c = *p;
    const char* after;
    if (c == 0 || c == ',') return false;  // the usual end of a value
    if (c == '+' || c == '-' || c == '*' || c == '/' || c == '%') return true;
    if (place == Place::OPERAND && (c == '[' || (after_group && is_name_char(c)))) return true;
    return term_operator_at(p, &after) != TermOp::NONE || binary_operator_at(p, &after) != nullptr;
}

template <Place place>
Read read_factor(Statement& s, const char* p, Expression& factor);
template <Place place>
Read read_expression(Statement& s, const char* p, Expression& result, uint8_t level);

// After HIGH or LOW, what makes them operators rather than names: a blank
// (before a word or number), or what begins a value (LOW -1 is written LOW-1).
bool begins_operand_of_word(char c) {
    return c == ' ' || c == '(' || c == '-' || c == '+' || c == '~' || c == '!' || c == '$' || c == SIZE_MARK ||
           is_quote(c);
}

// A value that no register or [...] group may be part of: an operand of
// an operator other than + and -.
int require_plain(const Expression& value) { return value.register_count || value.bracketed ? ERR_SYNTAX : 0; }

// Signs, parentheses, character constants, HIGH and LOW: the rarer factors.
template <Place place>
[[gnu::noinline]] Read read_other_factor(Statement& s, const char* p, Expression& factor) {
    const char c = *p;
    if (c == '+' || c == '-' || c == '~' || c == '!') {
        Read read = read_factor<place>(s, p + 1, factor);
        if (c == '-') factor.value = negate(factor.value);
        if (c == '-') factor.beyond_int32 = false;
        if (c == '-') factor.addresses = int8_t(-factor.addresses);
        if (c == '~') factor.value = ~factor.value;
        if (c == '!') factor.value = factor.value == 0;
        return read;
    }
    for (const char* word : {"HIGH", "LOW"}) {
        if (!word_at(p, word) || !begins_operand_of_word(p[std::strlen(word)])) continue;
        const char* q = p + std::strlen(word);
        Read read = read_factor<place>(s, *q == ' ' ? q + 1 : q, factor);
        if (read.error) return read;
        if (int error = require_plain(factor)) return failed(read.end, error);
        factor.value = word[0] == 'H' ? (factor.value >> 8) & 0xFF : factor.value & 0xFF;
        return read;
    }
    if (c == '(') {
        constexpr Place inside = registers_forbidden(place) ? Place::INSIDE_BRACKETS : Place::VALUE;
        Read read = read_expression<inside>(s, p + 1, factor, LOWEST_LEVEL);
        if (read.error) return read;
        if (*read.end != ')') return failed(read.end, ERR_SYNTAX);
        return {read.end + 1, 0};
    }
    if (is_quote(c)) return read_character_constant(s, p, factor);
    return failed(p, ERR_SYNTAX);  // nothing here begins a value
}

// In a program of MASM's segments, the segment a name is in, or the frame
// a segment's or a group's name stands for.
[[gnu::noinline]] void note_frame(const Statement& s, int position, Expression& factor) {
    const auto& segments = s.assembly.symbol_segments;
    auto found = segments.find(position);
    if (found == segments.end()) return;
    factor.frame_mark = uint16_t(found->second + 1);
    factor.segment_value = is_frame_kind(factor.variable_kind);
}

Read read_fields(Statement& s, const char* start, const char* end, Expression& factor);

[[gnu::noinline]] Read read_masm_name(Statement& s, const char* start, Read read, int position, Expression& factor) {
    if (factor.unresolved && !s.assembly.structures.empty()) return read_fields(s, start, read.end, factor);
    if (!factor.unresolved && !s.assembly.symbol_segments.empty()) note_frame(s, position, factor);
    return read;
}

// A name: its value, and what defined it. Inlined in the readers of factors.
[[gnu::always_inline]] inline Read read_name(Statement& s, const char* p, Expression& factor) {
    factor.origin = IMM_SYMBOL;
    factor.names = 1;
    int position;
    const char* start = p;
    factor.unresolved =
        parse_symbol_ref(s, &p, &factor.value, &factor.variable_kind, &position) == ERR_SYMBOL_NOT_DEFINED;
    factor.addresses = !factor.unresolved && is_address_kind(factor.variable_kind);
    // MASM's segments and structures: a name's segment, VAR.FIELD.
    if (s.assembly.masm_names) [[unlikely]] return read_masm_name(s, start, {p, 0}, position, factor);
    return {p, 0};
}

// A field of MASM's STRUC after a value: its offset added, its type the
// value's (VAR.FIELD, [BX].FIELD).
Read add_field(Statement& s, const char* p, Expression& value) {
    Expression field{};
    int position;
    const char* start = p;
    bool unresolved = parse_symbol_ref(s, &p, &field.value, &field.variable_kind, &position) == ERR_SYMBOL_NOT_DEFINED;
    if (p == start) return failed(p, ERR_SYNTAX);
    if (!unresolved && symbol_kind(field.variable_kind) < SYMBOL_FIELD_BYTE) return failed(start, ERR_INVALID_OPERAND);
    value.value = wrap(uint32_t(value.value) + uint32_t(field.value));
    value.unresolved = value.unresolved || unresolved;
    value.variable_kind = field.variable_kind;
    value.names = 1;
    return {p, 0};
}

// VAR.FIELD.FIELD, a name not defined as a whole: the variable, then its fields.
[[gnu::noinline]] Read read_fields(Statement& s, const char* start, const char* end, Expression& factor) {
    const char* dot = static_cast<const char*>(std::memchr(start + 1, '.', size_t(end - start - 1)));
    if (!dot || dot >= end) return {end, 0};
    char text[LINE_CAPACITY + SCAN_PADDING] = {};
    std::memcpy(text, start, size_t(end - start));
    for (char* c = text; *c; ++c) {
        if (*c == '.') *c = 0;
    }
    const char* part = text;
    Expression base{};
    Read read = read_name(s, part, base);
    factor = base;
    for (part += std::strlen(part) + 1; part < text + (end - start); part += std::strlen(part) + 1) {
        read = add_field(s, part, factor);
        if (read.error) return failed(start + (read.end - text), read.error);
    }
    return {end, 0};
}

// SEG name: the paragraph of the frame the name's segment is in, which
// the loader relocates.
[[gnu::noinline]] Read read_segment_of(Statement& s, const char* p, Expression& factor) {
    Read read = read_name(s, p, factor);
    factor.addresses = 0;
    factor.origin = IMM_SYMBOL;
    if (factor.unresolved) return read;
    if (!factor.frame_mark) return failed(p, ERR_INVALID_OPERAND);  // no segment: a number, or a flat image
    if (!factor.segment_value) {
        int16_t frame = frame_of_segment(s.assembly, factor.frame_mark - 1);
        factor.frame_mark = uint16_t(frame + 1);
        factor.value = frame_paragraph(s.assembly, frame);
        factor.segment_value = true;
    }
    return read;
}

// `$` is the statement's address, `$$` the image's start; `$` before a
// digit begins a hexadecimal number ($0F), before a name that name, even a
// reserved word ($AX).
Read read_dollar(Statement& s, const char* p, Expression& factor) {
    if (is_digit(p[1])) {
        const char* digits = p + 1;
        int error = parse_hex_digits(&digits, &factor.value);
        factor.beyond_int32 = factor.value < 0;
        return {digits, error};
    }
    factor.origin = IMM_LOCATION;
    factor.addresses = 1;
    if (p[1] == '$' && !is_name_char(p[2])) {
        factor.value = s.pass.section_start;
        return {p + 2, 0};
    }
    if (is_name_char(p[1])) return read_name(s, p + 1, factor);
    factor.value = s.location() - s.copy_offset;  // every copy of TIMES reads its line's address
    return {p + 1, 0};
}

// The operators that tell about a variable: TYPE (bytes per item), LENGTH
// (the count of the DUP its definition begins with, else 1), SIZE
// (LENGTH*TYPE), LENGTHOF (its items), SIZEOF (its bytes).
enum class Measure : uint8_t { TYPE, LENGTH, SIZE, LENGTHOF, SIZEOF };
struct MeasureWord {
    const char* text;
    Measure measure;
};
constexpr MeasureWord measure_words[] = {{"TYPE", Measure::TYPE},         {"LENGTHOF", Measure::LENGTHOF},
                                         {"LENGTH", Measure::LENGTH},     {"SIZEOF", Measure::SIZEOF},
                                         {"SIZE", Measure::SIZE}};

// The measure word at `p` when a name follows it (SIZE alone is a name).
const MeasureWord* measure_at(const char* p) {
    for (const MeasureWord& word : measure_words) {
        size_t length = std::strlen(word.text);
        if (word_at(p, word.text) && p[length] == ' ' && is_name_char(p[length + 1]) && !is_digit(p[length + 1])) {
            return &word;
        }
    }
    return nullptr;
}

[[gnu::noinline]] Read read_measure(Statement& s, const char* p, const MeasureWord& word, Expression& factor) {
    p += std::strlen(word.text) + 1;
    if (*p == '$') ++p;
    int position = -1;
    uint8_t kind = 0;
    factor.origin = IMM_NUMBER;
    factor.unresolved = parse_symbol_ref(s, &p, &factor.value, &kind, &position) == ERR_SYMBOL_NOT_DEFINED;
    factor.value = 0;
    if (factor.unresolved) return {p, 0};
    int type = variable_type(kind);
    const VariableShape* shape = s.assembly.variable_shape(position);
    if (type == 0 || !shape) return failed(p, ERR_INVALID_OPERAND);
    // An instance of a structure: one item of the structure's bytes.
    if (shape->structure) type = int(shape->structure);
    switch (word.measure) {
        case Measure::TYPE: factor.value = type; break;
        case Measure::LENGTH: factor.value = shape->leading_dup; break;
        case Measure::SIZE: factor.value = int32_t(shape->leading_dup) * type; break;
        case Measure::LENGTHOF: factor.value = int32_t(shape->bytes / uint32_t(type)); break;
        case Measure::SIZEOF: factor.value = int32_t(shape->bytes); break;
    }
    return {p, 0};
}

template <Place place>
inline Read read_factor(Statement& s, const char* p, Expression& factor) {
    const char c = *p;
    if (is_digit(c)) {
        int error = parse_number(&p, &factor.value);
        factor.beyond_int32 = factor.value < 0;
        return {p, error};
    }
    if (c == '$') return read_dollar(s, p, factor);
    if (is_name_char(c) && !(c == '?' && !is_name_char(p[1]))) {  // `?` alone is no name
        // A register may only be added, on its own: [BX+2*SI] and [BX-SI] have no encoding.
        if (registers_forbidden(place) && base_index_at(p)) return failed(p, ERR_SYNTAX);
        bool high_or_low = (c == 'H' && p[1] == 'I' && word_at(p, "HIGH") && begins_operand_of_word(p[4])) ||
                           (c == 'L' && p[1] == 'O' && word_at(p, "LOW") && begins_operand_of_word(p[3]));
        if (high_or_low) {
            return read_other_factor<place>(s, p, factor);
        }
        if ((c == 'T' && p[1] == 'Y') || (c == 'L' && p[1] == 'E') || (c == 'S' && p[1] == 'I')) {
            if (const MeasureWord* word = measure_at(p)) return read_measure(s, p, *word, factor);
        }
        if (c == 'S' && p[1] == 'E' && p[2] == 'G' && p[3] == ' ' && is_name_char(p[4]) && !is_digit(p[4])) {
            return read_segment_of(s, p + 4, factor);
        }
        return read_name(s, p, factor);
    }
    // OFFSET before a value is the value: a label's offset is its value.
    if (c == SIZE_MARK && p[1] == 'O') return read_factor<place>(s, p + 2, factor);
    return read_other_factor<place>(s, p, factor);
}

// The quotient or, with `remainder`, the remainder, truncated toward zero.
int divide(Expression& dividend, const Expression& divisor, bool remainder) {
    if (divisor.unresolved) return 0;  // a forward name: the value is not known yet
    if (divisor.value == 0) return ERR_INVALID_NUMBER;
    // The one quotient that does not fit wraps, like every other result.
    if (divisor.value == -1) {
        dividend.value = remainder ? 0 : negate(dividend.value);
    } else {
        dividend.value = remainder ? dividend.value % divisor.value : dividend.value / divisor.value;
    }
    return 0;
}

int32_t shift(int32_t value, int32_t count, bool left) {
    if (count < 0 || count >= 32) return 0;
    return wrap(left ? uint32_t(value) << count : uint32_t(value) >> count);
}

template <Place place>
Read read_term(Statement& s, const char* p, Expression& term) {
    term = Expression{};
    Read read = read_factor<place>(s, p, term);
    const char* next;
    while (!read.error) {
        TermOp op = term_operator_at(read.end, &next);
        if (op == TermOp::NONE) break;
        Expression factor{};
        read = read_factor<place>(s, next, factor);
        if (read.error) break;
        switch (op) {
            case TermOp::MULTIPLY: term.value = wrap(uint32_t(term.value) * uint32_t(factor.value)); break;
            case TermOp::DIVIDE: read.error = divide(term, factor, false); break;
            case TermOp::REMAINDER: read.error = divide(term, factor, true); break;
            case TermOp::SHL: term.value = shift(term.value, factor.value, true); break;
            default: term.value = shift(term.value, factor.value, false); break;
        }
        term.addresses = int8_t(term.addresses || factor.addresses);
        take_origin(term, factor);
    }
    return read;
}

// A [...] group: its base and index registers and the sum of its terms,
// perhaps after a segment override ([ES:DI]).
Read read_group(Statement& s, const char* p, Expression& group) {
    uint8_t override = segment_override_at(p + 1);
    Read read = read_sum<Place::BRACKETS>(s, p + (override ? 4 : 1), group);
    if (read.error) return read;
    if (*read.end != ']') return failed(read.end, ERR_SYNTAX);
    group.bracketed = true;
    group.seg_override = override;
    return {read.end + 1, 0};
}

int add_group(Expression& sum, const Expression& group) {
    for (int i = 0; i < group.register_count; ++i) {
        if (int result = add_register(sum, group.registers[i])) return result;
    }
    sum.value = wrap(uint32_t(sum.value) + uint32_t(group.value));
    sum.addresses = int8_t(sum.addresses + group.addresses);
    take_origin(sum, group);
    sum.bracketed = true;
    if (group.seg_override) {
        if (sum.seg_override) return ERR_SYNTAX;  // one override per operand
        sum.seg_override = group.seg_override;
    }
    return 0;
}

// A value written between two groups is added to them: [BX]5[SI] is
// [BX+SI+5]. Answers where the group after it begins, or null (and adds
// nothing) when no group follows: [BX]5 alone is no sum.
template <Place place>
const char* add_value_between_groups(Statement& s, const char* p, Expression& sum) {
    Expression term;
    Read read = read_term<place>(s, p, term);
    if (read.error || *read.end != '[') return nullptr;
    sum.value = wrap(uint32_t(sum.value) + uint32_t(term.value));
    sum.addresses = int8_t(sum.addresses + term.addresses);
    take_origin(sum, term);
    return read.end;
}

template <Place place>
Read read_sum(Statement& s, const char* p, Expression& sum) {
    sum = Expression{};
    bool subtract = false;
    for (;;) {
        BaseIndex name = place == Place::BRACKETS ? base_index_at(p) : NO_BASE_INDEX;
        bool group_read = false;
        if (place == Place::OPERAND && *p == '[') {
            if (subtract) return failed(p, ERR_SYNTAX);  // registers cannot be subtracted
            Expression group;
            Read read = read_group(s, p, group);
            if (read.error) return read;
            if (int error = add_group(sum, group)) return failed(read.end, error);
            p = read.end;
            group_read = true;
        } else if (name != NO_BASE_INDEX) {
            // A register inside brackets must stand alone between + signs.
            p += 2;
            const char* after;
            if (subtract || term_operator_at(p, &after) != TermOp::NONE) return failed(p, ERR_SYNTAX);
            if (int error = add_register(sum, name)) return failed(p, error);
        } else {
            Expression term;
            Read read = read_term<place>(s, p, term);
            if (read.error) return read;
            uint32_t total = uint32_t(sum.value);
            sum.value = wrap(subtract ? total - uint32_t(term.value) : total + uint32_t(term.value));
            sum.addresses = int8_t(subtract ? sum.addresses - term.addresses : sum.addresses + term.addresses);
            take_origin(sum, term);
            p = read.end;
        }
        if (place == Place::OPERAND && group_read && *p == '.' && !s.assembly.structures.empty()) [[unlikely]] {
            Read read = add_field(s, p + 1, sum);
            if (read.error) return read;
            p = read.end;
        }
        if (*p == '+' || *p == '-') {
            subtract = *p++ == '-';
        } else if (place == Place::OPERAND && *p == '[') {
            subtract = false;  // a group right after a term or a group adds to it
        } else if (const char* next = place == Place::OPERAND && group_read && is_name_char(*p)
                                          ? add_value_between_groups<place>(s, p, sum) : nullptr) {
            p = next;
            subtract = false;
        } else {
            return {p, 0};
        }
    }
}

int32_t truth(bool value, bool masm) { return value ? (masm ? -1 : 1) : 0; }

int32_t apply(Binary op, int32_t a, int32_t b) {
    switch (op) {
        case Binary::LOGICAL_OR: return a != 0 || b != 0;
        case Binary::LOGICAL_AND: return a != 0 && b != 0;
        case Binary::WORD_OR: case Binary::BIT_OR: return a | b;
        case Binary::WORD_XOR: case Binary::BIT_XOR: return a ^ b;
        case Binary::WORD_AND: case Binary::BIT_AND: return a & b;
        case Binary::EQUAL: return truth(a == b, false);
        case Binary::NOT_EQUAL: return truth(a != b, false);
        case Binary::LESS: return truth(a < b, false);
        case Binary::LESS_EQUAL: return truth(a <= b, false);
        case Binary::GREATER: return truth(a > b, false);
        case Binary::GREATER_EQUAL: return truth(a >= b, false);
        case Binary::MASM_EQ: return truth(a == b, true);
        case Binary::MASM_NE: return truth(a != b, true);
        case Binary::MASM_LT: return truth(a < b, true);
        case Binary::MASM_LE: return truth(a <= b, true);
        case Binary::MASM_GT: return truth(a > b, true);
        case Binary::MASM_GE: return truth(a >= b, true);
        case Binary::SHIFT_LEFT: return shift(a, b, true);
        case Binary::SHIFT_RIGHT: return shift(a, b, false);
        default: return 0;
    }
}

// The operators of `level` and above it, down to a sum; MASM's NOT before
// an operand at its level. Left to right within a level.
template <Place place>
Read read_expression(Statement& s, const char* p, Expression& result, uint8_t level) {
    if (level >= SUM_LEVEL) return read_sum<place>(s, p, result);
    if (level == NOT_LEVEL && word_at(p, "NOT") && p[3] == ' ') {
        Read read = read_expression<place>(s, p + 4, result, NOT_LEVEL);
        if (read.error) return read;
        if (int error = require_plain(result)) return failed(read.end, error);
        result.value = ~result.value;
        return read;
    }
    Read read = read_expression<place>(s, p, result, uint8_t(level + 1));
    const char* next;
    while (!read.error) {
        const BinaryOperator* op = binary_operator_at(read.end, &next);
        if (!op || op->level != level) break;
        Expression right{};
        const char* at = read.end;
        read = read_expression<place>(s, next, right, uint8_t(level + 1));
        if (read.error) break;
        if (int error = require_plain(result) ? require_plain(result) : require_plain(right)) return failed(at, error);
        result.value = apply(op->op, result.value, right.value);
        result.addresses = int8_t(result.addresses || right.addresses);
        take_origin(result, right);
    }
    return read;
}

// The usual memory operand: up to two registers added up, then at most one
// number or name added or subtracted ([BX], [BX+SI+4], [BP-2], [TABLE],
// [BX+TABLE]), read the way the whole grammar reads it. Anything else
// answers false and is left to the grammar.
bool read_plain_group(Statement& s, const char* p, Expression& group, Read& read) {
    group = Expression{};
    ++p;
    while (BaseIndex name = base_index_at(p)) {
        if (group.register_count == 2) return false;
        group.registers[group.register_count++] = name;
        p += 2;
        if (*p != '+' || !base_index_at(p + 1)) break;
        ++p;
    }
    bool subtract = false;
    bool term_follows = group.register_count == 0;
    if (!term_follows && *p != ']') {
        if (*p != '+' && *p != '-') return false;
        subtract = *p++ == '-';
        term_follows = true;
    }
    if (term_follows) {
        if (!is_name_char(*p)) return false;  // signs, parentheses, $, quotes, nothing
        Read term = read_factor<Place::BRACKETS>(s, p, group);
        if (term.error) return false;
        if (subtract) group.value = negate(group.value);
        if (subtract) group.addresses = int8_t(-group.addresses);
        p = term.end;
        if (*p != ']') return false;
    }
    group.bracketed = true;
    read = {p + 1, 0};
    return true;
}

// The usual value is one number or name, and the usual operand that or one
// [...] group: they are read as such, and anything longer from the start again.
template <Place place>
int read_value(Statement& s, const char** cursor, Expression& result) {
    result = Expression{};
    Read read;
    bool group = place == Place::OPERAND && **cursor == '[';
    if (group) {
        if (!read_plain_group(s, *cursor, result, read)) read = read_group(s, *cursor, result);
    } else if (word_at(*cursor, "NOT") && (*cursor)[3] == ' ') {
        read = failed(*cursor, ERR_SYNTAX);  // MASM's NOT: read by the levels below
    } else {
        read = read_factor<place>(s, *cursor, result);
    }
    if (read.error || continues_sum(read.end, place, group)) {
        // Most expressions are sums: the levels below are read only when an
        // operator of theirs follows one.
        const char* after;
        bool masm_not = word_at(*cursor, "NOT") && (*cursor)[3] == ' ';
        if (!masm_not) read = read_sum<place>(s, *cursor, result);
        if (masm_not || (!read.error && binary_operator_at(read.end, &after))) {
            read = read_expression<place>(s, *cursor, result, LOWEST_LEVEL);
        }
    }
    *cursor = read.end;
    return read.error;
}

}  // namespace

int parse_expression(Statement& s, const char** cursor, Expression& result) {
    return read_value<Place::VALUE>(s, cursor, result);
}

int parse_operand_value(Statement& s, const char** cursor, Expression& result) {
    return read_value<Place::OPERAND>(s, cursor, result);
}

}  // namespace vexa
