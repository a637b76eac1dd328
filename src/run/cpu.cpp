// The 8086 and 80186 processors: fetching, decoding by the table of forms,
// and executing instructions.
#include <cstdio>
#include <cstring>

#include "run/dispatch.h"
#include "run/run.h"

namespace vexa {
namespace {

// FLAGS as the 8086 keeps them: bits 12-15 and 1 read as ones, 3 and 5 as zeros.
constexpr uint16_t FLAGS_FIXED_ONES = 0xF002;
constexpr uint16_t FLAGS_WRITABLE = 0x0FD5;
constexpr uint16_t ARITHMETIC_FLAGS = FLAG_CF | FLAG_PF | FLAG_AF | FLAG_ZF | FLAG_SF | FLAG_OF;

constexpr uint8_t VECTOR_DIVIDE_ERROR = 0;
constexpr uint8_t VECTOR_SINGLE_STEP = 1;
constexpr uint8_t VECTOR_BREAKPOINT = 3;
constexpr uint8_t VECTOR_OVERFLOW = 4;
constexpr uint8_t VECTOR_BOUND = 5;
constexpr uint8_t VECTOR_INVALID_OPCODE = 6;

constexpr uint8_t PREFIX_REPNE = 0xF2;
constexpr uint8_t PREFIX_REP = 0xF3;

struct ParityTable {
    bool even[256];
    constexpr ParityTable() : even() {
        for (int value = 0; value < 256; ++value) {
            int ones = 0;
            for (int bit = 0; bit < 8; ++bit) ones += (value >> bit) & 1;
            even[value] = (ones % 2) == 0;
        }
    }
};
constexpr ParityTable parity;

// The r/m field's address forms: base, index and the segment they imply.
struct AddressForm { int8_t base; int8_t index; uint8_t segment; };
constexpr AddressForm address_forms[8] = {
    {REG_BX, REG_SI, SEG_DS}, {REG_BX, REG_DI, SEG_DS}, {REG_BP, REG_SI, SEG_SS},
    {REG_BP, REG_DI, SEG_SS}, {-1, REG_SI, SEG_DS},     {-1, REG_DI, SEG_DS},
    {REG_BP, -1, SEG_SS},     {REG_BX, -1, SEG_DS},
};

// Arithmetic and logic operations, numbered as the opcodes' reg field gives them.
enum AluOp : int { ALU_ADD, ALU_OR, ALU_ADC, ALU_SBB, ALU_AND, ALU_SUB, ALU_XOR, ALU_CMP };

// Shifts and rotates (opcodes D0-D3), by their reg field.
enum ShiftOp : int { SHIFT_ROL, SHIFT_ROR, SHIFT_RCL, SHIFT_RCR, SHIFT_SHL, SHIFT_SHR, SHIFT_SETMO, SHIFT_SAR };

// The conditions of Jcc, by the opcode's low nibble.
enum Condition : int { COND_O, COND_NO, COND_B, COND_NB, COND_E, COND_NE, COND_BE, COND_NBE,
                       COND_S, COND_NS, COND_P, COND_NP, COND_L, COND_NL, COND_LE, COND_NLE };

// The operand a ModRM byte names: a register or a memory location.
struct Operand {
    bool memory;
    int reg;
    int segment;
    uint16_t offset;
};

// One instruction being executed: its prefixes and its ModRM operands.
class Execution {
public:
    explicit Execution(Machine& machine) : m(machine) {}
    void run();
    void interrupt(uint8_t vector);

private:
    Machine& m;
    uint16_t start_ip = 0;  // the first prefix's address: messages, and where INT 5 and 6 return
    int segment_override = -1;
    uint8_t repeat = 0;
    uint8_t reg_field = 0;
    Operand rm{};

    // ---- Memory, registers and fetching ----
    uint8_t& byte_at(int segment, uint16_t offset) {
        return m.memory[physical_address(m.segs[segment], offset)];
    }
    uint8_t read8(int segment, uint16_t offset) { return byte_at(segment, offset); }
    uint16_t read16(int segment, uint16_t offset) {
        return uint16_t(read8(segment, offset) | read8(segment, uint16_t(offset + 1)) << 8);
    }
    void write8(int segment, uint16_t offset, uint8_t value) { byte_at(segment, offset) = value; }
    void write16(int segment, uint16_t offset, uint16_t value) {
        write8(segment, offset, uint8_t(value));
        write8(segment, uint16_t(offset + 1), uint8_t(value >> 8));
    }
    uint8_t fetch8() { return read8(SEG_CS, m.ip++); }
    uint16_t fetch16() {
        uint16_t low = fetch8();
        return uint16_t(low | fetch8() << 8);
    }
    uint8_t reg8(int number) const {
        return number < 4 ? uint8_t(m.regs[number]) : uint8_t(m.regs[number - 4] >> 8);
    }
    void set_reg8(int number, uint8_t value) {
        uint16_t& word = m.regs[number & 3];
        word = number < 4 ? uint16_t((word & 0xFF00) | value) : uint16_t((word & 0x00FF) | value << 8);
    }
    uint16_t reg_value(int number, bool word) const { return word ? m.regs[number] : reg8(number); }
    void set_reg(int number, bool word, uint16_t value) {
        if (word) m.regs[number] = value;
        else set_reg8(number, uint8_t(value));
    }
    int data_segment(int implied) const { return segment_override >= 0 ? segment_override : implied; }

    // ---- ModRM operands ----
    void decode_modrm();
    uint16_t rm_value(bool word) {
        if (!rm.memory) return reg_value(rm.reg, word);
        return word ? read16(rm.segment, rm.offset) : read8(rm.segment, rm.offset);
    }
    void set_rm(bool word, uint16_t value) {
        if (!rm.memory) set_reg(rm.reg, word, value);
        else if (word) write16(rm.segment, rm.offset, value);
        else write8(rm.segment, rm.offset, uint8_t(value));
    }

    // ---- Stack and transfers ----
    void push(uint16_t value) {
        m.regs[REG_SP] = uint16_t(m.regs[REG_SP] - 2);
        write16(SEG_SS, m.regs[REG_SP], value);
    }
    uint16_t pop() {
        uint16_t value = read16(SEG_SS, m.regs[REG_SP]);
        m.regs[REG_SP] = uint16_t(m.regs[REG_SP] + 2);
        return value;
    }
    void set_flags_word(uint16_t value) { m.flags = uint16_t((value & FLAGS_WRITABLE) | FLAGS_FIXED_ONES); }
    void jump_relative(uint16_t displacement) { m.ip = uint16_t(m.ip + displacement); }
    void jump_short_if(bool taken) {
        uint16_t displacement = uint16_t(int8_t(fetch8()));
        if (taken) jump_relative(displacement);
    }
    bool condition_holds(int condition) const;
    void far_return(uint16_t release);
    void interrupt_return();
    void service_trap();

    // ---- Flags and arithmetic ----
    bool flag(uint16_t bit) const { return (m.flags & bit) != 0; }
    void set_flag(uint16_t bit, bool on) { m.flags = on ? uint16_t(m.flags | bit) : uint16_t(m.flags & ~bit); }
    static uint16_t result_flags(uint32_t result, bool word);
    uint16_t alu(int op, uint16_t a, uint16_t b, bool word);
    uint16_t step_by_one(uint16_t value, bool word, bool down);
    uint16_t shift(int op, uint16_t value, uint8_t count, bool word);
    void multiply(bool word, bool is_signed, uint16_t source);
    bool divide(bool word, bool is_signed, uint16_t source);
    void decimal_adjust(bool subtract);
    void ascii_adjust(bool subtract);

    // ---- Routines ----
    void execute(int family, uint8_t opcode);
    void alu_rm_reg(uint8_t opcode);
    void alu_accumulator_immediate(uint8_t opcode);
    void alu_rm_immediate(uint8_t opcode);
    void shift_rm(bool word, int count_source);
    void set_minus_one(uint8_t opcode);
    void multiply_immediate(bool byte_immediate);
    void far_through_memory(bool call);
    void push_rm();
    void load_far_pointer(uint8_t opcode, int segment);
    void check_bounds();
    void enter();
    void push_all();
    void pop_all();
    void execute_string(int family, bool word);
    bool string_once(int family, bool word);
    void register_for_memory(uint8_t opcode);
    void undefined_instruction(uint8_t opcode);
    void invalid_opcode();
    void undefined(uint8_t opcode);
};

// ---- Operands -------------------------------------------------------------------

void Execution::decode_modrm() {
    uint8_t modrm = fetch8();
    int mod = modrm >> 6;
    reg_field = uint8_t((modrm >> 3) & 7);
    int field = modrm & 7;
    if (mod == 3) {
        rm = {false, field, 0, 0};
        return;
    }
    const AddressForm& form = address_forms[field];
    uint16_t offset = 0;
    int segment = form.segment;
    if (mod == 0 && field == 6) {
        offset = fetch16();
        segment = SEG_DS;
    } else {
        if (form.base >= 0) offset = m.regs[form.base];
        if (form.index >= 0) offset = uint16_t(offset + m.regs[form.index]);
        if (mod == 1) offset = uint16_t(offset + uint16_t(int8_t(fetch8())));
        if (mod == 2) offset = uint16_t(offset + fetch16());
    }
    rm = {true, 0, data_segment(segment), offset};
}

// ---- Flags and arithmetic -------------------------------------------------------

uint16_t Execution::result_flags(uint32_t result, bool word) {
    uint32_t value = result & (word ? 0xFFFFu : 0xFFu);
    uint16_t flags = 0;
    if (value == 0) flags |= FLAG_ZF;
    if (value & (word ? 0x8000u : 0x80u)) flags |= FLAG_SF;
    if (parity.even[value & 0xFF]) flags |= FLAG_PF;
    return flags;
}

uint16_t Execution::alu(int op, uint16_t a, uint16_t b, bool word) {
    const uint32_t mask = word ? 0xFFFF : 0xFF;
    const uint32_t sign = word ? 0x8000 : 0x80;
    uint32_t carry_in = (op == ALU_ADC || op == ALU_SBB) && flag(FLAG_CF) ? 1 : 0;
    uint32_t result = 0;
    uint16_t flags = 0;
    switch (op) {
    case ALU_ADD:
    case ALU_ADC:
        result = uint32_t(a) + b + carry_in;
        if (result > mask) flags |= FLAG_CF;
        if ((a ^ result) & (b ^ result) & sign) flags |= FLAG_OF;
        break;
    case ALU_SUB:
    case ALU_SBB:
    case ALU_CMP:
        result = uint32_t(a) - b - carry_in;
        if (uint32_t(b) + carry_in > a) flags |= FLAG_CF;
        if ((a ^ b) & (a ^ result) & sign) flags |= FLAG_OF;
        break;
    case ALU_OR: result = a | b; break;
    case ALU_AND: result = a & b; break;
    case ALU_XOR: result = a ^ b; break;
    }
    if ((a ^ b ^ result) & 0x10) flags |= FLAG_AF;
    result &= mask;
    m.flags = uint16_t((m.flags & ~ARITHMETIC_FLAGS) | flags | result_flags(result, word));
    return uint16_t(result);
}

// INC and DEC: as ADD and SUB of 1, but the carry stays.
uint16_t Execution::step_by_one(uint16_t value, bool word, bool down) {
    bool carry = flag(FLAG_CF);
    uint16_t result = alu(down ? ALU_SUB : ALU_ADD, value, 1, word);
    set_flag(FLAG_CF, carry);
    return result;
}

// One bit at a time, as the processor does: the flags are those of the last
// step, and a count of zero changes nothing. The count is not masked.
uint16_t Execution::shift(int op, uint16_t value, uint8_t count, bool word) {
    if (count == 0) return value;
    const uint32_t sign = word ? 0x8000 : 0x80;
    const int top = word ? 15 : 7;
    uint32_t result = value;
    bool carry = flag(FLAG_CF);
    uint32_t before = result;
    for (int step = 0; step < count; ++step) {
        before = result;
        bool low = result & 1;
        bool high = (result & sign) != 0;
        switch (op) {
        case SHIFT_ROL: result = (result << 1) | high; carry = high; break;
        case SHIFT_ROR: result = (result >> 1) | (uint32_t(low) << top); carry = low; break;
        case SHIFT_RCL: result = (result << 1) | carry; carry = high; break;
        case SHIFT_RCR: result = (result >> 1) | (uint32_t(carry) << top); carry = low; break;
        case SHIFT_SHL: result <<= 1; carry = high; break;
        case SHIFT_SHR: result >>= 1; carry = low; break;
        case SHIFT_SETMO: result = 0xFFFF; carry = false; break;
        case SHIFT_SAR: result = (result >> 1) | (high ? sign : 0); carry = low; break;
        }
        result &= word ? 0xFFFF : 0xFF;
    }
    set_flag(FLAG_CF, carry);
    set_flag(FLAG_OF, ((before ^ result) & sign) != 0);
    if (op >= SHIFT_SHL) {
        m.flags = uint16_t((m.flags & ~(FLAG_SF | FLAG_ZF | FLAG_PF | FLAG_AF)) | result_flags(result, word));
    }
    return uint16_t(result);
}

// A repeat prefix before IMUL or IDIV negates the product or quotient: the
// microcode keeps the sign in the same internal flag the prefix sets.
void Execution::multiply(bool word, bool is_signed, uint16_t source) {
    bool overflow;
    uint32_t result;
    if (word) {
        result = is_signed ? uint32_t(int32_t(int16_t(m.regs[REG_AX])) * int16_t(source))
                           : uint32_t(m.regs[REG_AX]) * source;
        if (repeat && is_signed) result = uint32_t(-int32_t(result));
        m.regs[REG_AX] = uint16_t(result);
        m.regs[REG_DX] = uint16_t(result >> 16);
        overflow = is_signed ? int32_t(result) != int16_t(result) : (result >> 16) != 0;
    } else {
        result = is_signed ? uint32_t(int16_t(int8_t(m.regs[REG_AX])) * int8_t(source))
                           : uint32_t(uint8_t(m.regs[REG_AX])) * uint8_t(source);
        if (repeat && is_signed) result = uint32_t(-int32_t(result));
        m.regs[REG_AX] = uint16_t(result);
        overflow = is_signed ? int16_t(result) != int8_t(result) : (result & 0xFF00) != 0;
    }
    set_flag(FLAG_CF, overflow);
    set_flag(FLAG_OF, overflow);
}

// Answers false on a divide error: a zero divisor or a quotient out of range.
bool Execution::divide(bool word, bool is_signed, uint16_t source) {
    if (word) {
        uint32_t dividend = uint32_t(m.regs[REG_DX]) << 16 | m.regs[REG_AX];
        if (source == 0) return false;
        if (is_signed) {
            int64_t quotient = int64_t(int32_t(dividend)) / int16_t(source);
            int64_t remainder = int64_t(int32_t(dividend)) % int16_t(source);
            if (quotient > 0x7FFF || quotient < -0x7FFF) return false;
            if (repeat) quotient = -quotient;
            m.regs[REG_AX] = uint16_t(quotient);
            m.regs[REG_DX] = uint16_t(remainder);
        } else {
            uint32_t quotient = dividend / source;
            if (quotient > 0xFFFF) return false;
            m.regs[REG_AX] = uint16_t(quotient);
            m.regs[REG_DX] = uint16_t(dividend % source);
        }
        return true;
    }
    uint16_t dividend = m.regs[REG_AX];
    uint8_t divisor = uint8_t(source);
    if (divisor == 0) return false;
    if (is_signed) {
        int quotient = int16_t(dividend) / int8_t(divisor);
        int remainder = int16_t(dividend) % int8_t(divisor);
        if (quotient > 0x7F || quotient < -0x7F) return false;
        if (repeat) quotient = -quotient;
        m.regs[REG_AX] = uint16_t(uint8_t(quotient) | uint8_t(remainder) << 8);
    } else {
        unsigned quotient = dividend / divisor;
        if (quotient > 0xFF) return false;
        m.regs[REG_AX] = uint16_t(quotient | (dividend % divisor) << 8);
    }
    return true;
}

// DAA and DAS.
void Execution::decimal_adjust(bool subtract) {
    uint8_t old_al = uint8_t(m.regs[REG_AX]);
    bool old_carry = flag(FLAG_CF);
    uint8_t al = old_al;
    bool auxiliary = (al & 0x0F) > 9 || flag(FLAG_AF);
    if (auxiliary) al = uint8_t(subtract ? al - 6 : al + 6);
    // The carry out of the low digit's adjustment is lost: only the high one
    // counts. With AF set the 8086 compares the high digit with 9FH.
    bool carry = old_al > (flag(FLAG_AF) ? 0x9F : 0x99) || old_carry;
    if (carry) al = uint8_t(subtract ? al - 0x60 : al + 0x60);
    set_reg8(0, al);
    m.flags = uint16_t((m.flags & ~(FLAG_CF | FLAG_AF | FLAG_SF | FLAG_ZF | FLAG_PF)) |
                       (carry ? FLAG_CF : 0) | (auxiliary ? FLAG_AF : 0) | result_flags(al, false));
}

// AAA and AAS.
void Execution::ascii_adjust(bool subtract) {
    uint8_t al = uint8_t(m.regs[REG_AX]);
    uint8_t ah = uint8_t(m.regs[REG_AX] >> 8);
    bool adjust = (al & 0x0F) > 9 || flag(FLAG_AF);
    if (adjust) {
        al = uint8_t(subtract ? al - 6 : al + 6);
        ah = uint8_t(subtract ? ah - 1 : ah + 1);
    }
    m.regs[REG_AX] = uint16_t((al & 0x0F) | ah << 8);
    set_flag(FLAG_AF, adjust);
    set_flag(FLAG_CF, adjust);
}

// ---- Transfers ------------------------------------------------------------------

bool Execution::condition_holds(int condition) const {
    bool holds = false;
    switch (condition >> 1) {
    case 0: holds = flag(FLAG_OF); break;
    case 1: holds = flag(FLAG_CF); break;
    case 2: holds = flag(FLAG_ZF); break;
    case 3: holds = flag(FLAG_CF) || flag(FLAG_ZF); break;
    case 4: holds = flag(FLAG_SF); break;
    case 5: holds = flag(FLAG_PF); break;
    case 6: holds = flag(FLAG_SF) != flag(FLAG_OF); break;
    case 7: holds = flag(FLAG_ZF) || flag(FLAG_SF) != flag(FLAG_OF); break;
    }
    return (condition & 1) ? !holds : holds;
}

void Execution::interrupt(uint8_t vector) {
    push(m.flags);
    m.flags = uint16_t(m.flags & ~(FLAG_IF | FLAG_TF));
    push(m.segs[SEG_CS]);
    push(m.ip);
    const uint8_t* entry = &m.memory[vector * 4u];
    m.ip = uint16_t(entry[0] | entry[1] << 8);
    m.segs[SEG_CS] = uint16_t(entry[2] | entry[3] << 8);
}

void Execution::far_return(uint16_t release) {
    m.ip = pop();
    m.segs[SEG_CS] = pop();
    m.regs[REG_SP] = uint16_t(m.regs[REG_SP] + release);
}

void Execution::interrupt_return() {
    m.ip = pop();
    m.segs[SEG_CS] = pop();
    set_flags_word(pop());
}

// The trap pair of a default vector: serve, then return as IRET does.
void Execution::service_trap() {
    uint8_t vector = fetch8();
    serve_interrupt(m, vector);
    if (m.ending == ENDING_NONE) interrupt_return();
}

// ---- Routines -------------------------------------------------------------------

// 00-3F: op r/m,reg and op reg,r/m, by the direction bit.
void Execution::alu_rm_reg(uint8_t opcode) {
    int op = opcode >> 3;
    bool word = opcode & 1;
    decode_modrm();
    if (opcode & 2) {
        uint16_t result = alu(op, reg_value(reg_field, word), rm_value(word), word);
        if (op != ALU_CMP) set_reg(reg_field, word, result);
    } else {
        uint16_t result = alu(op, rm_value(word), reg_value(reg_field, word), word);
        if (op != ALU_CMP) set_rm(word, result);
    }
}

// 00-3F: op AL,imm8 and op AX,imm16.
void Execution::alu_accumulator_immediate(uint8_t opcode) {
    int op = opcode >> 3;
    bool word = opcode & 1;
    uint16_t immediate = word ? fetch16() : fetch8();
    uint16_t result = alu(op, reg_value(REG_AX, word), immediate, word);
    if (op != ALU_CMP) set_reg(REG_AX, word, result);
}

// 80-83: op r/m,immediate, the op in the reg field; 83 sign-extends a byte.
void Execution::alu_rm_immediate(uint8_t opcode) {
    bool word = opcode & 1;
    decode_modrm();
    uint16_t immediate = opcode == 0x81 ? fetch16() : opcode == 0x83 ? uint16_t(int8_t(fetch8())) : fetch8();
    uint16_t result = alu(reg_field, rm_value(word), immediate, word);
    if (reg_field != ALU_CMP) set_rm(word, result);
}

// Shifts and rotates, the operation in the reg field (a /6 that reaches here
// is SAL). The 80186 takes the count's low five bits.
void Execution::shift_rm(bool word, int count_source) {
    decode_modrm();
    uint8_t count = count_source == EXEC_SHIFT_1    ? 1
                    : count_source == EXEC_SHIFT_CL ? uint8_t(m.regs[REG_CX])
                                                    : fetch8();
    if (m.processor == CPU_186) count &= 0x1F;
    int op = reg_field == SHIFT_SETMO ? int(SHIFT_SHL) : int(reg_field);
    uint16_t value = rm_value(word);
    set_rm(word, shift(op, value, count, word));
}

// The 8086's D0-D3 /6: every bit set, by one or by CL.
void Execution::set_minus_one(uint8_t opcode) {
    bool word = opcode & 1;
    decode_modrm();
    uint8_t count = (opcode & 2) ? uint8_t(m.regs[REG_CX]) : 1;
    set_rm(word, shift(SHIFT_SETMO, rm_value(word), count, word));
}

// IMUL r16,r/m16,immediate: the product's low word; CF and OF when it does not fit.
void Execution::multiply_immediate(bool byte_immediate) {
    decode_modrm();
    int32_t factor = int16_t(rm_value(true));
    int32_t immediate = byte_immediate ? int8_t(fetch8()) : int16_t(fetch16());
    int32_t product = factor * immediate;
    m.regs[reg_field] = uint16_t(product);
    bool overflow = product != int16_t(product);
    set_flag(FLAG_CF, overflow);
    set_flag(FLAG_OF, overflow);
}

// A form that names memory given a register (LDS, LES, far CALL and JMP
// through memory, BOUND, and LEA on the 80186).
void Execution::register_for_memory(uint8_t opcode) {
    if (m.processor == CPU_186) return invalid_opcode();
    undefined_instruction(opcode);
}

// FF /3 and /5: CALL and JMP through a far pointer in memory.
void Execution::far_through_memory(bool call) {
    decode_modrm();
    uint16_t offset = rm_value(true);
    if (!rm.memory) return register_for_memory(0xFF);
    uint16_t segment = read16(rm.segment, uint16_t(rm.offset + 2));
    if (call) {
        push(m.segs[SEG_CS]);
        push(m.ip);
    }
    m.ip = offset;
    m.segs[SEG_CS] = segment;
}

// FF /6 (and the 8086's /7): PUSH r/m16. The 8086's PUSH SP stores the value
// SP has after the push; the 80186's the value before.
void Execution::push_rm() {
    decode_modrm();
    uint16_t value = rm_value(true);
    m.regs[REG_SP] = uint16_t(m.regs[REG_SP] - 2);
    if (!rm.memory && rm.reg == REG_SP && m.processor == CPU_8086) value = m.regs[REG_SP];
    write16(SEG_SS, m.regs[REG_SP], value);
}

// C4, C5: LES and LDS.
void Execution::load_far_pointer(uint8_t opcode, int segment) {
    decode_modrm();
    if (!rm.memory) return register_for_memory(opcode);
    m.regs[reg_field] = read16(rm.segment, rm.offset);
    m.segs[segment] = read16(rm.segment, uint16_t(rm.offset + 2));
}

// 62: BOUND r16,m16&16. Out of the signed bounds, interrupt 5 returns to the
// BOUND itself, prefixes included.
void Execution::check_bounds() {
    decode_modrm();
    if (!rm.memory) return register_for_memory(0x62);
    int16_t index = int16_t(m.regs[reg_field]);
    int16_t lower = int16_t(read16(rm.segment, rm.offset));
    int16_t upper = int16_t(read16(rm.segment, uint16_t(rm.offset + 2)));
    if (index >= lower && index <= upper) return;
    m.ip = start_ip;
    interrupt(VECTOR_BOUND);
}

// C8: ENTER imm16,imm8. The nesting level counts its low five bits: the
// enclosing frames' pointers are copied, then the new frame's.
void Execution::enter() {
    uint16_t size = fetch16();
    uint8_t level = fetch8() & 0x1F;
    push(m.regs[REG_BP]);
    uint16_t frame = m.regs[REG_SP];
    if (level > 0) {
        for (int i = 1; i < level; ++i) {
            m.regs[REG_BP] = uint16_t(m.regs[REG_BP] - 2);
            push(read16(SEG_SS, m.regs[REG_BP]));
        }
        push(frame);
    }
    m.regs[REG_BP] = frame;
    m.regs[REG_SP] = uint16_t(m.regs[REG_SP] - size);
}

// 60: PUSHA pushes SP as it was before the first push.
void Execution::push_all() {
    uint16_t sp = m.regs[REG_SP];
    for (int number = REG_AX; number <= REG_DI; ++number) push(number == REG_SP ? sp : m.regs[number]);
}

// 61: POPA skips the stored SP.
void Execution::pop_all() {
    for (int number = REG_DI; number >= REG_AX; --number) {
        uint16_t value = pop();
        if (number != REG_SP) m.regs[number] = value;
    }
}

// One element of a string instruction; answers whether a repeat may go on.
bool Execution::string_once(int family, bool word) {
    uint16_t step = uint16_t(flag(FLAG_DF) ? (word ? -2 : -1) : (word ? 2 : 1));
    int source = data_segment(SEG_DS);
    uint16_t& si = m.regs[REG_SI];
    uint16_t& di = m.regs[REG_DI];
    switch (family) {
    case EXEC_MOVS:
        if (word) write16(SEG_ES, di, read16(source, si));
        else write8(SEG_ES, di, read8(source, si));
        si = uint16_t(si + step);
        di = uint16_t(di + step);
        return true;
    case EXEC_CMPS: {
        uint16_t a = word ? read16(source, si) : read8(source, si);
        uint16_t b = word ? read16(SEG_ES, di) : read8(SEG_ES, di);
        alu(ALU_CMP, a, b, word);
        si = uint16_t(si + step);
        di = uint16_t(di + step);
        break;
    }
    case EXEC_STOS:
        if (word) write16(SEG_ES, di, m.regs[REG_AX]);
        else write8(SEG_ES, di, uint8_t(m.regs[REG_AX]));
        di = uint16_t(di + step);
        return true;
    case EXEC_LODS:
        set_reg(REG_AX, word, word ? read16(source, si) : read8(source, si));
        si = uint16_t(si + step);
        return true;
    case EXEC_INS:  // the port reads as the floating bus
        if (word) write16(SEG_ES, di, 0xFFFF);
        else write8(SEG_ES, di, 0xFF);
        di = uint16_t(di + step);
        return true;
    case EXEC_OUTS:  // the element is read; the write to the port vanishes
        if (word) read16(source, si);
        else read8(source, si);
        si = uint16_t(si + step);
        return true;
    default: {  // SCAS
        uint16_t b = word ? read16(SEG_ES, di) : read8(SEG_ES, di);
        alu(ALU_CMP, reg_value(REG_AX, word), b, word);
        di = uint16_t(di + step);
        break;
    }
    }
    // CMPS and SCAS: REPE goes on while equal, REPNE while not.
    return flag(FLAG_ZF) == (repeat == PREFIX_REP);
}

void Execution::execute_string(int family, bool word) {
    if (!repeat) {
        string_once(family, word);
        return;
    }
    while (m.regs[REG_CX] != 0) {
        m.regs[REG_CX] = uint16_t(m.regs[REG_CX] - 1);
        if (!string_once(family, word)) break;
    }
}

void Execution::undefined_instruction(uint8_t opcode) {
    m.ending = ENDING_UNSUPPORTED;
    std::snprintf(m.message, sizeof m.message, "undefined instruction %02XH at %04X:%04X", opcode,
                  m.segs[SEG_CS], start_ip);
}

// The 80186's interrupt 6 returns to the undefined instruction, prefixes included.
void Execution::invalid_opcode() {
    m.ip = start_ip;
    interrupt(VECTOR_INVALID_OPCODE);
}

// An opcode (or reg field) the table leaves undefined on this processor.
void Execution::undefined(uint8_t opcode) {
    if (m.processor == CPU_186) return invalid_opcode();
    if (dispatch_tables.first[m.processor][opcode] == EXEC_BY_REG_FIELD) decode_modrm();
    undefined_instruction(opcode);
}

void Execution::execute(int family, uint8_t opcode) {
    bool word = opcode & 1;
    switch (family) {
    case EXEC_ALU_RM_REG: alu_rm_reg(opcode); break;
    case EXEC_ALU_ACC_IMM: alu_accumulator_immediate(opcode); break;
    case EXEC_ALU_RM_IMM: alu_rm_immediate(opcode); break;
    case EXEC_TEST_RM_REG:
        decode_modrm();
        alu(ALU_AND, rm_value(word), reg_value(reg_field, word), word);
        break;
    case EXEC_TEST_ACC_IMM: alu(ALU_AND, reg_value(REG_AX, word), word ? fetch16() : fetch8(), word); break;
    case EXEC_TEST_RM_IMM: {
        decode_modrm();
        uint16_t value = rm_value(word);
        alu(ALU_AND, value, word ? fetch16() : fetch8(), word);
        break;
    }
    case EXEC_INC_REG: m.regs[opcode & 7] = step_by_one(m.regs[opcode & 7], true, false); break;
    case EXEC_DEC_REG: m.regs[opcode & 7] = step_by_one(m.regs[opcode & 7], true, true); break;
    case EXEC_INC_RM: decode_modrm(); set_rm(word, step_by_one(rm_value(word), word, false)); break;
    case EXEC_DEC_RM: decode_modrm(); set_rm(word, step_by_one(rm_value(word), word, true)); break;
    case EXEC_NOT: decode_modrm(); set_rm(word, uint16_t(~rm_value(word))); break;
    case EXEC_NEG: decode_modrm(); set_rm(word, alu(ALU_SUB, 0, rm_value(word), word)); break;
    case EXEC_MUL: decode_modrm(); multiply(word, false, rm_value(word)); break;
    case EXEC_IMUL: decode_modrm(); multiply(word, true, rm_value(word)); break;
    case EXEC_DIV:
    case EXEC_IDIV:
        // The 8086's divide error returns to the instruction after the division.
        decode_modrm();
        if (!divide(word, family == EXEC_IDIV, rm_value(word))) interrupt(VECTOR_DIVIDE_ERROR);
        break;
    case EXEC_IMUL_IMM8: multiply_immediate(true); break;
    case EXEC_IMUL_IMM16: multiply_immediate(false); break;
    case EXEC_SHIFT_1:
    case EXEC_SHIFT_CL:
    case EXEC_SHIFT_IMM: shift_rm(word, family); break;
    case EXEC_SETMO: set_minus_one(opcode); break;
    case EXEC_DAA: decimal_adjust(false); break;
    case EXEC_DAS: decimal_adjust(true); break;
    case EXEC_AAA: ascii_adjust(false); break;
    case EXEC_AAS: ascii_adjust(true); break;
    case EXEC_AAM: {
        uint8_t base = fetch8();
        if (base == 0) {
            // The 8086 sets the flags from a zero result before the divide error.
            alu(ALU_OR, 0, 0, false);
            return interrupt(VECTOR_DIVIDE_ERROR);
        }
        uint8_t al = uint8_t(m.regs[REG_AX]);
        m.regs[REG_AX] = uint16_t((al / base) << 8 | (al % base));
        alu(ALU_OR, uint8_t(m.regs[REG_AX]), 0, false);
        break;
    }
    case EXEC_AAD: {
        uint8_t base = fetch8();
        uint8_t al = uint8_t(m.regs[REG_AX]);
        uint8_t ah = uint8_t(m.regs[REG_AX] >> 8);
        m.regs[REG_AX] = alu(ALU_ADD, al, uint8_t(ah * base), false);
        break;
    }
    case EXEC_CBW: m.regs[REG_AX] = uint16_t(int8_t(m.regs[REG_AX])); break;
    case EXEC_CWD: m.regs[REG_DX] = (m.regs[REG_AX] & 0x8000) ? 0xFFFF : 0; break;
    case EXEC_SALC: set_reg8(0, flag(FLAG_CF) ? 0xFF : 0x00); break;

    case EXEC_MOV_RM_REG:
        decode_modrm();
        if (opcode & 2) set_reg(reg_field, word, rm_value(word));
        else set_rm(word, reg_value(reg_field, word));
        break;
    case EXEC_MOV_RM_SREG: decode_modrm(); set_rm(true, m.segs[reg_field & 3]); break;
    case EXEC_MOV_SREG_RM: decode_modrm(); m.segs[reg_field & 3] = rm_value(true); break;
    case EXEC_MOV_ACC_MOFFS: {
        uint16_t offset = fetch16();
        int segment = data_segment(SEG_DS);
        set_reg(REG_AX, word, word ? read16(segment, offset) : read8(segment, offset));
        break;
    }
    case EXEC_MOV_MOFFS_ACC:
        if (word) write16(data_segment(SEG_DS), fetch16(), m.regs[REG_AX]);
        else write8(data_segment(SEG_DS), fetch16(), uint8_t(m.regs[REG_AX]));
        break;
    case EXEC_MOV_REG8_IMM: set_reg8(opcode & 7, fetch8()); break;
    case EXEC_MOV_REG16_IMM: m.regs[opcode & 7] = fetch16(); break;
    case EXEC_MOV_RM_IMM: {
        decode_modrm();
        uint16_t immediate = word ? fetch16() : fetch8();
        set_rm(word, immediate);
        break;
    }
    case EXEC_NOP:
    case EXEC_WAIT: break;  // no coprocessor to wait for
    case EXEC_XCHG_AX: {
        uint16_t value = m.regs[opcode & 7];
        m.regs[opcode & 7] = m.regs[REG_AX];
        m.regs[REG_AX] = value;
        break;
    }
    case EXEC_XCHG_RM: {
        decode_modrm();
        uint16_t value = rm_value(word);
        set_rm(word, reg_value(reg_field, word));
        set_reg(reg_field, word, value);
        break;
    }
    case EXEC_LEA:
        decode_modrm();
        if (!rm.memory && m.processor == CPU_186) return invalid_opcode();
        m.regs[reg_field] = rm.offset;
        break;
    case EXEC_LES: load_far_pointer(opcode, SEG_ES); break;
    case EXEC_LDS: load_far_pointer(opcode, SEG_DS); break;
    case EXEC_XLAT:
        set_reg8(0, read8(data_segment(SEG_DS), uint16_t(m.regs[REG_BX] + uint8_t(m.regs[REG_AX]))));
        break;

    case EXEC_PUSH_REG:
        // The 8086's PUSH SP stores the decremented SP.
        if ((opcode & 7) == REG_SP && m.processor == CPU_8086) {
            m.regs[REG_SP] = uint16_t(m.regs[REG_SP] - 2);
            write16(SEG_SS, m.regs[REG_SP], m.regs[REG_SP]);
        } else {
            push(m.regs[opcode & 7]);
        }
        break;
    case EXEC_PUSH_SEG: push(m.segs[(opcode >> 3) & 3]); break;
    case EXEC_PUSH_RM: push_rm(); break;
    case EXEC_PUSH_IMM8: push(uint16_t(int8_t(fetch8()))); break;
    case EXEC_PUSH_IMM16: push(fetch16()); break;
    case EXEC_POP_REG: {
        uint16_t value = pop();
        m.regs[opcode & 7] = value;
        break;
    }
    case EXEC_POP_SEG: m.segs[(opcode >> 3) & 3] = pop(); break;
    case EXEC_POP_RM: {
        // The operand's address is taken after SP has moved past the value.
        uint16_t value = pop();
        decode_modrm();
        set_rm(true, value);
        break;
    }
    case EXEC_PUSHA: push_all(); break;
    case EXEC_POPA: pop_all(); break;
    case EXEC_PUSHF: push(m.flags); break;
    case EXEC_POPF: set_flags_word(pop()); break;
    case EXEC_SAHF: m.flags = uint16_t((m.flags & 0xFF2A) | ((m.regs[REG_AX] >> 8) & 0xD5)); break;
    case EXEC_LAHF: set_reg8(4, uint8_t(m.flags)); break;
    // No device answers the ports: reads see a floating bus, writes vanish.
    case EXEC_IN_IMM: fetch8(); set_reg(REG_AX, word, 0xFFFF); break;
    case EXEC_IN_DX: set_reg(REG_AX, word, 0xFFFF); break;
    case EXEC_OUT_IMM: fetch8(); break;
    case EXEC_OUT_DX: break;

    case EXEC_JMP_SHORT: jump_short_if(true); break;
    case EXEC_JMP_NEAR: jump_relative(fetch16()); break;
    case EXEC_JMP_FAR: {
        uint16_t offset = fetch16();
        m.segs[SEG_CS] = fetch16();
        m.ip = offset;
        break;
    }
    case EXEC_JMP_RM: decode_modrm(); m.ip = rm_value(true); break;
    case EXEC_JMP_FAR_MEM: far_through_memory(false); break;
    case EXEC_CALL_NEAR: {
        uint16_t displacement = fetch16();
        push(m.ip);
        jump_relative(displacement);
        break;
    }
    case EXEC_CALL_FAR: {
        uint16_t offset = fetch16();
        uint16_t segment = fetch16();
        push(m.segs[SEG_CS]);
        push(m.ip);
        m.ip = offset;
        m.segs[SEG_CS] = segment;
        break;
    }
    case EXEC_CALL_RM: {
        decode_modrm();
        uint16_t target = rm_value(true);
        push(m.ip);
        m.ip = target;
        break;
    }
    case EXEC_CALL_FAR_MEM: far_through_memory(true); break;
    case EXEC_RET: m.ip = pop(); break;
    case EXEC_RET_IMM: {
        uint16_t release = fetch16();
        m.ip = pop();
        m.regs[REG_SP] = uint16_t(m.regs[REG_SP] + release);
        break;
    }
    case EXEC_RETF: far_return(0); break;
    case EXEC_RETF_IMM: far_return(fetch16()); break;
    case EXEC_JCC: jump_short_if(condition_holds(opcode & 0x0F)); break;
    case EXEC_LOOPNE:
    case EXEC_LOOPE:
    case EXEC_LOOP: {
        m.regs[REG_CX] = uint16_t(m.regs[REG_CX] - 1);
        bool zero_agrees = family == EXEC_LOOP || flag(FLAG_ZF) == (family == EXEC_LOOPE);
        jump_short_if(m.regs[REG_CX] != 0 && zero_agrees);
        break;
    }
    case EXEC_JCXZ: jump_short_if(m.regs[REG_CX] == 0); break;
    case EXEC_INT3: interrupt(VECTOR_BREAKPOINT); break;
    case EXEC_INT: interrupt(fetch8()); break;
    case EXEC_INTO: if (flag(FLAG_OF)) interrupt(VECTOR_OVERFLOW); break;
    case EXEC_IRET: interrupt_return(); break;
    case EXEC_ENTER: enter(); break;
    case EXEC_LEAVE:
        m.regs[REG_SP] = m.regs[REG_BP];
        m.regs[REG_BP] = pop();
        break;
    case EXEC_BOUND: check_bounds(); break;

    case EXEC_MOVS:
    case EXEC_CMPS:
    case EXEC_STOS:
    case EXEC_LODS:
    case EXEC_SCAS:
    case EXEC_INS:
    case EXEC_OUTS: execute_string(family, word); break;

    case EXEC_CLC: set_flag(FLAG_CF, false); break;
    case EXEC_STC: set_flag(FLAG_CF, true); break;
    case EXEC_CMC: set_flag(FLAG_CF, !flag(FLAG_CF)); break;
    case EXEC_CLD: set_flag(FLAG_DF, false); break;
    case EXEC_STD: set_flag(FLAG_DF, true); break;
    case EXEC_CLI: set_flag(FLAG_IF, false); break;
    case EXEC_STI: set_flag(FLAG_IF, true); break;
    case EXEC_HLT:
        m.ending = ENDING_HALT;
        std::snprintf(m.message, sizeof m.message, "HLT at %04X:%04X", m.segs[SEG_CS], uint16_t(m.ip - 1));
        break;
    case EXEC_ESC: decode_modrm(); break;  // no coprocessor
    default: undefined(opcode); break;
    }
}

// Prefixes first: segment overrides, LOCK and the repeats, in any number;
// then the instruction, by the processor's dispatch table.
void Execution::run() {
    const Family* first = dispatch_tables.first[m.processor];
    start_ip = m.ip;
    for (;;) {
        uint16_t at = m.ip;
        uint8_t opcode = fetch8();
        Family family = first[opcode];
        if (family == EXEC_BY_REG_FIELD) {
            family = dispatch_tables.by_field[m.processor][opcode][(read8(SEG_CS, m.ip) >> 3) & 7];
        } else if (family == EXEC_SERVICE_TRAP) {
            if (m.services && m.segs[SEG_CS] == BIOS_SEGMENT && at < 0x200 && (at & 1) == 0) {
                return service_trap();
            }
            family = dispatch_tables.service_trap_fallback[m.processor];  // the 8086 takes F1 as LOCK
        }
        switch (family) {
        case EXEC_SEGMENT: segment_override = (opcode >> 3) & 3; continue;
        case EXEC_LOCK: continue;
        case EXEC_REP:
        case EXEC_REPNE: repeat = opcode; continue;
        default: return execute(family, opcode);
        }
    }
}

}  // namespace

void reset_machine(Machine& machine) {
    std::memset(static_cast<void*>(&machine), 0, sizeof machine);
    machine.flags = FLAGS_FIXED_ONES;
    machine.limit = DEFAULT_INSTRUCTION_LIMIT;
}

void step_instruction(Machine& machine) {
    bool trap = (machine.flags & FLAG_TF) != 0;
    Execution(machine).run();
    ++machine.executed;
    if (trap && machine.ending == ENDING_NONE) {
        Execution(machine).interrupt(VECTOR_SINGLE_STEP);
    }
}

Ending run_machine(Machine& machine, uint64_t count) {
    for (uint64_t done = 0; done < count && machine.ending == ENDING_NONE; ++done) {
        if (machine.executed >= machine.limit) {
            machine.ending = ENDING_LIMIT;
            break;
        }
        step_instruction(machine);
    }
    return machine.ending;
}

}  // namespace vexa
