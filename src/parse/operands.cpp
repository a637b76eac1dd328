// Operand text to operand descriptors.
#include <cstring>

#include "driver/assembly.h"
#include "encode/encode.h"
#include "isa/forms.h"
#include "parse/parse.h"

namespace vexa {

namespace {

struct SizeLetter {
    char letter;
    uint8_t size;
};
constexpr SizeLetter size_letters[] = {{'B', SIZE_BYTE}, {'W', SIZE_WORD}, {'D', SIZE_DWORD},
                                       {'N', SIZE_NEAR}, {'F', SIZE_FAR}};
constexpr char SHORT_LETTER = 'S';
constexpr char OFFSET_LETTER = 'O';

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

// Segment-override prefixes by the first letter of ES:, CS:, SS:, DS:, 0
// for any other byte: a table, as every operand's first byte is looked up.
struct SegmentPrefixes {
    uint8_t of[256];
};
constexpr SegmentPrefixes build_segment_prefixes() {
    SegmentPrefixes prefixes{};
    prefixes.of[uint8_t('E')] = opcode_of("SEG ES");
    prefixes.of[uint8_t('C')] = opcode_of("SEG CS");
    prefixes.of[uint8_t('S')] = opcode_of("SEG SS");
    prefixes.of[uint8_t('D')] = opcode_of("SEG DS");
    return prefixes;
}
constexpr SegmentPrefixes segment_prefixes = build_segment_prefixes();

uint8_t segment_prefix(char letter) { return segment_prefixes.of[uint8_t(letter)]; }

// The r/m code of the base and index registers of a memory operand: a pair
// is one of BX or BP with one of SI or DI, in either order.
constexpr int8_t pair_rm[5][5] = {
    // second:  -   BX  BP  SI  DI
    {-1, -1, -1, -1, -1},  // first: none
    {-1, -1, -1, 0, 1},    // BX: BX+SI 0, BX+DI 1
    {-1, -1, -1, 2, 3},    // BP: BP+SI 2, BP+DI 3
    {-1, 0, 2, -1, -1},    // SI: SI+BX 0, SI+BP 2
    {-1, 1, 3, -1, -1},    // DI: DI+BX 1, DI+BP 3
};
constexpr int8_t single_rm[5] = {-1, 7, 6, 4, 5};
constexpr uint8_t RM_BP = 6;      // [BP] alone still needs a displacement byte

// The r/m code of what a memory operand's brackets named, or -1 when the
// 8086 has no such combination ([BX+BP], [SI+DI], [BX+BX]).
int rm_of(const Expression& memory) {
    if (memory.register_count == 1) return single_rm[memory.registers[0]];
    return pair_rm[memory.registers[0]][memory.registers[1]];
}

// A value that uses a name not defined yet takes the placeholder in the first
// pass; in a later pass the name is an error and the value 0.
int resolved_value(const Statement& s, const Expression& value, int32_t placeholder, int32_t& result) {
    bool first_pass = s.pass.pass_index == 0;
    result = value.unresolved ? (first_pass ? placeholder : 0) : value.value;
    return value.unresolved && !first_pass ? ERR_SYMBOL_NOT_DEFINED : 0;
}

// The segment (or a segment value's frame) an expression names, or NO_FRAME.
int16_t frame_named(const Expression& value) { return value.frame_mark ? int16_t(value.frame_mark - 1) : NO_FRAME; }

// The size of the one typed variable an address names, or SIZE_NONE.
uint8_t variable_size_of(const Expression& address) {
    if (address.names != 1) return SIZE_NONE;
    switch (variable_type(address.variable_kind)) {
        case 1: return SIZE_BYTE;
        case 2: return SIZE_WORD;
        case 4: return SIZE_DWORD;
        default: return SIZE_NONE;
    }
}

// The mod of a displacement under the shortest forms: a byte whenever the
// 16-bit value fits one, none for 0 (but with BP), a word for a name not
// known yet (as NASM first takes it) and under NASM's conventions for an address.
uint8_t shortest_mod(const Statement& s, const Expression& memory, const Operand& operand) {
    if (memory.unresolved) return 2;
    if ((s.long_forms && memory.origin != IMM_NUMBER) || (is_address_value(operand) && s.assembly.conventions.nasm)) {
        return 2;
    }
    int32_t v = int16_t(uint16_t(operand.value));
    if (v == 0 && operand.reg != RM_BP) return 0;
    return v >= -128 && v <= 127 ? 1 : 2;
}

// A memory operand from its brackets' registers and its terms' sum.
int complete_memory(const Statement& s, const Expression& memory, Operand& operand) {
    if (memory.seg_override) {
        if (operand.seg_override) return ERR_SYNTAX;  // ES:[CS:BX]
        operand.seg_override = memory.seg_override;
    }
    operand.kind = KIND_MEMORY;
    operand.reg = RM_DIRECT;
    operand.mod = 0;
    operand.variable_size = variable_size_of(memory);
    if (memory.frame_mark) [[unlikely]] {
        operand.frame = frame_named(memory);
        if (memory.segment_value) return ERR_INVALID_OPERAND;  // a segment's value is no address
    }
    if (memory.register_count == 0) return resolved_value(s, memory, FORWARD_PLACEHOLDER, operand.value);
    int rm = rm_of(memory);
    if (rm < 0) return ERR_SYNTAX;
    operand.reg = uint8_t(rm);
    int result = resolved_value(s, memory, FORWARD_DISPLACEMENT, operand.value);
    int32_t v = operand.value;
    operand.value_marks = memory.addresses != 0 ? VALUE_ADDRESS : 0;
    if (s.assembly.conventions.shortest) {
        operand.mod = shortest_mod(s, memory, operand);
        return result;
    }
    // A name not defined takes a word displacement in every pass, so that
    // the instruction keeps its length when a later pass reports it; so does
    // one from a name where lengths must not shrink.
    if (memory.unresolved || (s.long_forms && memory.origin == IMM_SYMBOL) ||
        (memory.addresses != 0 && s.assembly.conventions.masm)) {
        operand.mod = 2;  // MASM keeps a variable's offset in a word
    } else {
        operand.mod = (v == 0 && operand.reg != RM_BP) ? 0 : (v >= -128 && v <= 127) ? 1 : 2;
    }
    return result;
}

// The value after a ':' completes a segment:offset pair, an immediate of
// its own size that only a far jump or call takes (the pass driver checks).
int complete_pair(Statement& s, const char* p, Operand& operand) {
    Expression offset;
    if (int result = parse_expression(s, &p, offset)) return result;
    if (*p) return ERR_SYNTAX;
    int32_t offset_value;
    int result = resolved_value(s, offset, FORWARD_PLACEHOLDER, offset_value);
    operand.value = int32_t((uint32_t(operand.value) << 16) | (uint32_t(offset_value) & 0xFFFF));
    operand.size = SIZE_DWORD;
    s.segment_pair_named = true;
    return result;
}

// A value outside brackets: an immediate, or with a size keyword or a
// segment override a direct memory reference (WORD PTR $ is the word stored
// at $, DS:VAR the word at VAR). A segment:offset pair is no address in memory.
// Inlined: every operand that is not a register alone or a [...] passes here.
[[gnu::always_inline]] inline int complete_value(Statement& s, const Expression& value, const char* rest,
                                                 Operand& operand, bool sized, bool stated = false) {
    operand.value_marks = uint8_t((value.addresses != 0 ? VALUE_ADDRESS : 0) | (stated ? VALUE_STATED : 0));
    if (value.frame_mark) [[unlikely]] {
        operand.frame = frame_named(value);
        // A segment's value is a word, which the loader relocates.
        if (value.segment_value) operand.value_marks |= VALUE_SEGMENT;
        if (value.segment_value && sized) return ERR_INVALID_OPERAND;
    }
    if (sized) {
        operand.kind = KIND_MEMORY;
        operand.reg = RM_DIRECT;
        operand.mod = 0;
        operand.variable_size = variable_size_of(value);
    } else {
        operand.kind = KIND_IMMEDIATE;
        operand.reg = value.origin;
    }
    if (*rest && *rest != ':') return ERR_SYNTAX;
    if (sized && *rest == ':') {
        s.segment_pair_named = true;
        return ERR_INVALID_OPERAND;
    }
    if (int result = resolved_value(s, value, FORWARD_PLACEHOLDER, operand.value)) return result;
    if (*rest == ':') return complete_pair(s, rest + 1, operand);
    // An immediate is sized by its value; `$` alone by a keyword only.
    if (!sized && !stated && value.origin != IMM_LOCATION) operand.size = fits_byte(operand.value) ? SIZE_BYTE : SIZE_WORD;
    if (value.segment_value) [[unlikely]] operand.size = SIZE_WORD;
    return 0;
}

// The register whose name is the whole of `text`, or null.
[[gnu::always_inline]] inline const RegisterName* find_register(const char* text) {
    if (!is_upper(text[0]) || !is_upper(text[1]) || text[2]) return nullptr;
    int position = register_index.by_letters[text[0] - 'A'][text[1] - 'A'];
    return position ? &register_names[position - 1] : nullptr;
}

// SHORT before a jump's target: the value stays an immediate, marked to be
// reached with an 8-bit displacement. Registers, memory and far pointers
// have no short form.
int complete_short_target(Statement& s, const char* p, Operand& operand) {
    if (find_register(p) || *p == '[') return ERR_INVALID_OPERAND;
    Expression target;
    if (int result = parse_expression(s, &p, target)) return result;
    if (*p == ':' || operand.seg_override) return ERR_INVALID_OPERAND;
    if (*p) return ERR_SYNTAX;
    operand.kind = KIND_IMMEDIATE;
    operand.reg = target.origin;
    operand.size = SIZE_SHORT;
    return resolved_value(s, target, FORWARD_PLACEHOLDER, operand.value);
}

}  // namespace

uint8_t segment_override_at(const char* text) {
    uint8_t prefix = segment_prefix(text[0]);
    return prefix && text[1] == 'S' && text[2] == ':' ? prefix : 0;
}

int split_operands(Statement& s, char* text, const Commas& commas, const char** first, const char** second) {
    *first = text;
    *second = nullptr;
    if (!commas.first) {
        s.operand_count = text[0] ? 1 : 0;
        return 0;
    }
    *commas.first = 0;
    *second = commas.first + 1;
    s.operand_count = 1;
    if (commas.second) return ERR_EXTRA_OPERAND;
    if (!**second) return ERR_SYNTAX;  // a comma after the last operand
    s.operand_count = 2;
    return 0;
}

namespace {

int complete_masm_value(Statement& s, const Expression& value, const char* rest, Operand& operand, bool sized);

// DGROUP:MSG, DATA:MSG under MASM's conventions: MSG, its offset counted
// in the frame named before the colon.
[[gnu::noinline]] int qualify_frame(Statement& s, Expression& value, const char*& p) {
    const char* q = p + 1;
    Expression target;
    if (int result = parse_expression(s, &q, target)) return result;
    if (!target.unresolved) {
        if (!target.frame_mark || target.segment_value) return ERR_INVALID_OPERAND;
        int16_t frame = int16_t(value.frame_mark - 1);
        if (int error = offset_in_frame(s.assembly, target.frame_mark - 1, frame, target.value)) return error;
    }
    value = target;
    p = q;
    return 0;
}

// NASM's STRICT before a size keyword (PUSH STRICT WORD 5): the length
// of STRICT and its blank, or 0.
int strict_length(const Statement& s, const char* p) {
    if (!s.assembly.conventions.nasm || std::strncmp(p, "STRICT", 6) != 0) return 0;
    int length = p[6] == ' ' ? 7 : 6;
    return p[length] == SIZE_MARK ? length : 0;
}

int strict_operand(Statement& s, const char* text, Operand& operand, int length);

// Everything but a register alone.
[[gnu::noinline]] int parse_other_operand(Statement& s, const char* text, Operand& operand) {
    const char* p = text;
    // What a faulty operand leaves unwritten stays the immediate 0, the same
    // in every pass.
    operand = Operand{0, KIND_IMMEDIATE, operand.mod, SIZE_NONE, IMM_NUMBER, SIZE_NONE, 0, 0};
    if (uint8_t prefix = segment_override_at(p)) {
        operand.seg_override = prefix;
        p += 3;
    }

    bool sized = false;
    bool offset = false;
    bool short_target = false;
    if (*p == SIZE_MARK) {
        for (const SizeLetter& mark : size_letters) {
            if (p[1] == mark.letter) {
                operand.size = mark.size;
                sized = true;
            }
        }
        offset = p[1] == OFFSET_LETTER;
        short_target = p[1] == SHORT_LETTER;
        p += p[1] ? 2 : 1;
        // The size may come before the override: BYTE PTR ES:[BX].
        if (uint8_t prefix = operand.seg_override ? 0 : segment_override_at(p)) {
            operand.seg_override = prefix;
            p += 3;
        }
    }
    if (short_target) {
        s.short_target_named = true;
        return complete_short_target(s, p, operand);
    }

    if (const RegisterName* name = find_register(p)) {
        if (operand.seg_override) return ERR_SYNTAX;  // an override stands only before memory
        operand.kind = name->kind;
        operand.reg = name->code;
        operand.size = name->size;
        operand.mod = 3;
        return 0;
    }
    const char* start = p;
    Expression value;
    if (int result = parse_operand_value(s, &p, value)) return result;
    if (value.segment_value && *p == ':' && !value.bracketed && s.assembly.conventions.masm) [[unlikely]] {
        if (int result = qualify_frame(s, value, p)) return result;
    }
    if (!value.bracketed) {
        // A word before a size keyword: NASM's STRICT, read only then.
        if (*p == ' ' && p == text + 6) [[unlikely]] {
            if (int length = strict_length(s, text)) return strict_operand(s, text, operand, length);
        }
        // An override makes a name or number an address: DS:VAR.
        if (operand.seg_override && offset) return ERR_SYNTAX;
        if (s.assembly.conventions.masm && !offset) [[unlikely]] return complete_masm_value(s, value, p, operand, sized);
        // Under NASM's conventions a size keyword sizes the value (PUSH WORD 5, JMP NEAR X).
        bool stated = sized && !operand.seg_override && s.assembly.conventions.nasm;
        return complete_value(s, value, p, operand, (sized && !stated) || operand.seg_override, stated);
    }
    // OFFSET TABLE[BX] has no value to take the offset of.
    if (*p || (offset && *start != '[')) return ERR_SYNTAX;
    return complete_memory(s, value, operand);
}

// The operand after STRICT, its size kept.
int strict_operand(Statement& s, const char* text, Operand& operand, int length) {
    int result = parse_other_operand(s, text + length, operand);
    if (operand.value_marks & VALUE_STATED) operand.value_marks |= VALUE_STRICT;
    return result;
}

// Under MASM's conventions a variable is memory (MOV AX,NUM loads the word,
// OFFSET NUM is its address); a code label is a jump's or a call's target,
// FAR PTR or NEAR PTR before one a direct transfer.
[[gnu::noinline]] int complete_masm_value(Statement& s, const Expression& value, const char* rest, Operand& operand,
                                          bool sized) {
    bool variable = value.names == 1 && variable_type(value.variable_kind) != 0 && value.addresses != 0;
    bool code = value.names == 1 && is_code_kind(value.variable_kind) && value.addresses != 0;
    bool transfer = s.mnemonic && (takes_far_target(*s.mnemonic) || takes_short_target(*s.mnemonic));
    bool distance = operand.size == SIZE_NEAR || operand.size == SIZE_FAR;
    uint8_t code_marks = code ? uint8_t(VALUE_CODE | (is_far_kind(value.variable_kind) ? VALUE_FAR : 0)) : 0;
    int result;
    if (code && sized && distance && !operand.seg_override) {
        if (!transfer) {
            operand.value_marks = code_marks;
            return ERR_INVALID_OPERAND;
        }
        uint8_t size = operand.size;
        result = complete_value(s, value, rest, operand, false);
        operand.size = size;
    } else if (variable && variable_type(value.variable_kind) == 8 && !sized) {
        s.refused_operand = &operand == &s.src ? 1 : 0;
        result = complete_value(s, value, rest, operand, true);
        return result ? result : ERR_ILLEGAL_SIZE;  // no instruction takes a quadword
    } else if (variable || sized || operand.seg_override) {
        result = complete_value(s, value, rest, operand, true);
    } else if (code && !transfer && s.mnemonic && !is_directive(*s.mnemonic)) {
        // A code label's value is its address only after OFFSET, or as a target.
        s.refused_operand = &operand == &s.src ? 1 : 0;
        operand.value_marks = code_marks;
        return ERR_INVALID_OPERAND;
    } else {
        result = complete_value(s, value, rest, operand, false);
    }
    operand.value_marks |= code_marks;
    return result;
}

}  // namespace

// A register alone, the most common operand, is read without the rest.
int parse_operand(Statement& s, const char* text, Operand& operand) {
    if (const RegisterName* name = find_register(text)) {
        operand = Operand{0, name->kind, 3, name->size, name->code, SIZE_NONE, 0, 0};
        return 0;
    }
    return parse_other_operand(s, text, operand);
}

namespace {

// A memory operand naming one typed variable takes its size where nothing
// else gives one: no size keyword, and beside it an immediate or nothing (a
// register decides; two memory operands stay unsized, as no instruction
// takes them).
void take_variable_size(Operand& operand, const Operand& other, bool two) {
    if (operand.kind != KIND_MEMORY || operand.size != SIZE_NONE || operand.variable_size == SIZE_NONE) return;
    if (two && other.kind != KIND_IMMEDIATE) return;
    operand.size = operand.variable_size;
}

// A register and a variable of another size, without a PTR to say so:
// MOV AX,BYTEVAR. A shift's count in CL, LEA, LDS and LES, BOUND's pair and
// the port of INS and OUTS take any.
bool sizes_differ(const Statement& s, const Operand& memory, const Operand& other) {
    if (memory.kind != KIND_MEMORY || memory.size != SIZE_NONE || memory.variable_size == SIZE_NONE) return false;
    if (other.kind != KIND_REGISTER && other.kind != KIND_SEGREG) return false;
    if (!s.mnemonic) return other.size != memory.variable_size;
    MnemonicHandler handler = s.mnemonic->handler;
    bool port_string = handler == string_operands &&
                       (s.mnemonic->opcode == opcode_of("INS m8,DX") || s.mnemonic->opcode == opcode_of("OUTS DX,m8"));
    if (handler == encode_shift || handler == load_address || handler == bound_instruction || port_string) return false;
    return other.size != memory.variable_size;
}

// MASM's checks of what was read: sizes, segment values only where MOV,
// PUSH or a directive takes them, and the override ASSUME gives a variable.
[[gnu::noinline]] int check_masm_operands(Statement& s) {
    bool two = s.operand_count == 2;
    if (two && (sizes_differ(s, s.dst, s.src) || sizes_differ(s, s.src, s.dst))) {
        s.refused_operand = s.dst.kind == KIND_MEMORY ? 0 : 1;
        return ERR_ILLEGAL_SIZE;
    }
    bool directive = s.mnemonic && is_directive(*s.mnemonic);
    // MOV and the 80186's PUSH of an immediate take a segment's value.
    bool moves = s.mnemonic && (s.mnemonic->handler == mov_instruction ||
                                (s.mnemonic->handler == push_instruction && s.operand_count == 1));
    for (int index = 0; index < (two ? 2 : 1); ++index) {
        Operand& operand = index ? s.src : s.dst;
        int error = 0;
        if ((operand.value_marks & VALUE_SEGMENT) && operand.kind == KIND_IMMEDIATE && !moves && !directive) {
            error = ERR_INVALID_OPERAND;
        } else if (operand.kind == KIND_MEMORY) {
            // An override of the register the addressing takes anyway is no prefix.
            uint8_t implied = addresses_stack(operand) ? opcode_of("SEG SS") : opcode_of("SEG DS");
            if (operand.seg_override == implied) operand.seg_override = 0;
            if (!s.assembly.segments.empty()) error = reach_segment(s, operand);
        }
        if (error) {
            s.refused_operand = int8_t(index);
            return error;
        }
    }
    if (two && s.src.kind == KIND_MEMORY) s.dst.value = s.src.value;  // as the override's segment counts it
    return 0;
}

// The third operand (IMUL AX,BX,10): an immediate only.
[[gnu::noinline]] int parse_third_operand(Statement& s, const char* text) {
    Operand& operand = s.third;
    operand = Operand{};  // no immediate until it reads as one
    if (!*text) return ERR_SYNTAX;  // a comma after the last operand
    // NASM's size keyword sizes the value: IMUL AX,BX,BYTE 5.
    int strict = strict_length(s, text);
    text += strict;
    bool stated = text[0] == SIZE_MARK && (text[1] == 'B' || text[1] == 'W') && s.assembly.conventions.nasm;
    if (stated) {
        operand.size = text[1] == 'B' ? SIZE_BYTE : SIZE_WORD;
        text += 2;
    }
    if (*text == '[' || find_register(text)) return ERR_INVALID_OPERAND;
    Expression value;
    const char* p = text;
    if (int result = parse_expression(s, &p, value)) return result;
    if (*p) return ERR_SYNTAX;
    if (value.bracketed || value.register_count) return ERR_INVALID_OPERAND;
    operand.kind = KIND_IMMEDIATE;
    operand.reg = value.origin;
    operand.value_marks = uint8_t((value.addresses != 0 ? VALUE_ADDRESS : 0) | (stated ? VALUE_STATED : 0) |
                                  (strict && stated ? VALUE_STRICT : 0));
    return resolved_value(s, value, FORWARD_PLACEHOLDER, operand.value);
}

}  // namespace

int parse_operands(Statement& s) {
    char* text = s.operand_text;
    s.operand_count = 0;
    s.short_target_named = false;
    s.segment_pair_named = false;
    Commas commas;
    int checked = check_operand_chars(text, &commas);
    // Character constants ('A') are the rare case: only then is the text checked twice.
    if (checked && std::strpbrk(text, "'\"`")) checked = check_quoted_operand_chars(text, text + s.operand_length, &commas);
    if (checked) return checked;
    // Only IMUL takes a third operand.
    char* third = nullptr;
    if (commas.second && s.mnemonic && s.mnemonic->handler == imul_instruction) [[unlikely]] {
        third = commas.second + 1;
        *commas.second = 0;
        commas.second = nullptr;
    }
    const char* first;
    const char* second;
    int split = split_operands(s, text, commas, &first, &second);
    if (split == ERR_EXTRA_OPERAND) return split;
    if (s.operand_count == 0) return 0;
    // Before a trailing comma's error the operand is still read, as its
    // handler looks at it.
    if (int result = parse_operand(s, first, s.dst)) return result;
    if (s.operand_count == 1) {
        take_variable_size(s.dst, s.dst, false);
        if (s.assembly.conventions.masm) [[unlikely]] return split ? split : check_masm_operands(s);
        return split;
    }
    int result = parse_operand(s, second, s.src);
    // The displacement of a memory operand is always found in dst.value.
    if (s.src.kind == KIND_MEMORY) s.dst.value = s.src.value;
    // A value's stated size sizes the memory operand beside it: MOV [POS],WORD 5.
    if ((s.src.value_marks & VALUE_STATED) && s.dst.kind == KIND_MEMORY && s.dst.size == SIZE_NONE) s.dst.size = s.src.size;
    if (s.assembly.conventions.masm && !result) [[unlikely]] result = check_masm_operands(s);
    take_variable_size(s.dst, s.src, true);
    take_variable_size(s.src, s.dst, true);
    if (third) [[unlikely]] {
        int third_result = parse_third_operand(s, third);
        if (!result) result = third_result;
        s.operand_count = 3;
    }
    return result;
}

}  // namespace vexa
