// The directives DB, DW, DS, EQU, ORG, PROC, ENDP, END and INCLUDE, and the
// item lists of DB and DW.
#include <cstdint>
#include <cstring>

#include "driver/assembly.h"
#include "driver/driver.h"
#include "encode/encode.h"
#include "output/output.h"
#include "parse/parse.h"

namespace vexa {

namespace {

bool is_operator(char c) { return c == '+' || c == '-' || c == '*' || c == '/'; }

// A string of one character followed by an operator is a character constant
// that begins an expression ('A'+1, `\n`+1); any other string is a string item.
bool is_character_expression(const Statement& s, const char* p) {
    const char* close = closing_quote(p, s.operand_text + s.operand_length);
    if (!close || !is_operator(close[1])) return false;
    uint8_t byte;
    return close == p + 2 || (*p == '`' && string_bytes(p, close, &byte, 1) == 1);
}

// What a DB, DW, DD or DQ item list is being read into.
struct ItemList {
    int width;  // bytes per numeric item: 1, 2, 4 or 8
    int32_t low, high;
    bool first_item;  // no item has been read yet
    int result;          // the last error met that does not end the list
    bool reserved;       // every item of the innermost DUP so far is `?`
    uint16_t run_start;  // where the bytes not yet in a run begin
    bool only_reserved = true;  // every item so far is `?`, outside any DUP
};

// Stores a DB string's characters as they are, zero bytes too, a
// backquoted one's with its escapes undone: 0, or ERR_INVALID_STRING when it
// is not closed (its characters to the end are stored), or ERR_ILLEGAL_SIZE
// when the statement's bytes cannot hold them, or an escape's error.
int read_string(Statement& s, const char*& p) {
    // Under MASM's conventions a doubled quote is one quote of the string: 'It''s'.
    while (s.assembly.conventions.masm && *p != '`') {
        const char* close = closing_quote(p, s.operand_text + s.operand_length);
        if (!close || close[1] != *p) break;
        if (close - p > DATA_CAPACITY - s.data_len) return ERR_ILLEGAL_SIZE;
        std::memcpy(s.data_buf + s.data_len, p + 1, size_t(close - p));  // the text and one quote
        s.data_len = uint16_t(s.data_len + (close - p));
        p = close + 1;
    }
    const char* close = closing_quote(p, s.operand_text + s.operand_length);
    const char* end = close ? close : p + 1 + std::strlen(p + 1);
    if (*p == '`') {
        int stored = string_bytes(p, end, s.data_buf + s.data_len, DATA_CAPACITY - s.data_len);
        if (stored < 0) return stored;
        s.data_len = uint16_t(s.data_len + stored);
        p = end;
    } else {
        ++p;
        if (end - p > DATA_CAPACITY - s.data_len) return ERR_ILLEGAL_SIZE;
        for (; p < end; ++p) s.data_buf[s.data_len++] = uint8_t(*p);
    }
    if (!close) return ERR_INVALID_STRING;
    ++p;
    return 0;
}

// Low byte first; a quadword holds the value sign-extended, or zero-extended
// when it is a number from 80000000H up (DQ 0FFFFFFFFH).
int store_item(Statement& s, ItemList& list, int32_t value, bool beyond_int32 = false) {
    if (s.data_len + list.width > DATA_CAPACITY) return ERR_ILLEGAL_SIZE;
    uint8_t high = beyond_int32 ? 0 : uint8_t(value >> 31);
    for (int i = 0; i < list.width; ++i) s.data_buf[s.data_len++] = i < 4 ? uint8_t(value >> (8 * i)) : high;
    return 0;
}

// A segment's value in a word item (DW DATA, DW SEG X), and under MASM's
// conventions an address in a doubleword (DD FARPROC: its offset, then its
// segment): the words the loader of an .EXE relocates. Not inside a DUP.
[[gnu::noinline]] int store_segment_value(Statement& s, ItemList& list, const Expression& item, int depth) {
    bool pointer = !item.segment_value;
    if (list.width == 1 || list.width == 8 || (pointer && list.width != 4)) return ERR_INVALID_OPERAND;
    if (depth > 0 || s.data_run_count > 0 || s.data_fixup_count == Statement::MAX_DATA_FIXUPS) return ERR_INVALID_OPERAND;
    int16_t frame = int16_t(item.frame_mark - 1);
    if (pointer) frame = frame_of_segment(s.assembly, frame);
    uint16_t at = uint16_t(s.data_len + (pointer ? 2 : 0));
    int32_t value = pointer ? int32_t((uint32_t(frame_paragraph(s.assembly, frame)) << 16) | (uint32_t(item.value) & 0xFFFF))
                            : item.value;
    if (int error = store_item(s, list, value)) return error;
    if (relocated_frame(s.assembly, frame) != NO_FRAME) s.data_fixups[s.data_fixup_count++] = Statement::DataFixup{at, frame};
    return 0;
}

// A value item, checked against the item's range. A name not defined yet
// stores FF bytes; an error only in the later passes.
int store_value(Statement& s, ItemList& list, const Expression& item, int depth) {
    if (item.frame_mark && !item.unresolved && (item.segment_value || (list.width == 4 && item.addresses &&
                                                                       s.assembly.conventions.masm))) {
        return store_segment_value(s, list, item, depth);
    }
    int32_t value = item.value;
    if (item.unresolved) {
        value = -1;
        if (s.pass.pass_index > 0) list.result = ERR_SYMBOL_NOT_DEFINED;
    } else if (value < list.low || value > list.high) {
        list.result = ERR_ILLEGAL_SIZE;  // the low bits are still stored
    }
    return store_item(s, list, value, item.beyond_int32 && !item.unresolved);
}

// `DUP(` after a count, a blank before it or not, or `DUP` and one item
// without parentheses, as NASM also writes it (DB 4 DUP 0): answers where
// the items begin, or null; `bare` tells which.
const char* dup_items(const char* p, bool& bare) {
    if (*p == ' ') ++p;
    if (p[0] != 'D' || p[1] != 'U' || p[2] != 'P' || is_name_char(p[3])) return nullptr;
    bare = p[3] != '(';
    return p[3] == '(' || p[3] == ' ' ? p + 4 : p + 3;
}

// The count before DUP: 1 to 65535, known in the first pass (a name not yet
// defined reserves nothing there, like DS).
int dup_count(const Statement& s, const Expression& count, int32_t& repeat) {
    if (count.unresolved) return s.pass.pass_index > 0 ? ERR_SYMBOL_NOT_DEFINED : ERR_INVALID_NUMBER;
    if (count.value < 1 || count.value > MAX_DUP_COUNT) return ERR_INVALID_NUMBER;
    repeat = count.value;
    return 0;
}

void add_run(Statement& s, uint16_t start, uint16_t length, int32_t repeat, bool reserved) {
    if (length > 0) s.data_runs[s.data_run_count++] = DataRun{start, length, uint16_t(repeat), reserved};
}

int read_items(Statement& s, const char*& p, ItemList& list, int depth, bool one = false);

// A comma, the end, or inside a DUP its closing parenthesis.
bool ends_item(const char* p, int depth) { return !*p || *p == ',' || (depth > 0 && *p == ')'); }

// The items of `count DUP(...)`, or the one item of `count DUP item`. An
// outermost DUP becomes a run; one inside another is repeated in
// s.data_buf, which must hold it.
int read_dup(Statement& s, const char*& p, ItemList& list, int32_t repeat, int depth, bool bare) {
    bool outer_reserved = list.reserved;
    list.reserved = true;
    uint16_t start = s.data_len;
    if (bare) {
        if (ends_item(p, 1)) return ERR_SYNTAX;  // no item after DUP
        if (int error = read_items(s, p, list, depth + 1, true)) return error;
    } else {
        if (int error = read_items(s, p, list, depth + 1)) return error;
        if (*p != ')') return ERR_SYNTAX;
        ++p;
    }
    if (s.data_len == start) return ERR_SYNTAX;
    uint16_t length = uint16_t(s.data_len - start);
    if (depth == 0) {
        add_run(s, list.run_start, uint16_t(start - list.run_start), 1, false);
        add_run(s, start, length, repeat, list.reserved);
        list.run_start = s.data_len;
    } else {
        if (int64_t(length) * repeat > DATA_CAPACITY - start) return ERR_ILLEGAL_SIZE;
        for (int32_t copy = 1; copy < repeat; ++copy, s.data_len = uint16_t(s.data_len + length)) {
            std::memcpy(s.data_buf + s.data_len, s.data_buf + start, length);
        }
    }
    list.reserved = outer_reserved && list.reserved;
    return 0;
}

// One item that is not a string: `?`, a value, or a count with DUP(...).
// An empty item reads as a name not defined.
int read_value_item(Statement& s, const char*& p, ItemList& list, int depth) {
    bool first = list.first_item && depth == 0;
    list.first_item = false;
    if (*p == '?' && !is_name_char(p[1])) {
        ++p;
        return store_item(s, list, 0);
    }
    list.only_reserved = false;
    Expression item{};
    item.unresolved = *p == ',' || *p == ')' || !*p;
    if (item.unresolved) {
        s.first_pass_guess = true;
    } else if (int error = parse_expression(s, &p, item)) {
        return error;
    }
    bool bare = false;
    const char* items = dup_items(p, bare);
    if (!items) {
        if (!ends_item(p, depth)) return ERR_SYNTAX;
        list.reserved = false;
        return store_value(s, list, item, depth);
    }
    int32_t repeat;
    if (int error = dup_count(s, item, repeat)) return error;
    if (first) s.leading_dup = uint16_t(repeat);
    p = items;
    return read_dup(s, p, list, repeat, depth, bare);
}

// Items up to the end of the text, or at depth above 0 up to the `)` that
// closes their DUP; the first only when `one` (DUP without parentheses).
// Items are separated by commas; a string needs none after it.
int read_items(Statement& s, const char*& p, ItemList& list, int depth, bool one) {
    while (*p && !(depth > 0 && *p == ')')) {
        if (list.width == 1 && is_quote(*p) && !is_character_expression(s, p)) {
            list.first_item = false;
            list.only_reserved = false;
            if (int error = read_string(s, p)) return error;
            list.reserved = false;
            if (one) return 0;
            if (*p == ',') ++p;
            continue;
        }
        if (int error = read_value_item(s, p, list, depth)) return error;
        if (!ends_item(p, depth)) return ERR_SYNTAX;
        if (one) return 0;
        if (*p == ',') ++p;
    }
    return 0;
}

// Walks a data item list. Answers 0 or the last error met; an item that
// cannot be read ends the list. A doubleword or quadword item takes any value.
int parse_data_list(Statement& s, char* text, int width) {
    s.data_len = 0;
    s.data_run_count = 0;
    s.leading_dup = 1;
    int32_t low = width == 1 ? -128 : width == 2 ? -32768 : INT32_MIN;
    int32_t high = width == 1 ? 255 : width == 2 ? 65535 : INT32_MAX;
    ItemList list{width, low, high, true, 0, false, 0};
    const char* p = text;
    int error = read_items(s, p, list, 0);
    if (s.data_run_count > 0) add_run(s, list.run_start, uint16_t(s.data_len - list.run_start), 1, false);
    // In MASM's segments `?` items alone are room, as DUP(?) is: not in the
    // .EXE's file when nothing follows them.
    if (!error && list.only_reserved && s.data_len > 0 && s.data_run_count == 0 && !s.assembly.segments.empty()) {
        add_run(s, 0, s.data_len, 1, true);
    }
    return error ? error : list.result;
}

constexpr char NEAR_LETTER = 'N';

int close_procedure(Statement& s) {
    if (!s.label_field[0]) return ERR_SYNTAX;
    OpenProcedures& open = s.pass.procedures;
    int innermost = open.count - 1;
    if (innermost < 0 || open.names[innermost] != s.label_field) return ERR_SYMBOL_NOT_DEFINED;
    open.count = innermost;
    return s.operand_text[0] ? ERR_EXTRA_OPERAND : 0;
}

// DS, EQU and ORG take one value from the operand parser: they first ask for
// the operands, then decide. A register has no value to take.
int valued_directive(const Statement& s, int statement) {
    if (s.operand_count == 0) return ERR_MISSING_OPERAND;
    if (s.operand_count == 2) return ERR_EXTRA_OPERAND;
    if (s.deferred_error) return s.deferred_error;
    if (s.dst.kind == KIND_REGISTER || s.dst.kind == KIND_SEGREG) return ERR_INVALID_OPERAND;
    return statement;
}

// The file name of INCLUDE as written, letter case kept: a word, or text in
// quotes or angle brackets (in backquotes with its escapes undone). Answers
// 0 or why there is none.
int include_name(const Statement& s, std::string& name) {
    const char* p = s.line_buffer + s.operands_at;
    const char* end = s.line_buffer + s.statement_text_length;
    // A comment after a quoted name stays in the statement's text: it ends at the name.
    if (is_quote(*p) || *p == '<') {
        const char* close = *p == '<' ? static_cast<const char*>(std::memchr(p + 1, '>', size_t(end - p - 1)))
                                      : closing_quote(p, end);
        const char* after = close ? close + 1 : end;
        while (after < end && is_blank(*after)) ++after;
        if (after < end && *after == ';') end = close + 1;
    }
    while (end > p && is_blank(end[-1])) --end;
    if (s.operands_at == 0 || p == end) return ERR_MISSING_OPERAND;
    if (*p == '`') {
        if (closing_quote(p, end) != end - 1) return ERR_SYNTAX;
        if (int error = string_text(p, end - 1, name)) return error;
        return name.empty() ? ERR_MISSING_OPERAND : 0;
    }
    char close = *p == '<' ? '>' : is_quote(*p) ? *p : 0;
    if (close) {
        if (end - p < 2 || end[-1] != close) return ERR_SYNTAX;
        ++p;
        --end;
    } else {
        for (const char* q = p; q < end; ++q) {
            if (is_blank(*q)) return ERR_SYNTAX;  // a second word
        }
    }
    if (p == end) return ERR_MISSING_OPERAND;
    name.assign(p, size_t(end - p));
    return 0;
}

// The directory part of a path: up to its last `/` or `\`, or empty.
std::string directory_of(const std::string& path) {
    size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

bool is_absolute(const std::string& path) { return !path.empty() && (path[0] == '/' || path[0] == '\\'); }

// Where INCLUDE looks for `name`, in order: beside the file that includes
// it, in each directory given with -I, in the current directory.
std::vector<std::string> include_candidates(const Assembly& assembly, uint16_t including, const std::string& name) {
    if (is_absolute(name)) return {name};
    const std::string& includer =
        including ? assembly.texts[assembly.included[including - 1].text].path : assembly.options.source;
    std::vector<std::string> candidates{directory_of(includer) + name};
    for (const std::string& directory : assembly.options.include_paths) {
        bool separated = !directory.empty() && (directory.back() == '/' || directory.back() == '\\');
        candidates.push_back(directory + (separated || directory.empty() ? "" : "/") + name);
    }
    candidates.push_back(name);
    return candidates;
}

// The text of the file at `path`, loaded once for every pass; -1 when it
// cannot be found or read.
int loaded_text(Assembly& assembly, const std::string& path) {
    for (size_t i = 0; i < assembly.texts.size(); ++i) {
        if (assembly.texts[i].path == path) return assembly.texts[i].text ? int(i) : -1;
    }
    auto text = std::make_unique<SourceText>();
    bool loaded = assembly.files.load(path, *text) == LOAD_OK;
    assembly.texts.push_back(Assembly::LoadedText{path, loaded ? std::move(text) : nullptr});
    return loaded ? int(assembly.texts.size() - 1) : -1;
}

// The number of the included file `name` read from `text`, for its lines'
// messages: one for each name as written and file found.
uint16_t included_file_number(Assembly& assembly, const std::string& name, int text) {
    for (size_t i = 0; i < assembly.included.size(); ++i) {
        if (assembly.included[i].name == name && assembly.included[i].text == text) return uint16_t(i + 1);
    }
    assembly.included.push_back(Assembly::IncludedFile{name, text});
    return uint16_t(assembly.included.size());
}

}  // namespace

int64_t data_image_length(const Statement& s) {
    if (s.data_run_count == 0) return s.data_len;
    int64_t length = 0;
    for (int i = 0; i < s.data_run_count; ++i) length += int64_t(s.data_runs[i].length) * s.data_runs[i].repeat;
    return length;
}

int parse_db_list(Statement& s, char* text) { return parse_data_list(s, text, 1); }

int parse_dw_list(Statement& s, char* text) { return parse_data_list(s, text, 2); }

int directive_db(const Mnemonic&, Statement& s) {
    if (int result = parse_db_list(s, s.operand_text)) s.deferred_error = result;
    return STMT_DB;
}

int directive_dw(const Mnemonic&, Statement& s) {
    if (int result = parse_dw_list(s, s.operand_text)) s.deferred_error = result;
    return STMT_DW;
}

int directive_dd(const Mnemonic&, Statement& s) {
    if (int result = parse_data_list(s, s.operand_text, 4)) s.deferred_error = result;
    return STMT_DD;
}

int directive_dq(const Mnemonic&, Statement& s) {
    if (int result = parse_data_list(s, s.operand_text, 8)) s.deferred_error = result;
    return STMT_DQ;
}

int directive_ds(const Mnemonic&, Statement& s) { return valued_directive(s, STMT_DS); }

int directive_assign(const Mnemonic&, Statement& s) { return valued_directive(s, STMT_ASSIGN); }

// TIMES is assembled by the pass driver, around the statement it repeats.
int directive_times(const Mnemonic&, Statement&) { return ERR_SYNTAX; }

namespace {

constexpr int32_t LARGEST_ALIGNMENT = 65536;
constexpr uint8_t NOP = 0x90;

// Fill bytes from here to the next multiple of `boundary` counted from the
// image's start, as one data run.
int pad_to(Statement& s, int32_t boundary, uint8_t fill) {
    int64_t from_start = int64_t(s.location()) - s.pass.image_origin;
    int64_t padding = (boundary - from_start % boundary) % boundary;
    s.location_used = true;
    s.data_buf[0] = fill;
    s.data_len = 1;
    s.data_runs[0] = DataRun{0, 1, uint16_t(padding), false};
    s.data_run_count = 1;
    return STMT_ALIGN;
}

}  // namespace

// ALIGN n[,fill]: n a power of two; the fill byte is NOP unless given
// (also as `DB fill`, as NASM writes it).
int directive_align(const Mnemonic&, Statement& s) {
    const char* p = s.operand_text;
    if (!*p) return ERR_MISSING_OPERAND;
    Expression boundary;
    if (int error = parse_expression(s, &p, boundary)) return error;
    Expression fill{};
    fill.value = NOP;
    if (*p == ',') {
        ++p;
        if (p[0] == 'D' && p[1] == 'B' && p[2] == ' ') p += 3;
        if (int error = parse_expression(s, &p, fill)) return error;
        if (fill.unresolved) return s.pass.pass_index > 0 ? ERR_SYMBOL_NOT_DEFINED : pad_to(s, 1, 0);
        if (!fits_byte(fill.value)) return ERR_ILLEGAL_SIZE;
    }
    if (*p) return ERR_SYNTAX;
    if (boundary.unresolved) return s.pass.pass_index > 0 ? ERR_SYMBOL_NOT_DEFINED : pad_to(s, 1, 0);
    int32_t n = boundary.value;
    if (n < 1 || n > LARGEST_ALIGNMENT || (n & (n - 1)) != 0) return ERR_INVALID_OPERAND;
    return pad_to(s, n, uint8_t(fill.value));
}

int directive_even(const Mnemonic&, Statement& s) {
    if (s.operand_text[0]) return ERR_EXTRA_OPERAND;
    return pad_to(s, 2, NOP);
}

// The text .ERR <text> or %error "text" (or %error text) wrote, as written.
void take_written_text(Statement& s, bool nasm) {
    s.assembly.diagnostics.set_written_message("", 0);
    if (!s.operands_at) return;
    const char* p = s.line_buffer + s.operands_at;
    const char* end = s.line_buffer + s.statement_text_length;
    while (end > p && is_blank(end[-1])) --end;
    char close = *p == '<' && !nasm ? '>' : is_quote(*p) && nasm ? *p : 0;
    std::string text;
    if (close == '`' && closing_quote(p, end) == end - 1 && string_text(p, end - 1, text) == 0) {
        s.assembly.diagnostics.set_written_message(text.data(), text.size());
        return;
    }
    if (close && end - p >= 2 && end[-1] == close) {
        ++p;
        --end;
    } else if (!nasm) {
        return;
    }
    s.assembly.diagnostics.set_written_message(p, size_t(end - p));
}

int directive_forced_error(const Mnemonic& mnemonic, Statement& s) {
    if (mnemonic.opcode == FORCED_ALWAYS) {
        take_written_text(s, mnemonic.slot[0] == '%');
        return ERR_FORCED;
    }
    s.assembly.diagnostics.set_written_message("", 0);
    const char* p = s.operand_text;
    if (!*p) return ERR_MISSING_OPERAND;
    Expression value;
    if (int error = parse_expression(s, &p, value)) return error;
    if (*p) return ERR_SYNTAX;
    if (value.unresolved) return s.pass.pass_index > 0 ? int(ERR_SYMBOL_NOT_DEFINED) : int(STMT_NO_EFFECT);
    bool zero = value.value == 0;
    return zero == (mnemonic.opcode == FORCED_IF_ZERO) ? int(ERR_FORCED) : int(STMT_NO_EFFECT);
}

// LOCALS or LOCALS @@ (TASM): names beginning with @@ are local, as they
// always are here. Another prefix is not supported.
int directive_locals(const Mnemonic&, Statement& s) {
    const char* text = s.operand_text;
    if (s.label_field[0]) return ERR_SYNTAX;
    bool local_prefix = !text[0] || (text[0] == '@' && text[1] == '@' && !text[2]);
    return local_prefix ? int(STMT_NO_EFFECT) : int(ERR_INVALID_OPERAND);
}

// NAME LABEL BYTE|WORD|DWORD|NEAR|FAR: NAME here, of that type.
int directive_label(const Mnemonic&, Statement& s) {
    if (!s.label_field[0]) return ERR_SYNTAX;
    const char* text = s.operand_text;
    if (!*text) return ERR_MISSING_OPERAND;
    if (text[0] != SIZE_MARK || text[2] != 0) return ERR_INVALID_OPERAND;
    constexpr struct {
        char letter;
        uint8_t size;
    } types[] = {{'B', SIZE_BYTE}, {'W', SIZE_WORD}, {'D', SIZE_DWORD}, {'N', SIZE_NEAR}, {'F', SIZE_FAR}};
    for (const auto& type : types) {
        if (text[1] != type.letter) continue;
        s.dst.size = type.size;
        return STMT_LABEL;
    }
    return ERR_INVALID_OPERAND;
}

int directive_equ(const Mnemonic&, Statement& s) { return valued_directive(s, STMT_EQU); }

int directive_org(const Mnemonic&, Statement& s) { return valued_directive(s, STMT_ORG); }

// END [label]: in a program of MASM's segments the label is the .EXE's
// entry point, and no segment may be open.
int directive_end(const Mnemonic&, Statement& s) {
    if (s.pass.procedures.count > 0) s.deferred_error = ERR_SYNTAX;  // a PROC never closed
    if (!s.deferred_error && (!s.assembly.segments.empty() || s.assembly.conventions.masm)) {
        s.deferred_error = note_entry_point(s);
    }
    return STMT_END;
}

// NAME PROC or NAME PROC NEAR: NAME is a label like any other. Under MASM's
// conventions NAME PROC FAR returns far; a flat image of Vexa's has no far
// procedures.
int directive_proc(const Mnemonic&, Statement& s) {
    if (!s.label_field[0]) return ERR_SYNTAX;
    OpenProcedures& open = s.pass.procedures;
    if (open.count == OpenProcedures::MAX) return ERR_SYNTAX;
    open.far[open.count] = false;
    open.names[open.count++].assign(s.label_field, size_t(s.label_length));
    const char* text = s.operand_text;
    // The larger models' procedures are far unless NEAR says otherwise.
    uint8_t model = s.assembly.model;
    bool masm = s.assembly.conventions.masm;
    open.far[open.count - 1] = masm && (model == MODEL_MEDIUM || model == MODEL_LARGE || model == MODEL_HUGE);
    if (text[0] == SIZE_MARK && text[1] == NEAR_LETTER) {
        open.far[open.count - 1] = false;
        text += 2;
    } else if (text[0] == SIZE_MARK && text[1] == 'F' && masm) {
        open.far[open.count - 1] = true;
        text += 2;
    }
    return *text ? ERR_INVALID_OPERAND : 0;
}

// NAME ENDP closes the innermost open procedure, which NAME must be. It
// emits nothing and defines nothing.
int directive_endp(const Mnemonic&, Statement& s) {
    s.deferred_error = close_procedure(s);
    return STMT_ENDP;
}

// INCLUDE name: the lines of that file are read next, in every pass. The
// file is found here; the pass driver reads it once the INCLUDE line is done.
int find_binary_file(Statement& s, const std::string& name) {
    for (const std::string& path : include_candidates(s.assembly, s.file, name)) {
        int text = loaded_text(s.assembly, path);
        if (text >= 0) return text;
    }
    return -1;
}

// GLOBAL, EXTERN and COMMON name symbols for a linker: a flat image has none.
int directive_linker(const Mnemonic&, Statement&) { return ERR_INVALID_OPCODE; }

int directive_include(const Mnemonic&, Statement& s) {
    std::string name;
    if (int error = include_name(s, name)) return error;
    Assembly& assembly = s.assembly;
    for (const std::string& path : include_candidates(assembly, s.file, name)) {
        int text = loaded_text(assembly, path);
        if (text < 0) continue;
        const SourceText& source = *assembly.texts[size_t(text)].text;
        if (s.pass.reader.is_reading(source) || s.pass.reader.depth() == LineReader::MAX_DEPTH) {
            return ERR_INCLUDE_NESTED;
        }
        s.included_file = included_file_number(assembly, name, text);
        return STMT_INCLUDE;
    }
    return ERR_INCLUDE_NOT_FOUND;
}

}  // namespace vexa
