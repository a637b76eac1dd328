// Source line analysis: splitting a line into label, mnemonic and operand
// text, and turning operand text into operand descriptors.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "driver/driver.h"

namespace vexa {

struct Statement;

// ---- Character classes (ASCII only; bytes 0x80-0xFF are ordinary) ---------------

enum CharClass : uint8_t {
    CHAR_BLANK = 1,       // space, tab, LF, VT, FF, CR
    CHAR_DIGIT = 2,       // 0-9
    CHAR_UPPER = 4,       // A-Z
    CHAR_LOWER = 8,       // a-z
    CHAR_UNDERSCORE = 16,
    CHAR_SIZE_KEYWORD = 32,  // first letter of byte, dword, word, far, near, offset, short
    CHAR_NAME_MARK = 64,     // @ ? $ . : in names besides letters, digits and _
};

struct CharClasses {
    uint8_t of[256];
};
constexpr CharClasses build_char_classes() {
    CharClasses classes{};
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) classes.of[uint8_t(c)] = CHAR_BLANK;
    for (int c = '0'; c <= '9'; ++c) classes.of[c] = CHAR_DIGIT;
    for (int c = 'A'; c <= 'Z'; ++c) classes.of[c] = CHAR_UPPER;
    for (int c = 'a'; c <= 'z'; ++c) classes.of[c] = CHAR_LOWER;
    classes.of[uint8_t('_')] = CHAR_UNDERSCORE;
    for (char c : {'@', '?', '$', '.'}) classes.of[uint8_t(c)] = CHAR_NAME_MARK;
    for (char c : {'B', 'D', 'W', 'F', 'N', 'O', 'S', 'b', 'd', 'w', 'f', 'n', 'o', 's'}) {
        classes.of[uint8_t(c)] |= CHAR_SIZE_KEYWORD;
    }
    return classes;
}
inline constexpr CharClasses char_classes = build_char_classes();

constexpr bool has_class(char c, uint8_t classes) { return (char_classes.of[uint8_t(c)] & classes) != 0; }
constexpr bool is_blank(char c) { return has_class(c, CHAR_BLANK); }
constexpr bool is_digit(char c) { return has_class(c, CHAR_DIGIT); }
constexpr bool is_upper(char c) { return has_class(c, CHAR_UPPER); }
constexpr bool is_letter(char c) { return has_class(c, CHAR_UPPER | CHAR_LOWER); }
// Characters that may continue a name: a size keyword must not touch one.
// A name begins with `.` (a local label), `@`, `?`, `_` or a letter, or
// with `$` before a letter: $AX is the name AX, never the register.
constexpr uint8_t CHAR_NAME = CHAR_DIGIT | CHAR_UPPER | CHAR_LOWER | CHAR_UNDERSCORE | CHAR_NAME_MARK;
constexpr bool is_name_char(char c) { return has_class(c, CHAR_NAME); }
constexpr char to_upper(char c) { return has_class(c, CHAR_LOWER) ? char(c - 'a' + 'A') : c; }
// A string or character constant begins with a quote: ' or ", or ` (NASM's,
// whose text holds escapes: `\r\n`).
constexpr bool is_quote(char c) { return c == '\'' || c == '"' || c == '`'; }

// A value that a byte can hold, signed or unsigned: -128 to 255.
constexpr bool fits_byte(int32_t value) { return value >= -128 && value <= 255; }

// ---- Line splitting ------------------------------------------------------------

enum LineFields : int {
    FIELD_LABEL = 1,
    FIELD_MNEMONIC = 2,
    FIELD_OPERANDS = 4,
    // The word in the label's place can name no label (Statement::label_error).
    FIELD_LABEL_ERROR = 8,
};

// Escape byte that starts a size mark in operand_text (ESC followed by B, W,
// D, F, N, O or S for byte, word, dword, far, near, offset, short).
constexpr char SIZE_MARK = 0x1B;
// The size keywords, which the splitter turns into size marks: no two
// begin with the same letter, the letter of their mark.
inline constexpr const char* size_keywords[] = {"BYTE", "DWORD", "WORD", "FAR", "NEAR", "OFFSET", "SHORT"};

// A label may take the whole line.
constexpr int LABEL_CAPACITY = LINE_CAPACITY;
constexpr int MNEMONIC_CHARS = 8;
constexpr int OPERAND_CAPACITY = LINE_CAPACITY;  // a size mark is never longer than its keyword
// Room beyond a buffer's capacity, so that a 16-byte load or store that
// begins inside it stays inside the array.
constexpr int SCAN_PADDING = 16;

// Splits the line in the statement's line_buffer, whose marks read_line
// found as it copied the line. A statement with a zero byte outside its
// strings and comment answers FIELD_MNEMONIC with an empty mnemonic field,
// which no mnemonic matches.
int split_line(Statement& s, const LineMarks& marks);
// The same for a line_buffer filled otherwise.
int split_line(Statement& s);

// ---- Numbers and symbol references ----------------------------------------------

// The readers of this subsystem read up to sixteen bytes beyond any
// character of their text: it must have room for that after its terminator,
// as every buffer of a Statement has (SCAN_PADDING).

// The quote that closes the string or character constant opened at `open`,
// before `end`, or null. In backquotes a `\` takes the character after it.
const char* closing_quote(const char* open, const char* end);
// The bytes of the string opened at `open` and closed at `close`, stored at
// `out`: backquoted text with its escapes undone. Answers how many, or
// ERR_ILLEGAL_SIZE when there are more than `room` or an octal escape
// passes 377, ERR_INVALID_CHARACTER at an escape NASM reserves or one
// without its digits.
int string_bytes(const char* open, const char* close, uint8_t* out, int room);
// The same bytes as text: 0, or the escape's error.
int string_text(const char* open, const char* close, std::string& text);

// Each reader moves `*cursor` past what it consumed.
int parse_number(const char** cursor, int32_t* value);
// The hexadecimal digits at the cursor (after a `$`: $0F), `_` among them.
int parse_hex_digits(const char** cursor, int32_t* value);
// Looks the name at the cursor up: a local label (.NAME, @@NAME) by its
// owner's name, @F and @B as the next and the last anonymous label (@@:).
// `kind`, when given, receives the symbol's SymbolKind (0 when not found). A name not (yet) defined, or one whose
// value a later pass may change, marks the statement as guessed in the
// first pass (see Statement::first_pass_guess).
int parse_symbol_ref(Statement& s, const char** cursor, int32_t* value, uint8_t* kind = nullptr,
                     int* found_at = nullptr);
// A local label (.NAME, not ..NAME; @@NAME) or an anonymous one (@@).
constexpr bool is_local_label(const char* name) {
    return (name[0] == '.' && name[1] != '.') || (name[0] == '@' && name[1] == '@');
}
// The full name of a local or anonymous label written `name` (upper case):
// OWNER.NAME, OWNER@@NAME, or the anonymous label's own. Answers its
// length, `name`'s own for any other name, or 0 when a local label has no
// owner or the full name is too long. @@ is the last anonymous label, as
// @B is: the driver counts a new one before it names it. `full` holds
// SYMBOL_NAME_LIMIT + 1 characters.
int full_label_name(const Statement& s, const char* name, int length, char* full);
// 0, or ERR_INVALID_CHARACTER at a character operands never contain. The
// first two commas are noted in `commas` when it is given (null if none).
struct Commas {
    char* first;
    char* second;
};
int check_operand_chars(const char* text, Commas* commas = nullptr);
// The same check for text that holds character constants, ending at `end`:
// whatever stands between two quotes passes, and commas there do not
// separate operands.
int check_quoted_operand_chars(const char* text, const char* end, Commas* commas);

// ---- Expressions -------------------------------------------------------------------

// The base and index registers that a [...] group may add up.
enum BaseIndex : uint8_t { NO_BASE_INDEX, BASE_BX, BASE_BP, INDEX_SI, INDEX_DI };

// What an expression reader found. The origin is IMM_SYMBOL when a name took
// part, else IMM_LOCATION when `$` did, else IMM_NUMBER.
struct Expression {
    int32_t value;
    uint8_t origin;   // ImmediateOrigin
    bool unresolved;  // a name is not defined (yet): the value is unknown
    bool bracketed;   // a [...] group was read: a memory operand
    uint8_t seg_override;  // written first inside the brackets: [ES:DI]
    uint8_t register_count;
    BaseIndex registers[2];  // in the order written
    uint8_t names;          // names read, up to 2
    uint8_t variable_kind;  // the SymbolKind of the last name read
    // A number from 80000000H up took part, not negated: the value is that
    // positive number (a quadword holds it zero-extended).
    bool beyond_int32;
    // Addresses added less those subtracted (L2-L1 is a number, L+2 an
    // address); any other operator on an address leaves an address.
    int8_t addresses;
    // In a program of MASM's segments: the segment of the last address
    // named (its index in Assembly::segments) plus one, or 0; and whether
    // the value is a segment's (SEG X, a segment's or a group's name), whose
    // frame plus one `frame_mark` then is: the loader adds the program's
    // segment to it.
    uint16_t frame_mark;
    bool segment_value;
};

// Reads a constant expression in the statement's text: the operators of
// both families (+ - * / % MOD SHL << AND & EQ == NOT ~ HIGH LOW ...) and
// parentheses over numbers, names, `$` and character constants. Stops at the
// first character that cannot continue it; a name not defined is no error
// here (see `unresolved`).
int parse_expression(Statement& s, const char** cursor, Expression& result);
// The same for an operand, which may also add [...] groups of base and index
// registers to its terms: TABLE[BX], [BX+SI+4], [BX][SI].
int parse_operand_value(Statement& s, const char** cursor, Expression& result);

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
    SIZE_SHORT = 5,  // a jump target that must be reached with an 8-bit displacement
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
    // A memory operand whose address names one typed variable: its size,
    // taken where nothing else gives one (SIZE_NONE otherwise).
    uint8_t variable_size;
    uint8_t value_marks;   // ValueMark bits
    int32_t value;         // immediate, displacement or direct address
    // In a program of MASM's segments: the segment of the address it names
    // (memory, a jump's target), or the frame of a segment value; NO_FRAME
    // for none.
    int16_t frame = -1;
};

// What an operand's value is besides its number.
enum ValueMark : uint8_t {
    VALUE_ADDRESS = 1,  // an address (a label, `$`), not a number: NASM keeps its word form
    VALUE_STATED = 2,   // an immediate a size keyword sized (NASM's conventions)
    VALUE_SEGMENT = 4,  // a segment's value: the loader relocates it
    VALUE_FAR = 8,      // names a far label or procedure (MASM's conventions)
    VALUE_CODE = 16,    // names a code label or procedure (MASM's conventions)
    VALUE_UNREACHED = 32,  // a variable no segment register reaches (MASM's conventions)
    VALUE_STRICT = 64,     // STRICT before the size keyword: the size is kept (NASM's conventions)
};
// No segment, or no frame: a number, or a name outside MASM's segments.
constexpr int16_t NO_FRAME = -1;
constexpr bool is_address_value(const Operand& operand) { return operand.value_marks & VALUE_ADDRESS; }

// The registers by name: byte and word registers with their codes, then
// the segment registers.
struct RegisterName {
    const char* text;
    uint8_t kind;
    uint8_t size;
    uint8_t code;
};
inline constexpr RegisterName register_names[] = {
    {"AL", KIND_REGISTER, SIZE_BYTE, 0}, {"CL", KIND_REGISTER, SIZE_BYTE, 1},
    {"DL", KIND_REGISTER, SIZE_BYTE, 2}, {"BL", KIND_REGISTER, SIZE_BYTE, 3},
    {"AH", KIND_REGISTER, SIZE_BYTE, 4}, {"CH", KIND_REGISTER, SIZE_BYTE, 5},
    {"DH", KIND_REGISTER, SIZE_BYTE, 6}, {"BH", KIND_REGISTER, SIZE_BYTE, 7},
    {"AX", KIND_REGISTER, SIZE_WORD, 0}, {"CX", KIND_REGISTER, SIZE_WORD, 1},
    {"DX", KIND_REGISTER, SIZE_WORD, 2}, {"BX", KIND_REGISTER, SIZE_WORD, 3},
    {"SP", KIND_REGISTER, SIZE_WORD, 4}, {"BP", KIND_REGISTER, SIZE_WORD, 5},
    {"SI", KIND_REGISTER, SIZE_WORD, 6}, {"DI", KIND_REGISTER, SIZE_WORD, 7},
    {"ES", KIND_SEGREG, SIZE_WORD, 0},   {"CS", KIND_SEGREG, SIZE_WORD, 1},
    {"SS", KIND_SEGREG, SIZE_WORD, 2},   {"DS", KIND_SEGREG, SIZE_WORD, 3},
};

// The r/m code that, with mod 0, is a direct address.
constexpr uint8_t RM_DIRECT = 6;
// A memory operand addressed through BP, which SS is the segment of by default.
constexpr bool addresses_stack(const Operand& memory) {
    return memory.reg == 2 || memory.reg == 3 || (memory.reg == RM_DIRECT && memory.mod != 0);
}

// First-pass values of symbols not yet defined.
constexpr int32_t FORWARD_PLACEHOLDER = -1;
constexpr int32_t FORWARD_DISPLACEMENT = -32768;

// Fills operand_count, dst and src from the statement's operand text;
// writes a zero byte over the separating comma.
int parse_operands(Statement& s);
// Cuts the text at the first of `commas` (from check_operand_chars).
int split_operands(Statement& s, char* text, const Commas& commas, const char** first, const char** second);
int parse_operand(Statement& s, const char* text, Operand& operand);
// The segment-override prefix byte when `text` begins with ES:, CS:, SS: or DS:, else 0.
uint8_t segment_override_at(const char* text);

}  // namespace vexa
