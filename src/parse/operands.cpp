// Operand text to operand descriptors.
#include <cstring>

#include "parse/parse.h"

namespace vexa {

Operand dst;
Operand src;
uint8_t operand_count;

namespace {

struct SizeLetter {
    char letter;
    uint8_t size;
};
constexpr SizeLetter size_letters[] = {{'B', SIZE_BYTE}, {'W', SIZE_WORD}, {'D', SIZE_DWORD},
                                       {'N', SIZE_NEAR}, {'F', SIZE_FAR}};

struct RegisterName {
    const char* text;
    uint8_t kind;
    uint8_t size;
    uint8_t code;
};
constexpr RegisterName register_names[] = {
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

// Register names by their two letters: the position in register_names plus
// one, or 0.
struct RegisterIndex {
    uint8_t by_letters[26][26];
};
constexpr RegisterIndex build_register_index() {
    RegisterIndex index{};
    for (int i = 0; i < int(sizeof register_names / sizeof register_names[0]); ++i) {
        index.by_letters[register_names[i].text[0] - 'A'][register_names[i].text[1] - 'A'] = uint8_t(i + 1);
    }
    return index;
}
constexpr RegisterIndex register_index = build_register_index();

// Segment-override prefixes by the first letter of ES:, CS:, SS:, DS:.
uint8_t segment_prefix(char letter) {
    switch (letter) {
        case 'E': return 0x26;
        case 'C': return 0x2E;
        case 'S': return 0x36;
        case 'D': return 0x3E;
        default: return 0;
    }
}

// Base and index registers of a bracketed reference. The pairs are tried
// before the single registers, in the order BX+SI, BX+DI, BP+SI, BP+DI
// (either way round), then SI, DI, BP, BX; each must be followed by +, - or ].
enum BaseIndex : uint8_t { NOT_BASE_INDEX, BX, BP, SI, DI };
constexpr uint8_t pair_rm[5][5] = {
    // second:  -  BX BP SI DI
    {0, 0, 0, 0, 0},  // first: none
    {0, 0, 0, 0, 1},  // BX: BX+SI 0, BX+DI 1
    {0, 0, 0, 2, 3},  // BP: BP+SI 2, BP+DI 3
    {0, 0, 2, 0, 0},  // SI: SI+BX 0, SI+BP 2
    {0, 1, 3, 0, 0},  // DI: DI+BX 1, DI+BP 3
};
constexpr uint8_t single_rm[5] = {0, 7, 6, 4, 5};
constexpr uint8_t RM_BP = 6;      // [BP] alone still needs a displacement byte
constexpr uint8_t RM_DIRECT = 6;  // with mod 0: a direct address

BaseIndex base_index_at(const char* p) {
    if (p[0] == 'B' && p[1] == 'X') return BX;
    if (p[0] == 'B' && p[1] == 'P') return BP;
    if (p[0] == 'S' && p[1] == 'I') return SI;
    if (p[0] == 'D' && p[1] == 'I') return DI;
    return NOT_BASE_INDEX;
}

bool ends_register_part(char c) { return c == '+' || c == '-' || c == ']'; }

bool is_pair(BaseIndex first, BaseIndex second) {
    bool first_is_base = first == BX || first == BP;
    bool second_is_base = second == BX || second == BP;
    return first != NOT_BASE_INDEX && second != NOT_BASE_INDEX && first_is_base != second_is_base;
}

// Reads the base and index registers at `*cursor`: their r/m code, or -1.
int read_base_index(const char** cursor) {
    const char* p = *cursor;
    BaseIndex first = base_index_at(p);
    if (first == NOT_BASE_INDEX) return -1;
    if (p[2] == '+') {
        BaseIndex second = base_index_at(p + 3);
        if (is_pair(first, second) && ends_register_part(p[5])) {
            *cursor = p + 5;
            return pair_rm[first][second];
        }
    }
    if (!ends_register_part(p[2])) return -1;
    *cursor = p + 2;
    return single_rm[first];
}

int32_t negate(int32_t value) { return int32_t(0u - uint32_t(value)); }

// Reads one term (a number, or a symbol when it does not start with a digit).
// A symbol not yet defined reads as `placeholder` in the first pass, with
// `forward` set; in the second pass it is an error.
int read_term(const char** cursor, int32_t* value, int32_t placeholder, bool& forward) {
    forward = false;
    if (is_digit(**cursor)) return parse_number(cursor, value);
    int result = parse_symbol_ref(cursor, value);
    if (result == ERR_SYMBOL_NOT_DEFINED && pass_index == 0) {
        *value = placeholder;
        forward = true;
        return 0;
    }
    return result;
}

// A bracketed memory reference: base and index registers, then one term.
int parse_memory(const char* p, Operand& operand) {
    if (p[std::strlen(p) - 1] != ']') return ERR_SYNTAX;
    ++p;
    operand.kind = KIND_MEMORY;
    bool forward;
    int rm = read_base_index(&p);
    if (rm >= 0) {
        operand.reg = uint8_t(rm);
        if (*p == ']') {
            operand.value = 0;
            operand.mod = operand.reg == RM_BP ? 1 : 0;
            return 0;
        }
        bool minus = *p++ == '-';
        if (int result = read_term(&p, &operand.value, FORWARD_DISPLACEMENT, forward)) return result;
        if (minus && !forward) operand.value = negate(operand.value);
        int32_t v = operand.value;
        operand.mod = (v == 0 && operand.reg != RM_BP) ? 0 : (v >= -128 && v <= 127) ? 1 : 2;
    } else {
        bool minus = *p == '-';
        if (*p == '+' || *p == '-') ++p;
        if (int result = read_term(&p, &operand.value, FORWARD_PLACEHOLDER, forward)) return result;
        if (minus && !forward) operand.value = negate(operand.value);
        operand.reg = RM_DIRECT;
        operand.mod = 0;
    }
    return *p == ']' ? 0 : ERR_SYNTAX;
}

// `$`, `$+n` or `$-n`: the address of the statement's first byte.
int parse_location(const char* p, Operand& operand) {
    operand.kind = KIND_IMMEDIATE;
    operand.reg = IMM_LOCATION;
    ++p;
    if (*p == 0) {
        operand.value = location_counter;
        return 0;
    }
    if (*p != '+' && *p != '-') return ERR_SYNTAX;
    bool minus = *p++ == '-';
    int32_t offset;
    if (int result = parse_number(&p, &offset)) return result;
    uint32_t base = uint32_t(location_counter);
    operand.value = int32_t(minus ? base - uint32_t(offset) : base + uint32_t(offset));
    return 0;
}

// The value after a ':' completes a segment:offset pair.
int parse_pair_offset(const char* p, Operand& operand) {
    int32_t offset;
    bool forward;
    if (int result = read_term(&p, &offset, FORWARD_PLACEHOLDER, forward)) return result;
    operand.value = int32_t((uint32_t(operand.value) << 16) | (uint32_t(offset) & 0xFFFF));
    operand.size = SIZE_DWORD;
    return 0;
}

// A number or a symbol outside brackets: an immediate, or with a size
// keyword a direct memory reference.
int parse_value(const char* p, Operand& operand, bool sized, bool is_signed, bool minus) {
    if (sized) {
        operand.kind = KIND_MEMORY;
        operand.reg = RM_DIRECT;
        operand.mod = 0;
    } else {
        operand.kind = KIND_IMMEDIATE;
        operand.reg = is_digit(*p) ? IMM_NUMBER : IMM_SYMBOL;
    }
    bool forward;
    if (int result = read_term(&p, &operand.value, FORWARD_PLACEHOLDER, forward)) return result;
    if (!is_signed && *p == ':') return parse_pair_offset(p + 1, operand);
    if (minus && !forward) operand.value = negate(operand.value);
    if (!sized) operand.size = fits_byte(operand.value) ? SIZE_BYTE : SIZE_WORD;
    return 0;
}

// The register whose name is the whole of `text`, or null.
const RegisterName* find_register(const char* text) {
    if (!is_upper(text[0]) || !is_upper(text[1]) || text[2]) return nullptr;
    int position = register_index.by_letters[text[0] - 'A'][text[1] - 'A'];
    return position ? &register_names[position - 1] : nullptr;
}

}  // namespace

int split_operands(char* text, const Commas& commas, const char** first, const char** second) {
    *first = text;
    *second = nullptr;
    if (!commas.first) {
        operand_count = text[0] ? 1 : 0;
        return 0;
    }
    *commas.first = 0;
    *second = commas.first + 1;
    operand_count = 1;
    if (commas.second) return ERR_EXTRA_OPERAND;
    if (**second) operand_count = 2;
    return 0;
}

int parse_operand(const char* text, Operand& operand) {
    const char* p = text;
    operand.seg_override = 0;
    if (segment_prefix(p[0]) && p[1] == 'S' && p[2] == ':') {
        operand.seg_override = segment_prefix(p[0]);
        p += 3;
    }

    operand.size = SIZE_NONE;
    bool sized = false;
    if (*p == SIZE_MARK) {
        for (const SizeLetter& mark : size_letters) {
            if (p[1] == mark.letter) {
                operand.size = mark.size;
                sized = true;
            }
        }
        p += p[1] ? 2 : 1;
    }

    if (*p == '[') return parse_memory(p, operand);

    bool is_signed = *p == '+' || *p == '-';
    bool minus = *p == '-';
    if (is_signed) ++p;
    // A segment override may stand only before a bracketed reference.
    if (operand.seg_override) return ERR_SYNTAX;
    if (*p == '$') return parse_location(p, operand);
    if (is_digit(*p)) return parse_value(p, operand, sized, is_signed, minus);
    if (!is_signed) {
        if (const RegisterName* name = find_register(p)) {
            operand.kind = name->kind;
            operand.reg = name->code;
            operand.size = name->size;
            operand.mod = 3;
            return 0;
        }
    }
    return parse_value(p, operand, sized, is_signed, minus);
}

void reset_operands() {
    dst = Operand{};
    src = Operand{};
    operand_count = 0;
}

int parse_operands(char* text) {
    operand_count = 0;
    Commas commas;
    if (int result = check_operand_chars(text, &commas)) return result;
    const char* first;
    const char* second;
    if (int result = split_operands(text, commas, &first, &second)) return result;
    if (operand_count == 0) return 0;
    if (int result = parse_operand(first, dst)) return result;
    if (operand_count == 1) return 0;
    if (int result = parse_operand(second, src)) return result;
    // The displacement of a memory operand is always found in dst.value.
    if (src.kind == KIND_MEMORY) dst.value = src.value;
    return 0;
}

}  // namespace vexa
