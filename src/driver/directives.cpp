// The directives DB, DW, DS, EQU, ORG and END, and the item lists of DB and DW.
#include "driver/driver.h"
#include "encode/encode.h"
#include "parse/parse.h"

namespace vexa {

uint8_t data_buf[DATA_CAPACITY];
uint8_t data_len;

namespace {

bool is_operator(char c) { return c == '+' || c == '-' || c == '*' || c == '/'; }

// A string of one character followed by an operator is a character constant
// that begins an expression ('A'+1); any other string is a string item.
bool is_character_expression(const char* p) { return p[1] && p[2] == p[0] && is_operator(p[3]); }

// Stores a DB string's characters as they are; answers false when it is not closed.
bool read_string(const char*& p) {
    char quote = *p++;
    for (; *p != quote; ++p) {
        if (!*p) return false;
        if (data_len < DATA_CAPACITY) data_buf[data_len++] = uint8_t(*p);
    }
    ++p;
    return true;
}

// Reads one numeric item, up to the comma or end that must follow it. An
// empty item, or a name not defined yet, reads as `unresolved`.
int read_data_item(const char*& p, int32_t& value, bool& unresolved) {
    unresolved = *p == ',';
    if (unresolved) return 0;
    Expression item;
    if (int result = parse_expression(&p, item)) return result;
    if (*p && *p != ',') return ERR_SYNTAX;
    value = item.value;
    unresolved = item.unresolved;
    return 0;
}

// Walks a DB or DW item list. `width` is 1 or 2 bytes per numeric item;
// strings are read only for DB. Answers 0 or the last error met; an item
// that cannot be read ends the list.
int parse_data_list(char* text, int width) {
    int result = 0;
    data_len = 0;
    const int32_t low = width == 1 ? -128 : -32768;
    const int32_t high = width == 1 ? 255 : 65535;
    const char* p = text;
    while (*p) {
        if (width == 1 && is_quote(*p) && !is_character_expression(p)) {
            if (!read_string(p)) return ERR_INVALID_STRING;
            if (*p == ',') ++p;  // a string needs no comma after it
            continue;
        }
        int32_t value = 0;
        bool unresolved;
        if (int error = read_data_item(p, value, unresolved)) return error;
        if (unresolved) {
            // Every byte of a name not defined yet is FF; an error only in the second pass.
            value = -1;
            if (pass_index == 1) result = ERR_SYMBOL_NOT_DEFINED;
        } else if (value < low || value > high) {
            result = ERR_ILLEGAL_SIZE;  // the low bits are still stored
        }
        if (data_len + width > DATA_CAPACITY) return ERR_ILLEGAL_SIZE;
        data_buf[data_len++] = uint8_t(value);
        if (width == 2) data_buf[data_len++] = uint8_t(value >> 8);
        if (*p == ',') ++p;
    }
    return result;
}

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

int directive_end(const Mnemonic&) { return STMT_END; }

}  // namespace vexa
