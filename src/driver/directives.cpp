// The directives DB, DW, DS, EQU, ORG and END, and the item lists of DB and DW.
#include "driver/driver.h"
#include "encode/encode.h"
#include "parse/parse.h"

namespace vexa {

uint8_t data_buf[DATA_CAPACITY];
uint8_t data_len;

namespace {

bool is_quote(char c) { return c == '\'' || c == '"'; }

// Upper-cases the items that follow a string, which line splitting left as written.
void upper_case_until_quote(char* p) {
    for (; *p && !is_quote(*p); ++p) *p = to_upper(*p);
}

// Reads one numeric item (a sign, then a number or a name) at `*cursor`. A
// name not defined yet reads as `placeholder` in every byte, an error only in
// the second pass.
int read_data_item(const char** cursor, int32_t* value, bool& undefined) {
    bool minus = **cursor == '-';
    if (**cursor == '+' || **cursor == '-') ++*cursor;
    undefined = false;
    int result;
    if (is_digit(**cursor)) {
        result = parse_number(cursor, value);
    } else {
        result = parse_symbol_ref(cursor, value);
        if (result == ERR_SYMBOL_NOT_DEFINED) {
            undefined = true;
            return pass_index == 0 ? 0 : result;
        }
    }
    if (result == 0 && minus) *value = int32_t(0u - uint32_t(*value));
    return result;
}

// Walks a DB or DW item list. `width` is 1 or 2 bytes per numeric item;
// strings are read only for DB. Answers 0 or the last error met.
int parse_data_list(char* text, int width) {
    int result = 0;
    data_len = 0;
    const int32_t low = width == 1 ? -128 : -32768;
    const int32_t high = width == 1 ? 255 : 65535;
    char* p = text;
    while (*p && *p != ';') {
        if (is_blank(*p)) {
            ++p;
            continue;
        }
        if (width == 1 && is_quote(*p)) {
            char quote = *p++;
            for (; *p != quote; ++p) {
                if (!*p) return ERR_INVALID_STRING;
                if (data_len < DATA_CAPACITY) data_buf[data_len++] = uint8_t(*p);
            }
            ++p;
            if (*p == ',') ++p;
            continue;
        }

        if (width == 1) upper_case_until_quote(p);
        const char* item = p;
        int32_t value = 0;
        bool undefined;
        int error = read_data_item(&item, &value, undefined);
        if (error && !undefined) return error;  // a number that cannot be read ends the list
        if (item == p && *item != ',') {
            // Nothing here begins an item: the list ends.
            return pass_index == 0 ? result : ERR_SYMBOL_NOT_DEFINED;
        }
        if (error) result = error;
        if (undefined) value = -1;
        if (!undefined && (value < low || value > high)) result = ERR_ILLEGAL_SIZE;
        if (data_len + width > DATA_CAPACITY) return ERR_ILLEGAL_SIZE;
        data_buf[data_len++] = uint8_t(value);
        if (width == 2) data_buf[data_len++] = uint8_t(value >> 8);
        p = const_cast<char*>(item);
        if (*p == ',') ++p;
    }
    return result;
}

// DS, EQU and ORG take their value from the operand parser: they first ask
// for the operands, then decide.
int valued_directive(int statement) { return operand_count == 0 ? ERR_MISSING_OPERAND : statement; }

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

int directive_ds(const Mnemonic&) { return operand_count == 2 ? ERR_EXTRA_OPERAND : valued_directive(STMT_DS); }

int directive_equ(const Mnemonic&) { return valued_directive(STMT_EQU); }

int directive_org(const Mnemonic&) { return valued_directive(STMT_ORG); }

int directive_end(const Mnemonic&) { return STMT_END; }

}  // namespace vexa
