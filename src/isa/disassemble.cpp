// Instructions as text, decoded by the table of forms.
#include "isa/disassemble.h"

#include <initializer_list>

namespace vexa {

namespace {

constexpr const char* BYTE_REGISTERS[8] = {"AL", "CL", "DL", "BL", "AH", "CH", "DH", "BH"};
constexpr const char* WORD_REGISTERS[8] = {"AX", "CX", "DX", "BX", "SP", "BP", "SI", "DI"};
constexpr const char* SEGMENT_REGISTERS[4] = {"ES", "CS", "SS", "DS"};
constexpr const char* ADDRESS_REGISTERS[8] = {"BX+SI", "BX+DI", "BP+SI", "BP+DI", "SI", "DI", "BP", "BX"};

constexpr uint8_t MOD_REGISTER = 3;
constexpr uint8_t RM_DIRECT = 6;  // mod 00: a direct address instead of [BP]
constexpr int MAX_TRAILERS = 2;

bool is(const Form& form, const char* mnemonic) { return same_form_text(form.mnemonic, mnemonic); }

// Text written into a fixed buffer; what does not fit is left out.
class Text {
public:
    explicit Text(char (&buffer)[sizeof Disassembly::text]) : buffer_(buffer) {}

    void put(char c) {
        if (length_ + 1 < sizeof Disassembly::text) buffer_[length_++] = c;
        buffer_[length_] = 0;
    }
    void put(const char* text) {
        while (*text) put(*text++);
    }
    // Hexadecimal with an H, a 0 before a leading letter; 0 to 9 as digits alone.
    void number(uint32_t value) {
        if (value < 10) return put(char('0' + value));
        char digits[8];
        int count = 0;
        for (; value; value >>= 4) digits[count++] = "0123456789ABCDEF"[value & 15];
        if (digits[count - 1] > '9') put('0');
        while (count) put(digits[--count]);
        put('H');
    }
    // An offset in code, four digits: a jump's target, a far pointer's halves.
    void offset(uint16_t value) {
        char digits[4];
        for (int i = 3; i >= 0; --i, value >>= 4) digits[i] = "0123456789ABCDEF"[value & 15];
        if (digits[0] > '9') put('0');
        for (char digit : digits) put(digit);
        put('H');
    }
    void signed_number(int32_t value) {
        if (value < 0) put('-');
        number(value < 0 ? uint32_t(-int64_t(value)) : uint32_t(value));
    }

private:
    char* buffer_;
    size_t length_ = 0;
};

// The prefixes one statement writes: a repeat or LOCK, then a segment override.
enum PrefixKind : uint8_t { NOT_A_PREFIX, PREFIX_LOCK, PREFIX_REPEAT, PREFIX_SEGMENT };

PrefixKind prefix_kind(const Form* form) {
    if (!form) return NOT_A_PREFIX;
    if (is(*form, "SEG")) return PREFIX_SEGMENT;
    if (is(*form, "LOCK")) return PREFIX_LOCK;
    if (is(*form, "REP") || is(*form, "REPNE")) return PREFIX_REPEAT;
    return NOT_A_PREFIX;
}

// The first form of `opcode` under any reg field, or null: whether the
// opcode is defined at all, and whether a ModRM byte follows it.
const Form* any_form(DecodeProcessor processor, uint8_t opcode) {
    for (uint8_t field = 0; field < 8; ++field) {
        if (const Form* form = decode_form(processor, opcode, field)) return form;
    }
    return nullptr;
}

bool is_memory_only(FormOperand operand) {
    return operand == FO_M || operand == FO_M16_16 || operand == FO_M16_AND_16;
}
bool is_register_or_memory(FormOperand operand) {
    return operand == FO_RM8 || operand == FO_RM16 || is_memory_only(operand);
}
// An operand that gives a memory operand beside it its size.
bool gives_size(FormOperand operand) {
    return operand == FO_R8 || operand == FO_R16 || operand == FO_SREG || operand == FO_AL || operand == FO_AX;
}
bool is_string(const Form& form) {
    for (const char* name : {"MOVS", "CMPS", "STOS", "LODS", "SCAS", "INS", "OUTS"}) {
        int n = 0;
        while (name[n] && form.mnemonic[n] == name[n]) ++n;
        if (!name[n]) return true;
    }
    return false;
}
bool is_shift(const Form& form) {
    for (const char* name : {"ROL", "ROR", "RCL", "RCR", "SHL", "SAL", "SHR", "SAR", "SETMO"}) {
        if (is(form, name)) return true;
    }
    return false;
}
// An imm8 the processor sign-extends to a word: the 83 group, IMUL, PUSH.
bool sign_extends(const Form& form) {
    if (is(form, "PUSH")) return true;
    return (form.operands[0] == FO_RM16 || form.operands[0] == FO_R16) && !is_shift(form);
}

// One instruction's bytes as they are read.
struct Decoded {
    const Form* form = nullptr;
    int segment = -1;                 // the override's segment register, or -1
    uint8_t lock_or_repeat = 0;       // F0, F2 or F3, or 0
    uint8_t opcode = 0;
    uint8_t modrm = 0;
    uint16_t displacement = 0;
    int displacement_size = 0;
    uint32_t trailers[MAX_TRAILERS] = {};
    uint8_t second_byte = 0;
    int length = 0;

    uint8_t mod() const { return modrm >> 6; }
    uint8_t reg() const { return (modrm >> 3) & 7; }
    uint8_t rm() const { return modrm & 7; }
};

int trailer_size(FormTrailer trailer) {
    switch (trailer) {
    case FT_IB: case FT_CB: return 1;
    case FT_IW: case FT_CW: return 2;
    case FT_CD: return 4;
    case FT_NONE: break;
    }
    return 0;
}

uint32_t little_endian(const uint8_t* bytes, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

// The bytes as data: DB and each byte.
Disassembly data(const uint8_t* bytes, size_t count) {
    Disassembly result;
    result.length = int(count);
    Text text(result.text);
    text.put("DB ");
    for (size_t i = 0; i < count; ++i) {
        if (i) text.put(',');
        text.number(bytes[i]);
    }
    return result;
}

// The prefix at `bytes` as a statement of its own.
Disassembly prefix_alone(const Form& form) {
    Disassembly result;
    result.length = 1;
    result.defined = true;
    result.prefix = true;
    Text text(result.text);
    text.put(form.mnemonic);
    if (form.operand_count) {
        text.put(' ');
        text.put(SEGMENT_REGISTERS[form.operands[0] - FO_ES]);
    }
    return result;
}

// Writes one instruction's text.
class Printer {
public:
    Printer(const Decoded& decoded, uint16_t address, Disassembly& result)
        : d_(decoded), form_(*decoded.form), address_(address), text_(result.text) {}

    void print() {
        bool string_operands = d_.segment >= 0 && takes_source_override();
        bool override_on_operand = string_operands || has_memory_operand();
        if (d_.segment >= 0 && !override_on_operand) {
            text_.put(SEGMENT_REGISTERS[d_.segment]);
            text_.put(": ");
        }
        if (d_.lock_or_repeat) {
            text_.put(d_.lock_or_repeat == 0xF0   ? "LOCK "
                      : d_.lock_or_repeat == 0xF2 ? "REPNE "
                      : compares()                ? "REPE "
                                                  : "REP ");
        }
        if (string_operands) return print_string_operands();
        if (is(form_, "ESC")) return print_esc();
        // Near returns are RETN: RET in a far procedure of MASM's is far.
        text_.put(is(form_, "RET") ? "RETN" : form_.mnemonic);
        if (is(form_, "JMP") && form_.operands[0] == FO_REL8) text_.put(" SHORT");

        int order[FORM_OPERANDS] = {0, 1, 2};
        // TEST and XCHG take their operands either way: the register first, as written.
        if ((is(form_, "TEST") || is(form_, "XCHG")) && is_register_or_memory(form_.operands[0]) &&
            (form_.operands[1] == FO_R8 || form_.operands[1] == FO_R16)) {
            order[0] = 1, order[1] = 0;
        }
        int next_trailer = 0, printed = 0;
        for (int i = 0; i < form_.operand_count; ++i) {
            FormOperand operand = form_.operands[order[i]];
            if (operand == FO_M8 || operand == FO_M16) continue;  // a string instruction's, implied
            text_.put(printed++ ? ',' : ' ');
            print_operand(operand, next_trailer);
        }
        // AAM and AAD with another base than ten.
        if (form_.has_second_byte && d_.second_byte != form_.second_byte) {
            text_.put(' ');
            text_.number(d_.second_byte);
        }
    }

private:
    bool has_memory_operand() const {
        for (int i = 0; i < form_.operand_count; ++i) {
            FormOperand operand = form_.operands[i];
            if (operand == FO_MOFFS8 || operand == FO_MOFFS16) return true;
            if (is_register_or_memory(operand) && d_.mod() != MOD_REGISTER) return true;
        }
        return false;
    }
    // MOVS, CMPS and LODS read DS:SI, which an override changes.
    bool takes_source_override() const {
        return is_string(form_) && (form_.mnemonic[0] == 'M' || form_.mnemonic[0] == 'C' || form_.mnemonic[0] == 'L');
    }
    // CMPS and SCAS repeat while equal: REPE.
    bool compares() const {
        return is_string(form_) && (form_.mnemonic[0] == 'C' || (form_.mnemonic[0] == 'S' && form_.mnemonic[1] == 'C'));
    }

    // MOVS BYTE PTR [DI],CS:[SI]; CMPS BYTE PTR CS:[SI],[DI]; LODS BYTE PTR CS:[SI].
    void print_string_operands() {
        const char* size = form_.opcode & 1 ? "WORD PTR " : "BYTE PTR ";
        for (int i = 0; i < 4; ++i) text_.put(form_.mnemonic[i]);
        text_.put(' ');
        text_.put(size);
        if (form_.mnemonic[0] == 'M') text_.put("[DI],");
        text_.put(SEGMENT_REGISTERS[d_.segment]);
        text_.put(":[SI]");
        if (form_.mnemonic[0] == 'C') text_.put(",[DI]");
    }

    // ESC and its operand; the coprocessor's opcode before it unless zero.
    void print_esc() {
        text_.put("ESC ");
        uint8_t external = uint8_t((d_.opcode & 7) << 3 | d_.reg());
        if (external) {
            text_.number(external);
            text_.put(',');
        }
        print_register_or_memory(FO_RM16, false);
    }

    void print_operand(FormOperand operand, int& next_trailer) {
        uint8_t in_opcode = d_.opcode & 7;
        switch (operand) {
        case FO_R8: return text_.put(BYTE_REGISTERS[form_.register_in_opcode ? in_opcode : d_.reg()]);
        case FO_R16: return text_.put(WORD_REGISTERS[form_.register_in_opcode ? in_opcode : d_.reg()]);
        case FO_RM8: case FO_RM16: case FO_M: case FO_M16_16: case FO_M16_AND_16:
            return print_register_or_memory(operand, memory_needs_size(operand));
        case FO_SREG: return text_.put(SEGMENT_REGISTERS[d_.reg() & 3]);
        case FO_AL: return text_.put("AL");
        case FO_AX: return text_.put("AX");
        case FO_CL: return text_.put("CL");
        case FO_DX: return text_.put("DX");
        case FO_ES: case FO_CS: case FO_SS: case FO_DS: return text_.put(SEGMENT_REGISTERS[operand - FO_ES]);
        case FO_ONE: return text_.put('1');
        case FO_THREE: return text_.put('3');
        case FO_IMM8: {
            uint32_t value = d_.trailers[next_trailer++];
            return sign_extends(form_) ? text_.signed_number(int8_t(value)) : text_.number(value);
        }
        case FO_IMM16: return text_.number(d_.trailers[next_trailer++]);
        case FO_REL8:
            return text_.offset(uint16_t(address_ + d_.length + int8_t(d_.trailers[next_trailer++])));
        case FO_REL16: return text_.offset(uint16_t(address_ + d_.length + d_.trailers[next_trailer++]));
        case FO_PTR16_16: {
            uint32_t pointer = d_.trailers[next_trailer++];
            text_.offset(uint16_t(pointer >> 16));
            text_.put(':');
            return text_.offset(uint16_t(pointer));
        }
        case FO_MOFFS8: case FO_MOFFS16:
            print_segment();
            text_.put('[');
            text_.number(d_.trailers[next_trailer++]);
            return text_.put(']');
        case FO_NONE: case FO_M8: case FO_M16: break;
        }
    }

    // A memory operand says its size unless a register beside it does.
    bool memory_needs_size(FormOperand operand) const {
        if (operand == FO_M || operand == FO_M16_AND_16) return false;
        if (operand == FO_M16_16) return form_.operand_count == 1;  // JMP and CALL through a far pointer
        for (int i = 0; i < form_.operand_count; ++i) {
            if (gives_size(form_.operands[i])) return false;
        }
        return true;
    }

    void print_segment() {
        if (d_.segment < 0) return;
        text_.put(SEGMENT_REGISTERS[d_.segment]);
        text_.put(':');
    }

    void print_register_or_memory(FormOperand operand, bool sized) {
        if (d_.mod() == MOD_REGISTER) {
            text_.put(operand == FO_RM8 ? BYTE_REGISTERS[d_.rm()] : WORD_REGISTERS[d_.rm()]);
            return;
        }
        if (sized) text_.put(operand == FO_RM8 ? "BYTE PTR " : operand == FO_M16_16 ? "DWORD PTR " : "WORD PTR ");
        print_segment();
        text_.put('[');
        if (d_.mod() == 0 && d_.rm() == RM_DIRECT) {
            text_.number(d_.displacement);
        } else {
            text_.put(ADDRESS_REGISTERS[d_.rm()]);
            // A byte displacement signed, a word one as the offset it adds;
            // [BP] has the byte displacement 0 the addressing needs.
            if (d_.displacement_size == 1 && !(d_.displacement == 0 && d_.rm() == RM_DIRECT)) {
                int8_t value = int8_t(d_.displacement);
                text_.put(value < 0 ? '-' : '+');
                text_.number(value < 0 ? uint32_t(-value) : uint32_t(value));
            } else if (d_.displacement_size == 2) {
                text_.put('+');
                text_.number(d_.displacement);
            }
        }
        text_.put(']');
    }

    const Decoded& d_;
    const Form& form_;
    uint16_t address_;
    Text text_;
};

}  // namespace

Disassembly disassemble(const uint8_t* bytes, size_t available, uint16_t address, DecodeProcessor processor) {
    if (available == 0) return {};
    Decoded d;
    size_t at = 0;
    // Prefixes, as far as one statement can write them in their order.
    for (; at < available; ++at) {
        const Form* form = decode_form(processor, bytes[at], 0);
        PrefixKind kind = prefix_kind(form);
        if (kind == NOT_A_PREFIX) break;
        bool fits = kind == PREFIX_SEGMENT ? d.segment < 0 : d.lock_or_repeat == 0 && d.segment < 0;
        if (!fits) return prefix_alone(*decode_form(processor, bytes[0], 0));
        if (kind == PREFIX_SEGMENT) {
            d.segment = form->operands[0] - FO_ES;
        } else {
            d.lock_or_repeat = kind == PREFIX_LOCK ? 0xF0 : form->opcode;
        }
    }
    if (at == available) return prefix_alone(*decode_form(processor, bytes[0], 0));

    d.opcode = bytes[at];
    const Form* form = any_form(processor, d.opcode);
    if (!form) return data(bytes, at + 1);
    size_t end = at + 1;
    if (form->modrm) {
        if (end >= available) return data(bytes, available);
        d.modrm = bytes[end++];
        form = decode_form(processor, d.opcode, d.reg());
        if (!form) return data(bytes, end);
        if (d.mod() == 1) d.displacement_size = 1;
        if (d.mod() == 2 || (d.mod() == 0 && d.rm() == RM_DIRECT)) d.displacement_size = 2;
        // A register where the form needs memory: no statement writes it.
        for (int i = 0; i < form->operand_count; ++i) {
            if (is_memory_only(form->operands[i]) && d.mod() == MOD_REGISTER) return data(bytes, end);
        }
    }
    size_t size = d.displacement_size + (form->has_second_byte ? 1 : 0);
    for (FormTrailer trailer : form->trailers) size += trailer_size(trailer);
    if (end + size > available) return data(bytes, available);

    d.displacement = uint16_t(little_endian(bytes + end, d.displacement_size));
    end += d.displacement_size;
    if (form->has_second_byte) d.second_byte = bytes[end++];
    for (int i = 0; i < MAX_TRAILERS; ++i) {
        int trailer = trailer_size(form->trailers[i]);
        d.trailers[i] = little_endian(bytes + end, trailer);
        end += trailer;
    }
    d.form = form;
    d.length = int(end);

    Disassembly result;
    result.length = d.length;
    result.defined = true;
    Printer(d, address, result).print();
    return result;
}

}  // namespace vexa
