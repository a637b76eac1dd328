// Conditional assembly: IF, IFE, IFDEF, IFNDEF, IFB, IFNB, IFIDN, IFIDNI,
// IFDIF, ELSEIF (ELIF), ELIFDEF, ELIFNDEF, ELSE and ENDIF, in MASM's words
// and in NASM's (%if, %ifdef, %elif, %else, %endif... are the same words
// after their %). A line inside a branch not assembled is only listed.
#include <cstring>

#include "driver/assembly.h"
#include "driver/driver.h"
#include "encode/encode.h"
#include "parse/parse.h"

namespace vexa {

namespace {

void report(Statement& s, int code) { s.assembly.diagnostics.report(s, code); }

// The value of IF's expression: nonzero is true. A name not defined is
// reported in a later pass and taken as 0.
bool expression_holds(Statement& s, int& error) {
    const char* p = s.operand_text;
    if (!*p) {
        error = ERR_MISSING_OPERAND;
        return false;
    }
    Expression value;
    error = parse_expression(s, &p, value);
    if (!error && *p) error = ERR_SYNTAX;
    if (!error && value.unresolved) error = ERR_SYMBOL_NOT_DEFINED;
    return !error && value.value != 0;
}

// IFDEF: the name is defined above this line in this pass (so alike in
// every pass), or before the first line by -D, or is a %define or a macro.
bool name_defined(Statement& s, int& error) {
    const char* p = s.operand_text;
    if (!is_name_char(*p) || is_digit(*p)) {
        error = *p ? ERR_SYNTAX : ERR_MISSING_OPERAND;
        return false;
    }
    const char* end = p;
    while (is_name_char(*end)) ++end;
    if (*end) {
        error = ERR_SYNTAX;
        return false;
    }
    if (s.assembly.macros.defines_name(p, size_t(end - p))) return true;  // a %define or a macro
    const SymbolTable& symbols = s.assembly.symbols;
    int position = symbols.find(p, int(end - p), nullptr);
    return position >= 0 && symbols.defined_in(position) == uint8_t(s.pass.pass_index + 1);
}

// The text of a <...> argument as written, from `p` in the line: answers
// where it ends (after the `>`), or null when there is none.
const char* bracketed_text(const char* p, const char*& begin, const char*& end) {
    while (is_blank(*p)) ++p;
    if (*p != '<') return nullptr;
    begin = p + 1;
    // Up to the matching `>`: quoted strings, nested <...> and a character
    // after ! are text.
    int nesting = 1;
    for (const char* c = begin; *c; ++c) {
        if (*c == '!' && c[1]) {
            ++c;
        } else if (is_quote(*c)) {
            const char* closing = closing_quote(c, c + std::strlen(c));
            if (!closing) return nullptr;
            c = closing;
        } else if (*c == '<') {
            ++nesting;
        } else if (*c == '>' && --nesting == 0) {
            end = c;
            return c + 1;
        }
    }
    return nullptr;
}

bool same_text(const char* a, const char* a_end, const char* b, const char* b_end, bool any_case) {
    if (a_end - a != b_end - b) return false;
    for (; a < a_end; ++a, ++b) {
        if (any_case ? to_upper(*a) != to_upper(*b) : *a != *b) return false;
    }
    return true;
}

// NASM's texts without brackets: two, around the first comma.
bool comma_texts(const char* p, const char*& first_begin, const char*& first_end, const char*& second_begin,
                 const char*& second_end) {
    const char* comma = std::strchr(p, ',');
    if (!comma) return false;
    first_begin = p;
    first_end = comma;
    second_begin = comma + 1;
    second_end = comma + std::strlen(comma);
    for (const char** end : {&first_end, &second_end}) {
        while (*end > p && is_blank((*end)[-1])) --*end;
    }
    while (is_blank(*second_begin)) ++second_begin;
    return true;
}

// IFB, IFNB, IFIDN, IFIDNI, IFDIF: texts in <...>, as written (NASM's
// %ifidn a,b without them).
bool text_condition(Statement& s, ConditionKind kind, int& error) {
    const char* p = s.line_buffer + s.operands_at;
    const char* first_begin;
    const char* first_end;
    const char* after = s.operands_at ? bracketed_text(p, first_begin, first_end) : nullptr;
    const char* second_begin;
    const char* second_end;
    bool pair = kind != COND_IFB && kind != COND_IFNB;
    if (!after && pair && s.operands_at && comma_texts(p, first_begin, first_end, second_begin, second_end)) {
        bool same = same_text(first_begin, first_end, second_begin, second_end, kind == COND_IFIDNI);
        return same == (kind != COND_IFDIF);
    }
    if (!after) {
        error = s.operands_at ? ERR_SYNTAX : ERR_MISSING_OPERAND;
        return false;
    }
    if (kind == COND_IFB || kind == COND_IFNB) {
        while (is_blank(*after)) ++after;
        if (*after) {
            error = ERR_EXTRA_OPERAND;
            return false;
        }
        bool blank = true;
        for (const char* c = first_begin; c < first_end; ++c) blank = blank && is_blank(*c);
        return blank == (kind == COND_IFB);
    }
    while (is_blank(*after)) ++after;
    if (*after != ',' || !bracketed_text(after + 1, second_begin, second_end)) {
        error = ERR_SYNTAX;
        return false;
    }
    const char* rest = bracketed_text(after + 1, second_begin, second_end);
    while (is_blank(*rest)) ++rest;
    if (*rest) {
        error = ERR_EXTRA_OPERAND;
        return false;
    }
    bool same = same_text(first_begin, first_end, second_begin, second_end, kind == COND_IFIDNI);
    return same == (kind != COND_IFDIF);
}

bool condition_holds(Statement& s, ConditionKind kind, int& error) {
    switch (kind) {
        case COND_IF: case COND_ELSEIF: return expression_holds(s, error);
        case COND_IFE: return !expression_holds(s, error) && !error;
        case COND_IFDEF: case COND_ELSEIFDEF: return name_defined(s, error);
        case COND_IFNDEF: case COND_ELSEIFNDEF: return !name_defined(s, error) && !error;
        default: return text_condition(s, kind, error);
    }
}

// The line's one conditional word, as NASM spells it (%if) or MASM (IF):
// NASM's % is dropped and the line split again. Null for any other line.
const Mnemonic* conditional_word(Statement& s, int& fields) {
    bool nasm = (!s.mnemonic && s.mnemonic_field[0] == '%') || ((fields & FIELD_LABEL_ERROR) && s.label_field[0] == '%');
    if (nasm) {
        char* percent = std::strchr(s.line_buffer, '%');
        *percent = ' ';
        fields = split_line(s);
        *percent = '%';
    }
    const Mnemonic* mnemonic = s.mnemonic;
    return mnemonic && mnemonic->handler == directive_condition && !(fields & (FIELD_LABEL | FIELD_LABEL_ERROR))
               ? mnemonic
               : nullptr;
}

}  // namespace

int directive_condition(const Mnemonic&, Statement&) { return ERR_SYNTAX; }

bool take_condition_line(Statement& s, int fields) {
    OpenConditions& open = s.pass.conditions;
    const Mnemonic* word = conditional_word(s, fields);
    if (!word) return !open.assembles();
    s.assembly.conditional = true;
    auto kind = ConditionKind(word->opcode);
    int error = 0;
    switch (kind) {
        case COND_ELSE:
        case COND_ELSEIF:
        case COND_ELSEIFDEF:
        case COND_ELSEIFNDEF: {
            if (open.depth == 0 || open.blocks[open.depth - 1].else_seen) {
                report(s, ERR_UNMATCHED_ENDIF);
                return true;
            }
            OpenConditions::Block& block = open.blocks[open.depth - 1];
            if (kind == COND_ELSE) {
                if (s.operand_text[0]) error = ERR_EXTRA_OPERAND;
                block.else_seen = true;
                block.assembles = block.outer && !block.branch_taken;
            } else {
                bool holds = block.outer && !block.branch_taken && condition_holds(s, kind, error);
                block.assembles = holds;
            }
            block.branch_taken = block.branch_taken || block.assembles;
            break;
        }
        case COND_ENDIF:
            if (open.depth == 0) {
                report(s, ERR_UNMATCHED_ENDIF);
                return true;
            }
            if (s.operand_text[0]) error = ERR_EXTRA_OPERAND;
            --open.depth;
            break;
        default: {
            if (open.depth == OpenConditions::MAX) {
                report(s, ERR_NESTED_TOO_DEEP);
                return true;
            }
            bool outer = open.assembles();
            // Inside a branch not assembled only the nesting counts.
            bool holds = outer && condition_holds(s, kind, error);
            open.blocks[open.depth++] = OpenConditions::Block{holds, holds, outer, false, uint8_t(s.pass.reader.depth())};
            if (!outer) error = 0;
            break;
        }
    }
    if (error) report(s, error);
    return true;
}

}  // namespace vexa
