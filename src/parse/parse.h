// Source line analysis: splitting a line into label, mnemonic and operand
// text, and turning operand text into operand descriptors.
#pragma once

#include <cstdint>

#include "driver/driver.h"

namespace vexa {

// ---- Character classes (ASCII only; bytes 0x80-0xFF are ordinary) ---------------

constexpr bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool is_letter(char c) { return is_upper(c) || (c >= 'a' && c <= 'z'); }
// Characters that may continue a name: a size keyword must not touch one.
constexpr bool is_name_char(char c) { return is_letter(c) || is_digit(c) || c == '_'; }
constexpr char to_upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// ---- Line splitting ------------------------------------------------------------

enum LineFields : int {
    FIELD_LABEL = 1,
    FIELD_MNEMONIC = 2,
    FIELD_OPERANDS = 4,
};

// Escape byte that starts a size mark in operand_text (ESC followed by B, W,
// D, F, N or O for byte, word, dword, far, near, offset).
constexpr char SIZE_MARK = 0x1B;

constexpr int LABEL_CHARS = 8;
constexpr int MNEMONIC_CHARS = 8;
constexpr int OPERAND_CAPACITY = 128;

extern char line_buffer[LINE_CAPACITY];
extern char label_field[LABEL_CHARS];  // zero-padded key, not a string
extern char mnemonic_field[MNEMONIC_CHARS + 1];
extern char operand_text[OPERAND_CAPACITY];

int split_line();

// ---- Numbers and symbol references ----------------------------------------------

// Each reader moves `*cursor` past what it consumed.
int parse_number(const char** cursor, int32_t* value);
int parse_symbol_ref(const char** cursor, int32_t* value);
int check_operand_chars(const char* text);

// ---- Operands ----------------------------------------------------------------------

enum OperandKind : uint8_t {
    KIND_REGISTER = 0,
    KIND_MEMORY = 1,
    KIND_IMMEDIATE = 2,
    KIND_SEGREG = 3,
};

enum OperandSize : uint8_t {
    SIZE_BYTE = 0,
    SIZE_WORD = 1,
    SIZE_DWORD = 2,
    SIZE_NEAR = 3,
    SIZE_FAR = 4,
    SIZE_NONE = 0xFF,
};

// The reg field of an immediate operand tells where its value came from.
enum ImmediateOrigin : uint8_t {
    IMM_NUMBER = 0,
    IMM_LOCATION = 1,
    IMM_SYMBOL = 2,
};

struct Operand {
    uint8_t seg_override;  // 0 or a prefix byte 0x26, 0x2E, 0x36, 0x3E
    uint8_t kind;          // OperandKind
    uint8_t mod;           // ModRM mod; 3 for registers
    uint8_t size;          // OperandSize
    uint8_t reg;           // register code, r/m code, or ImmediateOrigin
    int32_t value;         // immediate, displacement or direct address
};

extern Operand dst;
extern Operand src;
extern uint8_t operand_count;

// First-pass values of symbols not yet defined.
constexpr int32_t FORWARD_PLACEHOLDER = -1;
constexpr int32_t FORWARD_DISPLACEMENT = -32768;

// Fills operand_count, dst and src from the operand text; writes a zero byte
// over the separating comma.
int parse_operands(char* text);
int split_operands(char* text, const char** first, const char** second);
int parse_operand(const char* text, Operand& operand);

// Clears the operands left by an earlier run.
void reset_operands();

}  // namespace vexa
