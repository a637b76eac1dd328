// Constant expressions, and the sums of terms and [...] groups that make up
// an operand's value.
//
//     sum    := term { (+ | -) term }
//     term   := factor { (* | /) factor }
//     factor := (+ | -) factor | ( sum ) | number | name | $ | 'c'
//
// Values are 32-bit and wrap around; `/` truncates toward zero. The text is
// normalised: the only blanks left stand between two words, which no
// operator joins, so a blank ends an expression like any other character
// that cannot continue it.
#include <cstring>

#include "driver/assembly.h"
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

// A quoted character is its byte code. The quotes were paired when the line
// was split, so an unpaired one is an unclosed string.
Read read_character_constant(const Statement& s, const char* p, Expression& factor) {
    const char* close = closing_quote(p, s.operand_text + s.operand_length);
    if (!close) return failed(p, ERR_INVALID_STRING);
    if (close != p + 2) return failed(p, ERR_ILLEGAL_SIZE);  // a string, not one character
    factor.value = uint8_t(p[1]);
    return {close + 1, 0};
}

template <Place place>
Read read_sum(Statement& s, const char* p, Expression& sum);

// The characters after a factor or a group that let the sum go on: in an
// operand a group may follow, and after a group a value between groups
// ([BX]5[SI]).
constexpr bool continues_sum(char c, Place place, bool after_group = false) {
    return c == '+' || c == '-' || c == '*' || c == '/' ||
           (place == Place::OPERAND && (c == '[' || (after_group && is_name_char(c))));
}

template <Place place>
Read read_factor(Statement& s, const char* p, Expression& factor);

// Signs, parentheses and character constants: the rarer factors.
template <Place place>
[[gnu::noinline]] Read read_other_factor(Statement& s, const char* p, Expression& factor) {
    const char c = *p;
    if (c == '+' || c == '-') {
        Read read = read_factor<place>(s, p + 1, factor);
        if (c == '-') factor.value = negate(factor.value);
        return read;
    }
    if (c == '(') {
        constexpr Place inside = registers_forbidden(place) ? Place::INSIDE_BRACKETS : Place::VALUE;
        Read read = read_sum<inside>(s, p + 1, factor);
        if (read.error) return read;
        if (*read.end != ')') return failed(read.end, ERR_SYNTAX);
        return {read.end + 1, 0};
    }
    if (is_quote(c)) return read_character_constant(s, p, factor);
    return failed(p, ERR_SYNTAX);  // nothing here begins a value
}

template <Place place>
inline Read read_factor(Statement& s, const char* p, Expression& factor) {
    const char c = *p;
    if (is_digit(c)) {
        int error = parse_number(&p, &factor.value);
        return {p, error};
    }
    if (is_name_char(c)) {
        // A register may only be added, on its own: [BX+2*SI] and [BX-SI] have no encoding.
        if (registers_forbidden(place) && base_index_at(p)) return failed(p, ERR_SYNTAX);
        factor.origin = IMM_SYMBOL;
        factor.unresolved = parse_symbol_ref(s, &p, &factor.value) == ERR_SYMBOL_NOT_DEFINED;
        return {p, 0};
    }
    if (c == '$') {
        factor.value = s.location();
        factor.origin = IMM_LOCATION;
        return {p + 1, 0};
    }
    return read_other_factor<place>(s, p, factor);
}

int divide(Expression& dividend, const Expression& divisor) {
    if (divisor.unresolved) return 0;  // a forward name: the value is not known yet
    if (divisor.value == 0) return ERR_INVALID_NUMBER;
    // The one quotient that does not fit wraps, like every other result.
    dividend.value = divisor.value == -1 ? negate(dividend.value) : dividend.value / divisor.value;
    return 0;
}

template <Place place>
Read read_term(Statement& s, const char* p, Expression& term) {
    term = Expression{};
    Read read = read_factor<place>(s, p, term);
    while (!read.error && (*read.end == '*' || *read.end == '/')) {
        const char op = *read.end;
        Expression factor{};
        read = read_factor<place>(s, read.end + 1, factor);
        if (read.error) break;
        if (op == '*') {
            term.value = wrap(uint32_t(term.value) * uint32_t(factor.value));
        } else {
            read.error = divide(term, factor);
        }
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
            if (subtract || *p == '*' || *p == '/') return failed(p, ERR_SYNTAX);
            if (int error = add_register(sum, name)) return failed(p, error);
        } else {
            Expression term;
            Read read = read_term<place>(s, p, term);
            if (read.error) return read;
            uint32_t total = uint32_t(sum.value);
            sum.value = wrap(subtract ? total - uint32_t(term.value) : total + uint32_t(term.value));
            take_origin(sum, term);
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
    } else {
        read = read_factor<place>(s, *cursor, result);
    }
    if (read.error || continues_sum(*read.end, place, group)) read = read_sum<place>(s, *cursor, result);
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
