// The directives DB, DW, DS, EQU, ORG, PROC, ENDP and END, and the item lists of DB and DW.
#include <cstring>

#include "driver/driver.h"
#include "encode/encode.h"
#include "output/output.h"
#include "parse/parse.h"

namespace vexa {

uint8_t data_buf[DATA_CAPACITY];
uint8_t data_len;
DataRun data_runs[MAX_DATA_RUNS];
uint8_t data_run_count;

namespace {

bool is_operator(char c) { return c == '+' || c == '-' || c == '*' || c == '/'; }

// A string of one character followed by an operator is a character constant
// that begins an expression ('A'+1); any other string is a string item.
bool is_character_expression(const char* p) { return closing_quote(p) == p + 2 && is_operator(p[3]); }

// What a DB or DW item list is being read into.
struct ItemList {
    int width;  // bytes per numeric item: 1 (DB) or 2 (DW)
    int32_t low, high;
    int result;          // the last error met that does not end the list
    bool reserved;       // every item of the innermost DUP so far is `?`
    uint8_t run_start;   // where the bytes not yet in a run begin
};

// Stores a DB string's characters as they are, zero bytes too; answers
// false when it is not closed (its characters to the end are stored).
bool read_string(const char*& p) {
    const char* close = closing_quote(p);
    const char* end = close ? close : p + 1 + std::strlen(p + 1);
    for (++p; p < end; ++p) {
        if (data_len < DATA_CAPACITY) data_buf[data_len++] = uint8_t(*p);
    }
    if (!close) return false;
    ++p;
    return true;
}

int store_item(ItemList& list, int32_t value) {
    if (data_len + list.width > DATA_CAPACITY) return ERR_ILLEGAL_SIZE;
    data_buf[data_len++] = uint8_t(value);
    if (list.width == 2) data_buf[data_len++] = uint8_t(value >> 8);
    return 0;
}

// A value item, checked against the item's range. A name not defined yet
// stores FF bytes; an error only in the second pass.
int store_value(ItemList& list, const Expression& item) {
    int32_t value = item.value;
    if (item.unresolved) {
        value = -1;
        if (pass_index == 1) list.result = ERR_SYMBOL_NOT_DEFINED;
    } else if (value < list.low || value > list.high) {
        list.result = ERR_ILLEGAL_SIZE;  // the low bits are still stored
    }
    return store_item(list, value);
}

// ` DUP(` or `DUP(` after a count: answers where the items begin, or null.
const char* dup_items(const char* p) {
    if (*p == ' ') ++p;
    if (p[0] != 'D' || p[1] != 'U' || p[2] != 'P' || is_name_char(p[3])) return nullptr;
    return p[3] == '(' ? p + 4 : nullptr;
}

// The count before DUP: 1 to 65535, known in the first pass (a name not yet
// defined reserves nothing there, like DS).
int dup_count(const Expression& count, int32_t& repeat) {
    if (count.unresolved) return pass_index == 1 ? ERR_SYMBOL_NOT_DEFINED : ERR_INVALID_NUMBER;
    if (count.value < 1 || count.value > MAX_DUP_COUNT) return ERR_INVALID_NUMBER;
    repeat = count.value;
    return 0;
}

// A DUP at the outermost level takes at least seven characters (`1DUP(0)`)
// and adds two runs at most, so a line never fills data_runs.
static_assert(2 * (LINE_CAPACITY / 7) + 1 <= MAX_DATA_RUNS);

void add_run(uint8_t start, uint8_t length, int32_t repeat, bool reserved) {
    if (length > 0) data_runs[data_run_count++] = DataRun{start, length, uint16_t(repeat), reserved};
}

int read_items(const char*& p, ItemList& list, int depth);

// A comma, the end, or inside a DUP its closing parenthesis.
bool ends_item(const char* p, int depth) { return !*p || *p == ',' || (depth > 0 && *p == ')'); }

// The items of `count DUP(...)`. An outermost DUP becomes a run; one inside
// another is repeated in data_buf, which must hold it.
int read_dup(const char*& p, ItemList& list, int32_t repeat, int depth) {
    bool outer_reserved = list.reserved;
    list.reserved = true;
    uint8_t start = data_len;
    if (int error = read_items(p, list, depth + 1)) return error;
    if (*p != ')' || data_len == start) return ERR_SYNTAX;
    ++p;
    uint8_t length = uint8_t(data_len - start);
    if (depth == 0) {
        add_run(list.run_start, uint8_t(start - list.run_start), 1, false);
        add_run(start, length, repeat, list.reserved);
        list.run_start = data_len;
    } else {
        if (int64_t(length) * repeat > DATA_CAPACITY - start) return ERR_ILLEGAL_SIZE;
        for (int32_t copy = 1; copy < repeat; ++copy, data_len = uint8_t(data_len + length)) {
            std::memcpy(data_buf + data_len, data_buf + start, length);
        }
    }
    list.reserved = outer_reserved && list.reserved;
    return 0;
}

// One item that is not a string: `?`, a value, or a count with DUP(...).
// An empty item reads as a name not defined.
int read_value_item(const char*& p, ItemList& list, int depth) {
    if (*p == '?') {
        ++p;
        return store_item(list, 0);
    }
    Expression item{};
    item.unresolved = *p == ',' || *p == ')' || !*p;
    if (item.unresolved) {
        first_pass_guess = true;
    } else if (int error = parse_expression(&p, item)) {
        return error;
    }
    const char* items = dup_items(p);
    if (!items) {
        if (!ends_item(p, depth)) return ERR_SYNTAX;
        list.reserved = false;
        return store_value(list, item);
    }
    int32_t repeat;
    if (int error = dup_count(item, repeat)) return error;
    p = items;
    return read_dup(p, list, repeat, depth);
}

// Items up to the end of the text, or at depth above 0 up to the `)` that
// closes their DUP. Items are separated by commas; a string needs none after it.
int read_items(const char*& p, ItemList& list, int depth) {
    while (*p && !(depth > 0 && *p == ')')) {
        if (list.width == 1 && is_quote(*p) && !is_character_expression(p)) {
            if (!read_string(p)) return ERR_INVALID_STRING;
            list.reserved = false;
            if (*p == ',') ++p;
            continue;
        }
        if (int error = read_value_item(p, list, depth)) return error;
        if (!ends_item(p, depth)) return ERR_SYNTAX;
        if (*p == ',') ++p;
    }
    return 0;
}

// Walks a DB or DW item list. Answers 0 or the last error met; an item that
// cannot be read ends the list.
int parse_data_list(char* text, int width) {
    data_len = 0;
    data_run_count = 0;
    ItemList list{width, width == 1 ? -128 : -32768, width == 1 ? 255 : 65535, 0, false, 0};
    const char* p = text;
    int error = read_items(p, list, 0);
    if (data_run_count > 0) add_run(list.run_start, uint8_t(data_len - list.run_start), 1, false);
    return error ? error : list.result;
}

// The procedures opened by PROC and not yet closed, innermost last.
constexpr int MAX_OPEN_PROCEDURES = 16;
constexpr char NEAR_LETTER = 'N';
struct OpenProcedures {
    char names[MAX_OPEN_PROCEDURES][sizeof label_field];
    int count;
};
OpenProcedures open_procedures;

int close_procedure() {
    if (!label_field[0]) return ERR_SYNTAX;
    int innermost = open_procedures.count - 1;
    if (innermost < 0 || std::strncmp(open_procedures.names[innermost], label_field, sizeof label_field) != 0) {
        return ERR_SYMBOL_NOT_DEFINED;
    }
    open_procedures.count = innermost;
    return operand_text[0] ? ERR_EXTRA_OPERAND : 0;
}

}  // namespace

int64_t data_image_length() {
    if (data_run_count == 0) return data_len;
    int64_t length = 0;
    for (int i = 0; i < data_run_count; ++i) length += int64_t(data_runs[i].length) * data_runs[i].repeat;
    return length;
}

int emit_data_image() {
    if (data_run_count == 0) return emit_data(data_len);
    for (int i = 0; i < data_run_count; ++i) {
        const DataRun& run = data_runs[i];
        int result = run.reserved ? emit_gap(int64_t(run.length) * run.repeat)
                                  : emit_repeated(data_buf + run.start, run.length, run.repeat);
        if (result < 0) return result;
    }
    return 0;
}

namespace {

// DS, EQU and ORG take one value from the operand parser: they first ask for
// the operands, then decide. A register has no value to take.
int valued_directive(int statement) {
    if (operand_count == 0) return ERR_MISSING_OPERAND;
    if (operand_count == 2) return ERR_EXTRA_OPERAND;
    if (deferred_error) return deferred_error;
    if (dst.kind == KIND_REGISTER || dst.kind == KIND_SEGREG) return ERR_INVALID_OPERAND;
    return statement;
}

}  // namespace

int parse_db_list(char* text) { return parse_data_list(text, 1); }

int parse_dw_list(char* text) { return parse_data_list(text, 2); }

int directive_db(const Mnemonic&) {
    if (int result = parse_db_list(operand_text)) deferred_error = result;
    return STMT_DB;
}

int directive_dw(const Mnemonic&) {
    if (int result = parse_dw_list(operand_text)) deferred_error = result;
    return STMT_DW;
}

int directive_ds(const Mnemonic&) { return valued_directive(STMT_DS); }

int directive_equ(const Mnemonic&) { return valued_directive(STMT_EQU); }

int directive_org(const Mnemonic&) { return valued_directive(STMT_ORG); }

int directive_end(const Mnemonic&) {
    if (open_procedures.count > 0) deferred_error = ERR_SYNTAX;  // a PROC never closed
    return STMT_END;
}

void reset_procedures() { open_procedures.count = 0; }

// NAME PROC or NAME PROC NEAR: NAME is a label like any other. A flat image
// has no far procedures.
int directive_proc(const Mnemonic&) {
    if (!label_field[0]) return ERR_SYNTAX;
    if (open_procedures.count == MAX_OPEN_PROCEDURES) return ERR_SYNTAX;
    std::memcpy(open_procedures.names[open_procedures.count++], label_field, sizeof label_field);
    const char* text = operand_text;
    if (text[0] == SIZE_MARK && text[1] == NEAR_LETTER) text += 2;
    return *text ? ERR_INVALID_OPERAND : 0;
}

// NAME ENDP closes the innermost open procedure, which NAME must be. It
// emits nothing and defines nothing.
int directive_endp(const Mnemonic&) {
    deferred_error = close_procedure();
    return STMT_ENDP;
}

}  // namespace vexa
