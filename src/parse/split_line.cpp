// Cuts one source line into label, mnemonic and normalised operand text.
#include <cstddef>
#include <cstring>

#include "driver/assembly.h"
#include "parse/parse.h"
#include "parse/text_scan.h"

namespace vexa {

namespace {

// The size keyword that begins with each (upper-case) letter, if any.
struct SizeKeywordIndex {
    const char* by_letter[26];
};
constexpr SizeKeywordIndex build_size_keyword_index() {
    SizeKeywordIndex index{};
    for (const char* keyword : size_keywords) index.by_letter[keyword[0] - 'A'] = keyword;
    return index;
}
constexpr SizeKeywordIndex size_keyword_index = build_size_keyword_index();

const char* size_keyword(char letter) { return size_keyword_index.by_letter[letter - 'A']; }

// Length of `word` (upper case) if the text at `p` spells it in any letter
// case and ends there, before a character that cannot continue a name; else 0.
int match_word(const char* p, const char* word) {
    int n = 0;
    for (; word[n]; ++n) {
        if (to_upper(p[n]) != word[n]) return 0;
    }
    return is_name_char(p[n]) ? 0 : n;
}

// The first quote character that has a partner later in the line; from there
// on quoted text is kept exactly as written. Null when there is none. The
// marks take a backquote for a single quote: where one of the two kinds
// pairs with the other, the first is a string left open, an error however
// the rest is read.
const char* find_verbatim_start(const LineMarks& marks) {
    const char* start = nullptr;
    if (marks.single_quote != marks.last_single_quote) start = marks.single_quote;
    if (marks.double_quote != marks.last_double_quote && (!start || marks.double_quote < start)) {
        start = marks.double_quote;
    }
    return start;
}

// A zero byte at `p` is no character of the statement: the first is reported.
void note_zero_byte(Statement& s, const char* p) {
    if (s.zero_byte_in_statement) return;
    s.zero_byte_in_statement = true;
    s.zero_byte_column = int(p - s.line_buffer) + 1;
}


// The reserved word spelled by the `length` characters at `word` (upper
// case, readable eight bytes at once), or null.
const ReservedWord* reserved_word_at(const char* word, int length) {
    return length > 0 && length <= LONGEST_RESERVED_WORD ? find_reserved_word(packed(word, length)) : nullptr;
}

// Why the label `name` (upper case) is one no operand could name, or 0:
// operands read names of letters, digits, `_`, `@`, `?`, `.` and `$` that
// begin with no digit (nor with `$` and a digit: $5 is a number).
int label_name_error(const char* name, int length) {
    if (is_digit(name[0]) || (name[0] == '$' && is_digit(name[1]))) return ERR_SYNTAX;
    int i = scan::leading_name_chars(name);
    while (i < length && is_name_char(name[i])) ++i;
    return i < length ? ERR_INVALID_CHARACTER : 0;
}

// $NAME is NAME, even a reserved word: the label's length without the `$`.
[[gnu::noinline]] int without_dollar(char* label, int stored) {
    if (!is_name_char(label[1]) || is_digit(label[1])) return stored;
    std::memmove(label, label + 1, size_t(stored));
    return stored - 1;
}

// Takes the word of `stored` characters at `p`, copied into label_field,
// as the line's label, with the colon after it; answers the position after
// them. A reserved word, or a name no operand could read, is no label: the
// statement is in error.
[[gnu::always_inline]] inline const char* take_label(Statement& s, const char* p, int stored, bool reserved,
                                                     int& fields) {
    p += stored;
    s.label_colon = *p == ':';
    if (*p == ':') ++p;
    s.label_field[stored] = 0;
    if (s.label_field[0] == '$') stored = without_dollar(s.label_field, stored);
    s.label_length = stored;
    if (stored == 0) return p;
    s.label_error = reserved ? ERR_SYNTAX : label_name_error(s.label_field, stored);
    fields |= s.label_error ? FIELD_LABEL_ERROR : FIELD_LABEL;
    return p;
}

// Stores up to eight letters of the mnemonic, the rest of the field zeros,
// and finds the mnemonic when the word is one in full.
[[gnu::always_inline]] inline const char* take_mnemonic(Statement& s, const char* p, const char* line_end, int& fields) {
    int stored = scan::copy_mnemonic(s.mnemonic_field, p, line_end, s.source_distance, MNEMONIC_CHARS);
    p += stored;
    s.mnemonic_field[MNEMONIC_CHARS] = 0;
    s.mnemonic = nullptr;
    if (stored == 0) return p;
    fields |= FIELD_MNEMONIC;
    if (stored < MNEMONIC_CHARS || !*p || is_blank(*p)) {
        uint64_t word;
        std::memcpy(&word, s.mnemonic_field, sizeof word);  // zero-padded
        if (const ReservedWord* reserved = find_reserved_word(word)) s.mnemonic = reserved->mnemonic;
    }
    return p;
}

// At the first letter of a size keyword, outside quoted strings and not
// after a name character: stores the keyword's size mark and answers where
// scanning resumes, or null when the letters there are not a keyword. Blanks
// before PTR are skipped up to `end` at most.
[[gnu::always_inline]] inline const char* take_size_keyword(Statement& s, const char* p, const char* end, int& k) {
    const char* keyword = size_keyword(to_upper(*p));
    int length = match_word(p, keyword);
    if (length == 0) return nullptr;
    s.operand_text[k++] = SIZE_MARK;
    s.operand_text[k++] = keyword[0];
    p += length;
    if (is_blank(*p)) ++p;
    const char* q = p;
    while (is_blank(*q) && q < end) ++q;
    int ptr_length = match_word(q, "PTR");
    return ptr_length ? q + ptr_length : p;
}


// A run of blanks between two words (names or numbers) leaves one blank, so
// that `5 5` or `X Y` never reads as one word; so does one after `$`, which
// before a digit begins a hexadecimal number ($ 5 is no $5). `stored` to
// `end` is the text kept so far, `blanks` the run.
bool keeps_blank(const char* stored, const char* end, const char* blanks) {
    if (end == stored || !(is_name_char(end[-1]) || end[-1] == '$')) return false;
    if (end - stored >= 2 && end[-2] == SIZE_MARK) return false;  // a size keyword's letter
    while (is_blank(*blanks)) ++blanks;
    return is_name_char(*blanks);
}

// Operand text outside quoted strings, from `p` up to `end` (where a quote,
// a `;`, a zero byte or the line's end stands, none of them a letter):
// upper-cased, blanks dropped but one between two words, size keywords
// replaced by their marks. `after_name` tells whether the last character
// stored could continue a name. Answers true when the text stored ends in
// the zeros of a plain block. Inlined: its loop is the splitter's hottest.
[[gnu::always_inline]] inline bool take_unquoted(Statement& s, const char*& p, const char* end, int& k, bool& after_name) {
    bool terminated = false;
    while (p < end) {
        const char* block_end = end - p < 16 ? end : p + 16;
        terminated = false;
        if (int taken = scan::take_plain_block(s.operand_text + k, p, end, s.source_distance)) {
            p += taken;
            k += taken;
            after_name = is_name_char(s.operand_text[k - 1]);
            terminated = taken < 16;
            continue;
        }
        while (p < block_end) {
            uint8_t classes = char_classes.of[uint8_t(*p)];
            if (classes & CHAR_BLANK) {
                if (keeps_blank(s.operand_text, s.operand_text + k, p)) s.operand_text[k++] = ' ';
                while (is_blank(*p)) ++p;  // `end` is never a blank
                after_name = false;  // LOW OFFSET X
                continue;
            }
            if ((classes & CHAR_SIZE_KEYWORD) && !after_name) {
                if (const char* next = take_size_keyword(s, p, end, k)) {
                    p = next;
                    after_name = true;  // the mark's letter
                    continue;
                }
            }
            s.operand_text[k++] = to_upper(*p++);
            after_name = classes & CHAR_NAME;
        }
    }
    return terminated;
}

// Where the operand text outside strings that begins at `p` ends.
const char* unquoted_end(const char* p, const char* line_end) {
    while (p < line_end && !is_quote(*p) && *p != ';' && *p != 0) ++p;
    return p;
}

// From the first quote on, quoted text is stored as written, zero bytes
// included; the text around it as before it; a `;` outside the quotes
// starts the comment. Answers where the text ends.
int take_quoted_part(Statement& s, const char* p, const char* line_end, int k, bool after_name) {
    while (p < line_end && *p != ';') {
        if (is_quote(*p)) {
            // Up to the closing quote; an unclosed quote and what follows stay
            // as written, for the readers to report.
            const char* close = closing_quote(p, line_end);
            const char* stop = close ? close + 1 : line_end;
            std::memcpy(s.operand_text + k, p, size_t(stop - p));
            k += int(stop - p);
            p = stop;
            after_name = false;
        } else if (*p == 0) {
            note_zero_byte(s, p);  // outside the quotes
            ++p;
        } else {
            take_unquoted(s, p, unquoted_end(p, line_end), k, after_name);
        }
    }
    return k;
}

// `verbatim` is where the first quoted string begins (the line's end if nowhere).
void take_operands(Statement& s, const char* p, const char* verbatim, const char* line_end, int& fields) {
    int k = 0;
    bool after_name = false;
    bool terminated = take_unquoted(s, p, verbatim, k, after_name);
    if (p < line_end) {
        k = take_quoted_part(s, p, line_end, k, after_name);
        terminated = false;
    }
    // One store then holds the whole text, so that reading it back at once does not wait.
    if (!terminated) s.operand_text[k] = 0;
    s.operand_length = k;
    if (k > 0) fields |= FIELD_OPERANDS;
}

// The prefixes that may stand before an instruction on its line.
constexpr uint64_t line_prefixes[] = {packed("REP"), packed("REPE"), packed("REPZ"),
                                      packed("REPNE"), packed("REPNZ"), packed("LOCK")};

bool is_line_prefix(const char* field) {
    if (field[0] != 'R' && field[0] != 'L') return false;
    uint64_t word;
    std::memcpy(&word, field, sizeof word);
    for (uint64_t prefix : line_prefixes) {
        if (word == prefix) return true;
    }
    return false;
}

// Within s.line_buffer, whose padding lets eight bytes be compared at once.
[[gnu::always_inline]] inline const char* skip_blanks(const char* p) {
    static constexpr char indent[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    while (std::memcmp(p, indent, sizeof indent) == 0) p += sizeof indent;  // the usual indentation
    while (is_blank(*p)) ++p;
    return p;
}

// The fields of a line whose text stops at `p`: a zero byte there, before
// the line's end, cut a label or mnemonic short.
int fields_up_to(Statement& s, const char* p, const char* line_end, int fields) {
    if (p < line_end) note_zero_byte(s, p);
    return fields;
}

// The override prefix of the segment register whose two letters stand at
// `name` (ES, CS, SS, DS), or 0.
uint8_t segment_register_prefix(const char* name) {
    const char spelled[4] = {name[0], name[1], ':', 0};
    return segment_override_at(spelled);
}

// The length of a label copied with what follows it: up to an `=` (X=5).
[[gnu::noinline]] int label_before_assignment(const char* label, int stored) {
    const void* equals = std::memchr(label, '=', size_t(stored));
    return equals ? int(static_cast<const char*>(equals) - label) : stored;
}

// A character no name holds in a label may be the `=` after it (X=5): the
// label ends there. Answers where the statement goes on.
[[gnu::noinline]] const char* retake_label_before_assignment(Statement& s, const char* p, int stored, int before,
                                                             const char* rest, int& fields) {
    int name = label_before_assignment(s.label_field, stored);
    if (name == 0 || name == stored) return rest;
    fields = before;
    s.label_error = 0;
    s.label_field[0] = 0;
    scan::copy_label(s.label_field, p);
    return take_label(s, p, name, false, fields);
}

bool names_the_word_before(const Statement& s, const char* p, const char* line_end);

// A word of the listing (NAME, PAGE, TITLE...) before a directive that
// defines the name before it is that name: NAME DB 20 DUP(?).
bool listing_word_names(const Statement& s, const ReservedWord* reserved, const char* after, const char* line_end) {
    if (!reserved || !reserved->mnemonic || !is_listing_word(*reserved->mnemonic)) return false;
    const char* next = skip_blanks(after);
    return next != after && *next && names_the_word_before(s, next, line_end);
}

// A word at the start of a line, in column 0: a label unless it is a
// reserved word without a colon, which begins the statement. Answers where
// the statement goes on.
const char* take_column_zero_word(Statement& s, const char* p, const char* line_end, int& fields) {
    int stored = scan::copy_label(s.label_field, p);
    const ReservedWord* reserved = reserved_word_at(s.label_field, stored);
    // ES: before an instruction is its override, no label.
    if (reserved && (p[stored] != ':' || (stored == 2 && segment_register_prefix(s.label_field))) &&
        !listing_word_names(s, reserved, p + stored, line_end)) {
        s.label_field[0] = 0;
        return p;
    }
    int before = fields;
    const char* rest = take_label(s, p, stored, reserved && !may_be_label(*reserved), fields);
    if (s.label_error == ERR_INVALID_CHARACTER) rest = retake_label_before_assignment(s, p, stored, before, rest, fields);
    return rest;
}

// `=` (not `==`): NAME = value.
bool is_assignment(const char* p) { return p[0] == '=' && p[1] != '='; }

// Takes `=` as the statement's mnemonic; answers where its operands begin.
const char* take_assignment(Statement& s, const char* p, int& fields) {
    std::memset(s.mnemonic_field, 0, sizeof s.mnemonic_field);
    s.mnemonic_field[0] = '=';
    s.mnemonic = assignment_mnemonic();
    fields |= FIELD_MNEMONIC;
    return skip_blanks(p + 1);
}

// A segment register as a word before an instruction (ES MOVSB, ES: LODSB):
// its override prefix, or 0. DS before anything but an instruction is the
// directive.
uint8_t segment_word(const Statement& s, const char* next, const char* line_end) {
    const char* field = s.mnemonic_field;
    bool colon = field[2] == ':';
    if (field[1] != 'S' || (colon ? field[3] != 0 : field[2] != 0)) return 0;
    uint8_t prefix = segment_register_prefix(field);
    if (!prefix || colon) return prefix;
    char word[MNEMONIC_CHARS + 1];
    word[scan::copy_mnemonic(word, next, line_end, s.source_distance, MNEMONIC_CHARS)] = 0;
    const Mnemonic* mnemonic = find_mnemonic(word);
    return mnemonic && !is_directive(*mnemonic) ? prefix : 0;
}

// Takes the segment word before the statement's mnemonic, if there is one,
// and the mnemonic after it; answers where the statement goes on.
const char* take_segment_word(Statement& s, const char* p, const char* line_end, int& fields) {
    if (!(s.prefix_segment = segment_word(s, p, line_end))) return p;
    p = skip_blanks(take_mnemonic(s, p, line_end, fields));
    if (!s.mnemonic) s.mnemonic = find_mnemonic(s.mnemonic_field);
    return p;
}

// True when the word at `p` is a directive that defines the name before it.
bool names_the_word_before(const Statement& s, const char* p, const char* line_end) {
    char field[MNEMONIC_CHARS + 1];
    field[scan::copy_mnemonic(field, p, line_end, s.source_distance, MNEMONIC_CHARS)] = 0;
    const Mnemonic* mnemonic = find_mnemonic(field);
    return mnemonic && names_its_label(*mnemonic);
}

// A word that begins a statement but is no mnemonic is a label when a colon
// follows it, or a directive that defines it (`   MSG DB 'HI'`). Answers
// where the statement goes on after it, or null when it is no label.
[[gnu::noinline]] const char* take_word_as_label(Statement& s, const char* word, const char* line_end, int& fields) {
    int stored = label_before_assignment(s.label_field, scan::copy_label(s.label_field, word));
    const char* after = word + stored;
    const char* next = skip_blanks(after);
    bool named = *after == ':' || is_assignment(next) ||
                 (next != after && *next && names_the_word_before(s, next, line_end));
    if (!named) {
        s.label_field[0] = 0;
        return nullptr;
    }
    const ReservedWord* reserved = reserved_word_at(s.label_field, stored);
    return take_label(s, word, stored, reserved && !may_be_label(*reserved), fields);
}

// The fields of the line in s.line_buffer, whose marks are given.
[[gnu::always_inline]] inline int split_fields(Statement& s, const LineMarks& marks) {
    s.operand_text[0] = 0;
    s.operand_length = 0;
    s.mnemonic_field[0] = 0;
    s.prefix_field[0] = 0;
    s.label_field[0] = 0;
    s.label_length = 0;
    s.label_error = 0;
    s.mnemonic = nullptr;
    s.operands_at = 0;
    s.zero_byte_in_statement = false;
    s.label_colon = false;
    s.prefix_segment = 0;

    char* line_end = marks.end;
    const char* verbatim = find_verbatim_start(marks);
    // Only the first ';' may start a comment, and not inside the verbatim part.
    if (marks.semicolon && (!verbatim || marks.semicolon < verbatim)) {
        *marks.semicolon = 0;
        line_end = marks.semicolon;
        verbatim = nullptr;
    }
    s.statement_text_length = int(line_end - s.line_buffer);
    // Before the first quoted string a zero byte is no character of a statement.
    if (marks.zero && marks.zero < line_end && (!verbatim || marks.zero < verbatim)) note_zero_byte(s, marks.zero);
    if (s.line_buffer[0] == 0) return 0;

    int fields = 0;
    s.source_distance = marks.text - s.line_buffer;
    const char* p = s.line_buffer;
    if (!is_blank(*p)) p = take_column_zero_word(s, p, line_end, fields);
    p = skip_blanks(p);
    if (!*p) return fields_up_to(s, p, line_end, fields);
    const char* word = p;
    if (is_assignment(p)) {
        p = take_assignment(s, p, fields);
    } else {
        p = skip_blanks(take_mnemonic(s, p, line_end, fields));
    }
    if (s.mnemonic && is_listing_word(*s.mnemonic) && !(fields & FIELD_LABEL) && *p &&
        names_the_word_before(s, p, line_end)) {
        s.mnemonic = nullptr;  // NAME DB 'x': a name
    }
    if (!s.mnemonic) {
        bool override_word = s.mnemonic_field[2] == ':' && s.mnemonic_field[3] == 0 &&
                             segment_register_prefix(s.mnemonic_field);  // ES: LODSB
        const char* rest = fields & (FIELD_LABEL | FIELD_LABEL_ERROR) || override_word
                         ? nullptr : take_word_as_label(s, word, line_end, fields);
        if (rest) {
            fields &= ~FIELD_MNEMONIC;
            std::memset(s.mnemonic_field, 0, sizeof s.mnemonic_field);
            p = skip_blanks(rest);
            if (!*p) return fields_up_to(s, p, line_end, fields);
            p = is_assignment(p) ? take_assignment(s, p, fields) : skip_blanks(take_mnemonic(s, p, line_end, fields));
        }
        // A word that only begins a mnemonic that accepts any ending (ORGAN).
        if (!s.mnemonic) s.mnemonic = find_mnemonic(s.mnemonic_field);
        if (s.mnemonic_field[1] == 'S' && *p) p = take_segment_word(s, p, line_end, fields);
    } else if (s.mnemonic->handler == directive_ds && *p) {
        p = take_segment_word(s, p, line_end, fields);  // DS MOV AX,[BP]
    }
    if (!*p) return fields_up_to(s, p, line_end, fields);
    if (is_line_prefix(s.mnemonic_field)) {
        std::memcpy(s.prefix_field, s.mnemonic_field, sizeof s.prefix_field);
        p = skip_blanks(take_mnemonic(s, p, line_end, fields));
        if (!s.mnemonic) s.mnemonic = find_mnemonic(s.mnemonic_field);
        if (!*p) return fields_up_to(s, p, line_end, fields);
    }
    s.operands_at = int(p - s.line_buffer);
    take_operands(s, p, verbatim ? verbatim : line_end, line_end, fields);
    return fields;
}

}  // namespace

int split_line(Statement& s) { return split_line(s, mark_line(s.line_buffer)); }

// A statement with a zero byte outside its strings and comment is one with
// an empty mnemonic, which no mnemonic matches: the driver reports it.
int split_line(Statement& s, const LineMarks& marks) {
    int fields = split_fields(s, marks);
    if (s.zero_byte_in_statement) {
        std::memset(s.mnemonic_field, 0, sizeof s.mnemonic_field);
        s.mnemonic = nullptr;
        s.prefix_field[0] = 0;
        fields |= FIELD_MNEMONIC;
    }
    return fields;
}

}  // namespace vexa
