// What a message adds to its text: the column it points at, why the 8086
// refuses the operand, the name or mnemonic probably meant.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "driver/assembly.h"
#include "driver/explain.h"
#include "encode/encode.h"

namespace vexa {

namespace {

// The statement's text as reported, without its comment.
std::string_view statement_text(const Statement& s) {
    return std::string_view(s.line_buffer, size_t(s.statement_text_length));
}

size_t skip_blanks(std::string_view text, size_t at) {
    while (at < text.size() && is_blank(text[at])) ++at;
    return at;
}

size_t first_word_at(const Statement& s) { return skip_blanks(statement_text(s), 0); }

// Where the mnemonic stands: after the label, when the line has one.
size_t mnemonic_at(const Statement& s) {
    std::string_view text = statement_text(s);
    size_t at = first_word_at(s);
    if (s.label_length > 0 || s.label_error) {
        while (at < text.size() && !is_blank(text[at]) && text[at] != ':') ++at;
        if (at < text.size() && text[at] == ':') ++at;
        at = skip_blanks(text, at);
    }
    return at;
}

// Where operand `index` (0 the first) begins, or npos: operands are cut at
// the commas outside strings, brackets and parentheses.
size_t operand_at(const Statement& s, int index) {
    if (s.operands_at <= 0) return std::string_view::npos;
    std::string_view text = statement_text(s);
    size_t at = size_t(s.operands_at);
    char quote = 0;
    int depth = 0;
    for (int found = 0; found < index; ++at) {
        if (at >= text.size()) return std::string_view::npos;
        char c = text[at];
        if (quote) {
            if (c == '\\' && quote == '`') {
                ++at;  // `\`` does not close
            } else if (c == quote) {
                quote = 0;
            }
        } else if (is_quote(c)) {
            quote = c;
        } else if (c == '[' || c == '(') {
            ++depth;
        } else if ((c == ']' || c == ')') && depth > 0) {
            --depth;
        } else if (c == ',' && depth == 0) {
            ++found;
            if (found == index) {
                at = skip_blanks(text, at + 1);
                return at < text.size() ? at : std::string_view::npos;
            }
        }
    }
    return at;
}

// The text of operand `index`, up to the next top-level comma.
std::string_view operand_text(const Statement& s, int index) {
    size_t at = operand_at(s, index);
    if (at == std::string_view::npos) return {};
    size_t next = operand_at(s, index + 1);
    std::string_view text = statement_text(s);
    size_t end = next == std::string_view::npos ? text.size() : text.rfind(',', next);
    while (end > at && is_blank(text[end - 1])) --end;
    return text.substr(at, end - at);
}

bool is_word_start(char c) { return is_name_char(c) && !(c >= '0' && c <= '9'); }

// Each word of `text` outside quoted strings, upper-cased, with where it begins.
template <typename Visit>
void for_each_word(std::string_view text, Visit visit) {
    char quote = 0;
    for (size_t at = 0; at < text.size();) {
        char c = text[at];
        if (quote) {
            if (c == '\\' && quote == '`') {
                ++at;  // `\`` does not close
            } else if (c == quote) {
                quote = 0;
            }
            ++at;
        } else if (is_quote(c)) {
            quote = c;
            ++at;
        } else if (is_name_char(c)) {
            size_t start = at;
            std::string word;
            while (at < text.size() && is_name_char(text[at])) word += to_upper(text[at++]);
            if (is_word_start(c) && !visit(word, start)) return;
        } else {
            ++at;
        }
    }
}

// The operand that begins with STRICT and no size keyword after it, or -1.
int strict_alone(const Statement& s) {
    for (int index = 0; index < s.operand_count && index < 2; ++index) {
        std::string words[2];
        int count = 0;
        for_each_word(operand_text(s, index), [&](const std::string& word, size_t) {
            words[count++] = word;
            return count < 2;
        });
        bool sized = words[1] == "BYTE" || words[1] == "WORD" || words[1] == "SHORT" || words[1] == "NEAR";
        if (words[0] == "STRICT" && !sized) return index;
    }
    return -1;
}

const RegisterName* register_named(const std::string& word) {
    for (const RegisterName& name : register_names) {
        if (word == name.text) return &name;
    }
    return nullptr;
}

bool is_keyword(const std::string& word) {
    if (word == "PTR") return true;
    return word.size() <= size_t(LONGEST_RESERVED_WORD) && find_reserved_word(packed(word.c_str())) != nullptr;
}

// Edits (insertions, removals, replacements, swaps of neighbours) that turn
// `a` into `b`; `rows` has room for three rows of b.size() + 1.
int edit_distance(std::string_view a, std::string_view b, int* rows) {
    size_t n = a.size(), m = b.size();
    int* before = rows;
    int* row = rows + m + 1;
    int* now = rows + 2 * (m + 1);
    for (size_t j = 0; j <= m; ++j) row[j] = int(j);
    for (size_t i = 1; i <= n; ++i) {
        now[0] = int(i);
        for (size_t j = 1; j <= m; ++j) {
            int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            now[j] = std::min({row[j] + 1, now[j - 1] + 1, row[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) now[j] = std::min(now[j], before[j - 2] + 1);
        }
        std::swap(before, row);
        std::swap(row, now);
    }
    return row[m];
}

// The nearest of the candidates, if near enough to be a slip of the keys.
class Nearest {
public:
    explicit Nearest(const std::string& word)
        : word_(word), limit_(word.size() <= 2 ? 0 : word.size() <= 4 ? 1 : 2), rows_(3 * (word.size() + 1)) {}
    void consider(std::string_view candidate) {
        if (candidate == word_ || limit_ == 0) return;
        size_t gap = candidate.size() > word_.size() ? candidate.size() - word_.size() : word_.size() - candidate.size();
        if (gap > size_t(limit_)) return;
        int distance = edit_distance(candidate, word_, rows_.data());
        if (distance <= limit_ && (best_.empty() || distance < distance_)) {
            best_.assign(candidate);
            distance_ = distance;
        }
    }
    const std::string& best() const { return best_; }

private:
    std::string word_;
    int limit_;
    std::vector<int> rows_;
    std::string best_;
    int distance_ = 0;
};

std::string nearest_mnemonic(const std::string& word) {
    if (word.size() > size_t(LONGEST_RESERVED_WORD) + 2) return std::string();
    Nearest nearest(word);
    int count = 0;
    const Mnemonic* rows = mnemonic_rows(&count);
    for (int i = 0; i < count; ++i) {
        if (!rows[i].rest) continue;  // a mnemonic that takes any ending is no spelling
        char spelling[LONGEST_RESERVED_WORD + 1];
        size_t slot = std::strlen(rows[i].slot), rest = std::strlen(rows[i].rest);
        std::memcpy(spelling, rows[i].slot, slot);
        std::memcpy(spelling + slot, rows[i].rest, rest);
        nearest.consider(std::string_view(spelling, slot + rest));
    }
    return nearest.best();
}

std::string nearest_symbol(const SymbolTable& symbols, const std::string& word) {
    Nearest nearest(word);
    for (int position = 0; position < symbols.end_position(); position = symbols.next_position(position)) {
        nearest.consider(std::string_view(symbols.name_at(position), size_t(symbols.name_length_at(position))));
    }
    return nearest.best();
}

// The first name in the operands that is no register, keyword or symbol.
bool find_undefined_name(const Statement& s, std::string& name, size_t& at) {
    std::string_view text = statement_text(s);
    if (s.operands_at <= 0 || size_t(s.operands_at) > text.size()) return false;
    std::string_view operands = text.substr(size_t(s.operands_at));
    bool found = false;
    for_each_word(operands, [&](const std::string& word, size_t start) {
        if (register_named(word) || is_keyword(word)) return true;
        if (s.assembly.symbols.find(word.c_str(), int(word.size()), nullptr) >= 0) return true;
        name = word;
        at = size_t(s.operands_at) + start;
        found = true;
        return false;
    });
    return found;
}

// A register inside brackets that cannot address memory (SP, AX...), in
// operand `index`.
const RegisterName* bracketed_non_base(const Statement& s, int index) {
    std::string_view text = operand_text(s, index);
    const RegisterName* refused = nullptr;
    int depth = 0;
    size_t at = 0;
    for_each_word(text, [&](const std::string& word, size_t start) {
        for (; at < start; ++at) depth += text[at] == '[' ? 1 : text[at] == ']' ? -1 : 0;
        const RegisterName* name = register_named(word);
        bool base = word == "BX" || word == "BP" || word == "SI" || word == "DI";
        if (depth > 0 && name && !base) refused = name;
        return !refused;
    });
    return refused;
}

// A number as the source would write it: 0BC614EH, 0105H.
// The 80286's protected-mode instructions.
bool is_protected_mode_word(const std::string& word) {
    for (const char* name : {"ARPL", "CLTS", "LAR", "LGDT", "LIDT", "LLDT", "LMSW", "LSL", "LTR", "SGDT", "SIDT",
                             "SLDT", "SMSW", "STR", "VERR", "VERW"}) {
        if (word == name) return true;
    }
    return false;
}

std::string hex(int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%04llXH", static_cast<unsigned long long>(value & 0xFFFFFFFF));
    return text[0] > '9' ? "0" + std::string(text) : std::string(text);
}

bool is_memory_to_memory(const Statement& s) {
    return s.operand_count == 2 && s.dst.kind == KIND_MEMORY && s.src.kind == KIND_MEMORY;
}

// The symbol operand `index` names, when it is one name alone, or -1.
int named_symbol(const Statement& s, int index) {
    std::string_view text = operand_text(s, index);
    if (text.empty() || text.size() > size_t(SYMBOL_NAME_LIMIT) || !is_word_start(text[0])) return -1;
    char name[SYMBOL_NAME_LIMIT + 1];
    for (size_t i = 0; i < text.size(); ++i) {
        if (!is_name_char(text[i])) return -1;
        name[i] = to_upper(text[i]);
    }
    return s.assembly.symbols.find(name, int(text.size()), nullptr);
}

// A DB or DW of one value, whose size is the register's.
bool is_variable_for(const Statement& s, int position) {
    if (position < 0) return false;
    uint8_t kind = s.assembly.symbols.kind_at(position);
    if (!(kind & SYMBOL_ONE_VALUE)) return false;
    kind = symbol_kind(kind);
    return (kind == SYMBOL_DB && s.dst.size == SIZE_BYTE) || (kind == SYMBOL_DW && s.dst.size == SIZE_WORD);
}

// What a bare variable name as an immediate stands for.
std::string variable_note(const Statement& s) {
    std::string name(operand_text(s, 1));
    for (char& c : name) c = to_upper(c);
    return name + " is a variable: [" + name + "] is its value, OFFSET " + name + " its address";
}

}  // namespace

namespace {

// Why a macro, a repetition or an IF block was refused.
std::string macro_note(const Statement& s, int code) {
    if (code == ERR_MISSING_ARGUMENT) {
        return "the macro needs an argument for each parameter marked :REQ, or as many as its %macro line counts";
    }
    if (code == ERR_NESTED_TOO_DEEP) {
        if (s.assembly.macros.line_limit_passed()) {
            return "more than 1,000,000 lines were expanded in this pass: a repetition or a macro that never ends?";
        }
        if (s.mnemonic && s.mnemonic->handler == directive_condition) return "more than 64 IF blocks are open";
        return "more than 256 calls are nested: a macro that calls itself with no condition to stop it?";
    }
    switch (MacroWord(s.mnemonic->opcode)) {
        case MW_ENDM: return "ENDM closes no MACRO, REPT, IRP or IRPC";
        case MW_LOCAL: return "LOCAL names stand first in a macro's body";
        case MW_EXITM: return "EXITM leaves a macro or a repetition, and stands only in one";
        case MW_MACRO: return "a macro's name stands before MACRO, without a colon: NAME MACRO parameters";
        default: return "";
    }
}

}  // namespace

// Why MASM's structure or conventions refuse a statement, or an empty text.
std::string masm_note(const Statement& s, int code) {
    const Mnemonic& mnemonic = *s.mnemonic;
    bool segment_line = mnemonic.handler == directive_section && s.label_length > 0;
    if (segment_line && code == ERR_INVALID_OPERAND) {
        return "SEGMENT takes BYTE, WORD, PARA or PAGE, PUBLIC, STACK or COMMON, AT paragraph, and a 'class'";
    }
    if (mnemonic.handler == directive_masm_structure) {
        switch (mnemonic.opcode) {
            case MASM_ENDS: return "NAME ENDS closes the segment NAME SEGMENT opened last";
            case MASM_ASSUME: return "ASSUME takes SEGREG:NAME, the name of a segment or a group, or NOTHING";
            case MASM_GROUP: return "NAME GROUP takes the names of segments, each in one group";
            case MASM_CPU_PROTECTED: return "the 80286's protected mode is not assembled: .286 gives its real-mode instructions";
            default:
                if (code == ERR_SYNTAX) return "the simplified segments (.CODE, .DATA, .STACK, .STARTUP) follow .MODEL";
        }
        return "";
    }
    if (mnemonic.handler == directive_end && code == ERR_MISSING_OPERAND) {
        return "an .EXE starts at the label END names (END START), or at .STARTUP";
    }
    if (code == ERR_ILLEGAL_SIZE && s.operand_count == 2 &&
        (s.dst.variable_size != SIZE_NONE || s.src.variable_size != SIZE_NONE)) {
        return "the variable and the register differ in size: BYTE PTR or WORD PTR says which is meant";
    }
    if (code == ERR_ILLEGAL_SIZE && s.refused_operand >= 0) {
        return "a quadword variable has no 8086 instruction: WORD PTR or BYTE PTR says which part is meant";
    }
    if (code != ERR_INVALID_OPERAND) return "";
    if (!s.assembly.exe && (s.code_fixup != NO_FRAME || s.data_fixup_count)) {
        return "a .COM holds no segment's value: the loader of an .EXE relocates it";
    }
    bool names_code = false;
    for (const Operand* operand : {&s.dst, s.operand_count == 2 ? &s.src : nullptr}) {
        if (!operand) continue;
        names_code = names_code || (operand->value_marks & VALUE_CODE);
        if (operand->value_marks & VALUE_SEGMENT) {
            return s.assembly.exe ? "a segment's value is a word the loader relocates: MOV takes it (MOV AX,SEG X), "
                                    "and PUSH under .186"
                                  : "a .COM holds no segment's value: the loader of an .EXE relocates it";
        }
        if (operand->value_marks & VALUE_UNREACHED) {
            return "no segment register reaches the variable's segment: ASSUME one at it, or write the override (ES:NAME)";
        }
    }
    if ((mnemonic.handler == jmp_instruction || mnemonic.handler == call_instruction || mnemonic.handler == short_jump)) {
        return "a near jump or call stays in its segment; a far one (CALL FAR PTR X) needs an .EXE's segments";
    }
    if (!names_code) return "";
    return "under MASM's conventions a label is code: OFFSET NAME is its address";
}

// Why NASM's program structure refuses a statement, or an empty text.
std::string structure_note(const Statement& s, int code) {
    const Mnemonic* mnemonic = s.mnemonic;
    if (code == ERR_OUTSIDE_IMAGE && !s.assembly.segments.empty()) {
        return "a program of segments has its bytes in them: NAME SEGMENT ... NAME ENDS, or .CODE and .DATA";
    }
    if (code == ERR_OUTSIDE_IMAGE) {
        return "nothing is written in .bss, an ABSOLUTE space or a STRUC: RESB, RESW, RESD and RESQ reserve room there";
    }
    if (code == ERR_SEGMENT_OPEN) return "each NAME SEGMENT is closed by NAME ENDS before END";
    if (!mnemonic) return "";
    if (s.assembly.conventions.masm) {
        std::string note = masm_note(s, code);
        if (!note.empty()) return note;
    }
    if (code == ERR_ORG_ASCENDED && mnemonic->opcode == INSTANCE_FIELD && mnemonic->handler == directive_times) {
        return "AT lines follow the order of the structure's fields: this field lies behind the bytes already there";
    }
    if (mnemonic->handler == directive_linker) {
        return "a flat image has no linker: GLOBAL and EXTERN name symbols for one, and every name here is the source's own";
    }
    if (code != ERR_INVALID_OPERAND) return "";
    if (mnemonic->handler == directive_cpu) return "the instructions assembled are the 8086's and the 80186's: CPU 8086 or CPU 186";
    if (mnemonic->handler == directive_bits) return "the 8086 runs 16-bit code only: BITS 16";
    if (mnemonic->handler == directive_section) {
        return "a section takes ALIGN=n (a power of two up to 4096), PROGBITS or NOBITS; a flat image places it after .text";
    }
    if ((mnemonic->handler == jmp_instruction || mnemonic->handler == call_instruction) && s.assembly.conventions.nasm) {
        return "a far jump or call is written SEGMENT:OFFSET, or FAR [pointer] for one through memory";
    }
    if (mnemonic->handler == short_jump && s.assembly.conventions.nasm) {
        return "the 8086's conditional jumps are short: one out of reach is rewritten over a near JMP by itself";
    }
    return "";
}

Explanation explain_error(const Statement& s, int code) {
    Explanation explanation;
    // A line cut short was never split: its fields are another line's.
    if (code == ERR_LINE_TOO_LONG) return explanation;
    const Mnemonic* mnemonic = s.mnemonic;
    if (s.needs_186) {
        explanation.note = std::string("the 8086 has no ") + s.needs_186 + "; " +
                           (s.assembly.conventions.masm ? ".186" : "CPU 186") + " enables it";
        if (mnemonic && mnemonic->handler == push_instruction) explanation.operand = 0;
        if (mnemonic && mnemonic->handler == encode_shift) explanation.operand = 1;
        if (mnemonic && mnemonic->handler == imul_instruction) explanation.operand = s.operand_count - 1;
        return explanation;
    }
    explanation.note = structure_note(s, code);
    if (s.refused_operand >= 0) explanation.operand = s.refused_operand;
    if (!explanation.note.empty()) return explanation;
    if (code == ERR_INVALID_OPCODE && !s.zero_byte_in_statement) {
        std::string word;
        std::string_view text = statement_text(s);
        for (size_t at = mnemonic_at(s); at < text.size() && !is_blank(text[at]); ++at) word += to_upper(text[at]);
        if (is_protected_mode_word(word)) {
            explanation.note = word + " is a protected-mode instruction of the 80286: CPU 286 enables only the "
                                      "real-mode ones, the 80186's";
            return explanation;
        }
        auto& suggestions = s.assembly.diagnostics.mnemonic_suggestions();
        auto known = suggestions.find(word);
        if (known == suggestions.end()) known = suggestions.emplace(word, nearest_mnemonic(word)).first;
        const std::string& meant = known->second;
        if (!meant.empty()) explanation.note = "did you mean '" + meant + "'?";
        return explanation;
    }
    if (code == ERR_NESTED_TOO_DEEP || code == ERR_MISSING_ARGUMENT || (code == ERR_SYNTAX && mnemonic &&
                                                                         mnemonic->handler == directive_macro)) {
        explanation.note = macro_note(s, code);
        return explanation;
    }
    if (code == ERR_SYMBOL_NOT_DEFINED || code == ERR_SYNTAX || code == ERR_INVALID_OPERAND ||
        code == ERR_ILLEGAL_SIZE) {
        for (int index = 0; index < 2; ++index) {
            if (const RegisterName* name = bracketed_non_base(s, index)) {
                explanation.operand = index;
                explanation.note = std::string(name->text) +
                                   " cannot address memory: only BX, BP, SI and DI can, as [BX+SI+4] or [BP+DI]";
                return explanation;
            }
        }
    }
    if (code == ERR_SYNTAX && s.assembly.conventions.nasm) {
        int strict = strict_alone(s);
        if (strict >= 0) {
            explanation.operand = strict;
            explanation.note = "STRICT is read before a size keyword only: PUSH STRICT WORD 5 keeps the word form";
            return explanation;
        }
    }
    if (code == ERR_SYMBOL_NOT_DEFINED) {
        std::string name;
        size_t at = 0;
        if (find_undefined_name(s, name, at)) {
            explanation.column = int32_t(at) + 1;
            std::string meant = s.assembly.diagnostics.may_suggest() ? nearest_symbol(s.assembly.symbols, name) : "";
            if (!meant.empty()) explanation.note = "did you mean '" + meant + "'?";
        }
        return explanation;
    }
    if (!mnemonic || s.deferred_error) return explanation;
    MnemonicHandler handler = mnemonic->handler;
    bool transfer = takes_short_target(*mnemonic) || takes_far_target(*mnemonic);
    if (code == ERR_INVALID_OPERAND && s.prefix_segment && transfer && s.dst.kind != KIND_MEMORY) {
        explanation.note = "a segment override goes only with a jump or call through memory: "
                           "its byte would put a direct target one byte off";
        return explanation;
    }
    if (handler == encode_shift && s.operand_count == 2 && (code == ERR_INVALID_OPERAND || code == ERR_SYNTAX) &&
        s.src.kind != KIND_IMMEDIATE) {
        explanation.operand = 1;
        explanation.note = s.pass.cpu_186 ? "the count is 1, CL or a number from 0 to 255"
                                          : "the 8086 shifts by 1 or by CL: put the count in CL";
    } else if (handler == mov_instruction && s.operand_count == 2 && s.dst.kind == KIND_SEGREG &&
               s.src.kind == KIND_IMMEDIATE) {
        explanation.operand = 1;
        explanation.note = "no immediate moves into a segment register: MOV AX," + std::string(operand_text(s, 1)) +
                           " first, then MOV " + std::string(operand_text(s, 0)) + ",AX";
    } else if (handler == mov_instruction && s.operand_count == 2 && s.dst.kind == KIND_SEGREG &&
               s.src.kind == KIND_SEGREG) {
        explanation.operand = 1;
        explanation.note = "no move between segment registers: go through a general register";
    } else if (code == ERR_ILLEGAL_SIZE && s.operand_count == 2 && s.dst.kind == KIND_REGISTER &&
               s.src.kind == KIND_IMMEDIATE && s.src.reg == IMM_SYMBOL && is_variable_for(s, named_symbol(s, 1))) {
        explanation.operand = 1;
        explanation.note = variable_note(s);
    } else if ((handler == push_instruction || handler == pop_instruction) && code == ERR_INVALID_OPERAND &&
               s.operand_count == 1 && s.dst.size == SIZE_BYTE &&
               (s.dst.kind == KIND_REGISTER || s.dst.kind == KIND_MEMORY)) {
        explanation.operand = 0;
        explanation.note = "the stack holds words: PUSH and POP take a word register, a segment register or a word";
    } else if (handler == bound_instruction && code == ERR_INVALID_OPERAND && s.operand_count == 2 &&
               s.src.kind != KIND_MEMORY) {
        explanation.operand = 1;
        explanation.note = "BOUND checks a word register against two words in memory, the lower bound first: "
                           "BOUND AX,[LIMITS]";
    } else if (handler == imul_instruction && code == ERR_EXTRA_OPERAND && s.operand_count == 2 &&
               s.src.kind != KIND_IMMEDIATE) {
        explanation.operand = 1;
        explanation.note = "IMUL of a register by another operand without an immediate is the 80386's: "
                           "IMUL BX multiplies AX by BX, IMUL AX,BX,5 by a number";
    } else if (is_memory_to_memory(s)) {
        explanation.operand = 1;
        explanation.note = "no 8086 instruction takes two memory operands: go through a register";
    } else if (code == ERR_DISPLACEMENT_OVERFLOW && s.operand_count >= 1 && s.dst.kind == KIND_IMMEDIATE) {
        explanation.operand = 0;
        int64_t distance = int64_t(s.dst.value) - (int64_t(s.location()) + 2);
        int64_t beyond = distance > 127 ? distance - 127 : -128 - distance;
        char text[160];
        std::snprintf(text, sizeof text,
                      "the target %s is %lld bytes %s, %lld beyond the reach of a short jump (-128 to +127)",
                      hex(s.dst.value).c_str(), static_cast<long long>(distance > 0 ? distance : -distance),
                      distance > 0 ? "ahead" : "back", static_cast<long long>(beyond));
        explanation.note = text;
    }
    return explanation;
}

int32_t error_column(const Statement& s, int code, const Explanation& explanation) {
    if (explanation.column) return explanation.column;
    if (code == ERR_LINE_TOO_LONG) return LONGEST_LINE_CHARS + 1;
    if (code == ERR_INVALID_CHARACTER && s.zero_byte_in_statement) return s.zero_byte_column;
    if (s.label_error || code == ERR_MULTI_DEFINED) return label_column(s);
    size_t at = std::string_view::npos;
    if (explanation.operand >= 0) at = operand_at(s, explanation.operand);
    if (at == std::string_view::npos && code == ERR_EXTRA_OPERAND) at = operand_at(s, s.operand_count > 1 ? 1 : 0);
    if (at == std::string_view::npos && code != ERR_INVALID_OPCODE && s.operands_at > 0) at = size_t(s.operands_at);
    if (at == std::string_view::npos) at = mnemonic_at(s);
    return int32_t(at) + 1;
}

int32_t label_column(const Statement& s) { return int32_t(first_word_at(s)) + 1; }

int32_t operand_column(const Statement& s, int index) {
    size_t at = operand_at(s, index);
    if (at == std::string_view::npos) at = s.operands_at > 0 ? size_t(s.operands_at) : mnemonic_at(s);
    return int32_t(at) + 1;
}


uint8_t checked_warnings(const Statement& s) {
    uint8_t enabled = s.assembly.options.warnings;
    uint8_t warned = 0;
    for (uint8_t bit = 1; bit && bit <= WARNED_CS; bit = uint8_t(bit << 1)) {
        if ((s.warnings & bit) && (enabled & warning_group_of(bit))) warned |= bit;
    }
    // An address beyond the segment's end, cut where OFFSET or a name takes
    // it: the Address Overflow reported where the code passed the end says it.
    const Operand& immediate = s.operand_count > 1 ? s.src : s.dst;
    if ((warned & WARNED_VALUE_CUT) && s.assembly.segment_end_passed && immediate.reg != IMM_NUMBER &&
        immediate.value > 0xFFFF) {
        warned &= uint8_t(~WARNED_VALUE_CUT);
    }
    if (warned & WARNED_ADDRESS) {
        int position = named_symbol(s, 1);
        if (position < 0 || !is_variable_for(s, position)) warned &= uint8_t(~WARNED_ADDRESS);
    }
    return warned;
}

std::string warning_note(const Statement& s, uint8_t warned) {
    char text[200];
    switch (warned) {
        case WARNED_WORD_ASSUMED:
        case WARNED_BYTE_ASSUMED:
            return "write BYTE PTR " + std::string(operand_text(s, 0)) + " or WORD PTR " +
                   std::string(operand_text(s, 0)) + " to say which";
        case WARNED_VALUE_CUT: {
            const Operand& immediate = s.operand_count > 1 ? s.src : s.dst;
            std::snprintf(text, sizeof text, "the word keeps the low 16 bits of %s: %s", hex(immediate.value).c_str(),
                          hex(immediate.value & 0xFFFF).c_str());
            return text;
        }
        case WARNED_ADDRESS:
            return variable_note(s);
        case WARNED_CS:
            if (s.mnemonic && s.mnemonic->handler == pop_instruction) {
                return "on later processors 0FH begins a two-byte opcode: change CS with RETF or a far JMP";
            }
            return "later processors refuse a MOV into CS: change CS with a far JMP, a far CALL or RETF";
        default:
            return std::string();
    }
}

std::string phase_note(const std::string& name, int32_t before, int32_t now, int pass) {
    char text[160];
    std::snprintf(text, sizeof text, " is %s in pass %d and was %s in pass %d", hex(now).c_str(), pass,
                  hex(before).c_str(), pass - 1);
    return "'" + name + "' defined here" + text;
}

}  // namespace vexa
