// Cuts one source line into label, mnemonic and normalised operand text.
#include <cstring>
#include <initializer_list>

#include "parse/parse.h"

namespace vexa {

char line_buffer[LINE_CAPACITY];
char label_field[LABEL_CHARS];
char mnemonic_field[MNEMONIC_CHARS + 1];
char operand_text[OPERAND_CAPACITY];

namespace {

// Keywords replaced by size marks, tried in this order; the mark's letter is
// the keyword's first letter.
constexpr const char* size_keywords[] = {"BYTE", "DWORD", "WORD", "FAR", "NEAR", "OFFSET"};

bool is_right_boundary(char c) { return !is_name_char(c); }

// The first quote character that has a partner later in the line; from there
// on operand text is kept exactly as written. Null when there is none.
const char* find_verbatim_start(const char* line) {
    const char* start = nullptr;
    for (char quote : {'\'', '"'}) {
        const char* first = std::strchr(line, quote);
        if (first && std::strchr(first + 1, quote) && (!start || first < start)) start = first;
    }
    return start;
}

// Length of `word` (upper case) if the text at `p` spells it in any letter
// case and ends there at a right boundary, else 0.
int match_word(const char* p, const char* word) {
    int n = 0;
    for (; word[n]; ++n) {
        if (to_upper(p[n]) != word[n]) return 0;
    }
    return is_right_boundary(p[n]) ? n : 0;
}

bool before_verbatim(const char* p, const char* verbatim) { return !verbatim || p < verbatim; }

// Stores the label from column 0; answers the position after it.
const char* take_label(const char* p, int& fields) {
    int stored = 0;
    while (*p && !is_blank(*p) && *p != ':' && stored < LABEL_CHARS) {
        label_field[stored++] = to_upper(*p++);
    }
    // Characters beyond the eighth are not significant.
    while (*p && !is_blank(*p) && *p != ':') ++p;
    if (*p == ':') ++p;
    std::memset(label_field + stored, 0, LABEL_CHARS - stored);
    if (stored > 0) fields |= FIELD_LABEL;
    return p;
}

const char* take_mnemonic(const char* p, int& fields) {
    int stored = 0;
    while (*p && !is_blank(*p) && stored < MNEMONIC_CHARS) mnemonic_field[stored++] = to_upper(*p++);
    mnemonic_field[stored] = 0;
    if (stored > 0) fields |= FIELD_MNEMONIC;
    return p;
}

// At a keyword start outside the verbatim region: stores its size mark and
// answers the position where scanning resumes, or null when there is none.
const char* take_size_keyword(const char* p, const char* verbatim, int& k) {
    if (k > 0 && is_name_char(operand_text[k - 1])) return nullptr;
    for (const char* keyword : size_keywords) {
        int length = match_word(p, keyword);
        if (length == 0) continue;
        operand_text[k++] = SIZE_MARK;
        operand_text[k++] = keyword[0];
        p += length;
        if (is_blank(*p)) ++p;
        const char* q = p;
        while (is_blank(*q) && before_verbatim(q, verbatim)) ++q;
        int ptr_length = match_word(q, "PTR");
        return ptr_length ? q + ptr_length : p;
    }
    return nullptr;
}

void take_operands(const char* p, const char* verbatim, int& fields) {
    int k = 0;
    while (*p && k < OPERAND_CAPACITY - 1) {
        char c = *p;
        if (!before_verbatim(p, verbatim)) {
            operand_text[k++] = c;
            ++p;
        } else if (is_blank(c)) {
            ++p;
            continue;
        } else if (const char* next = take_size_keyword(p, verbatim, k)) {
            p = next;
        } else {
            operand_text[k++] = to_upper(c);
            ++p;
        }
        fields |= FIELD_OPERANDS;
    }
    operand_text[k] = 0;
}

const char* skip_blanks(const char* p) {
    while (is_blank(*p)) ++p;
    return p;
}

}  // namespace

int split_line() {
    operand_text[0] = 0;
    mnemonic_field[0] = 0;
    label_field[0] = 0;

    const char* verbatim = find_verbatim_start(line_buffer);
    // Only the first ';' may start a comment, and not inside the verbatim part.
    if (char* semicolon = std::strchr(line_buffer, ';'); semicolon && before_verbatim(semicolon, verbatim)) {
        *semicolon = 0;
    }
    if (line_buffer[0] == 0) return 0;

    int fields = 0;
    const char* p = line_buffer;
    if (is_blank(*p)) {
        std::memset(label_field, 0, LABEL_CHARS);
    } else {
        p = take_label(p, fields);
    }
    p = skip_blanks(p);
    if (!*p) return fields;
    p = skip_blanks(take_mnemonic(p, fields));
    if (!*p) return fields;
    take_operands(p, verbatim, fields);
    return fields;
}

}  // namespace vexa
