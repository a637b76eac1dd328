// The instruction set as one table of forms, written as the processor
// manual writes them: the assembler's encoders take their opcodes from it,
// the disassembler and the interpreter decode by it.
#pragma once

#include <cstdint>

namespace vexa {

// The processors a form belongs to.
enum Processor : uint8_t {
    PROCESSOR_8086 = 0,   // every processor of the family
    PROCESSOR_186 = 1,    // the 80186 and later
    PROCESSOR_ALIAS = 2,  // another opcode of a form, decoded by both; never assembled
    PROCESSOR_8086_ALIAS = 3,  // an alias only the 8086 decodes; the 80186 has an instruction there or none
};

// The operands of a form, in the manual's notation.
enum FormOperand : uint8_t {
    FO_NONE,
    FO_R8,        // r8: a byte register, in the ModRM reg field
    FO_R16,       // r16
    FO_RM8,       // r/m8
    FO_RM16,      // r/m16
    FO_M,         // m: memory of any size (LEA)
    FO_M16_16,    // m16:16: a far pointer in memory
    FO_M16_AND_16,  // m16&16: a pair of bounds in memory
    FO_M8,        // m8: a string instruction's byte operand
    FO_M16,       // m16
    FO_SREG,      // Sreg, in the ModRM reg field
    FO_AL,
    FO_AX,
    FO_CL,
    FO_DX,
    FO_ES,
    FO_CS,
    FO_SS,
    FO_DS,
    FO_ONE,       // 1: the shift count
    FO_THREE,     // 3: INT 3
    FO_IMM8,      // imm8 (sign-extended where the form's operand is a word)
    FO_IMM16,
    FO_REL8,
    FO_REL16,
    FO_PTR16_16,  // ptr16:16: segment and offset in the instruction
    FO_MOFFS8,    // moffs8: a direct address
    FO_MOFFS16,
};

// What follows the opcode (and the ModRM byte) in the instruction.
enum FormTrailer : uint8_t { FT_NONE, FT_IB, FT_IW, FT_CB, FT_CW, FT_CD };

// Not constexpr: a row that calls it fails to compile.
inline int misspelt_form(const char*) { return 0; }

constexpr int FORM_OPERANDS = 3;
constexpr int FORM_MNEMONIC_CHARS = 8;
constexpr int8_t NO_DIGIT = -1;

// One row as written, and as read from that writing.
struct Form {
    const char* syntax;    // "ADD r/m16,imm8"
    const char* encoding;  // "83 /0 ib"
    Processor processor;

    char mnemonic[FORM_MNEMONIC_CHARS + 1] = {};
    FormOperand operands[FORM_OPERANDS] = {};
    uint8_t operand_count = 0;
    uint8_t opcode = 0;
    uint8_t second_byte = 0;  // a fixed second byte (AAM: D4 0A)
    bool has_second_byte = false;
    bool modrm = false;           // a ModRM byte follows the opcode
    int8_t digit = NO_DIGIT;      // /digit in the reg field, or NO_DIGIT (/r or no ModRM)
    bool register_in_opcode = false;  // +rb, +rw
    FormTrailer trailers[2] = {};

    // Reads `syntax` and `encoding`: constexpr, so a misspelt row fails to compile.
    constexpr Form(const char* text, const char* bytes, Processor cpu = PROCESSOR_8086)
        : syntax(text), encoding(bytes), processor(cpu) {
        const char* p = text;
        int n = 0;
        while (*p && *p != ' ') mnemonic[n++] = *p++;
        while (*p == ' ') ++p;
        while (*p) {
            const char* end = p;
            while (*end && *end != ',') ++end;
            operands[operand_count++] = read_operand(p, end);
            p = *end ? end + 1 : end;
        }
        read_encoding(bytes);
    }

private:
    static constexpr bool same(const char* begin, const char* end, const char* word) {
        for (; begin < end; ++begin, ++word) {
            if (*begin != *word) return false;
        }
        return *word == 0;
    }
    static constexpr FormOperand read_operand(const char* begin, const char* end) {
        struct Name { const char* text; FormOperand operand; };
        constexpr Name names[] = {
            {"r8", FO_R8},       {"r16", FO_R16},       {"r/m8", FO_RM8},     {"r/m16", FO_RM16},
            {"m", FO_M},         {"m16:16", FO_M16_16}, {"m16&16", FO_M16_AND_16},
            {"m8", FO_M8},       {"m16", FO_M16},       {"Sreg", FO_SREG},    {"AL", FO_AL},
            {"AX", FO_AX},       {"CL", FO_CL},         {"DX", FO_DX},        {"ES", FO_ES},
            {"CS", FO_CS},       {"SS", FO_SS},         {"DS", FO_DS},        {"1", FO_ONE},
            {"3", FO_THREE},     {"imm8", FO_IMM8},     {"imm16", FO_IMM16},  {"rel8", FO_REL8},
            {"rel16", FO_REL16}, {"ptr16:16", FO_PTR16_16}, {"moffs8", FO_MOFFS8}, {"moffs16", FO_MOFFS16},
        };
        for (const Name& name : names) {
            if (same(begin, end, name.text)) return name.operand;
        }
        return FormOperand(misspelt_form("unknown operand"));
    }
    static constexpr int hex_digit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return misspelt_form("not a hexadecimal digit");
    }
    constexpr void read_encoding(const char* p) {
        int bytes = 0, trailer_count = 0;
        while (*p) {
            while (*p == ' ') ++p;
            const char* end = p;
            while (*end && *end != ' ') ++end;
            if (*p == '/') {
                modrm = true;
                if (p[1] != 'r') digit = int8_t(p[1] - '0');
            } else if (same(p, end, "ib") || same(p, end, "iw") || same(p, end, "cb") || same(p, end, "cw") ||
                       same(p, end, "cd")) {
                trailers[trailer_count++] = p[0] == 'i' ? (p[1] == 'b' ? FT_IB : FT_IW)
                                                        : (p[1] == 'b' ? FT_CB : p[1] == 'w' ? FT_CW : FT_CD);
            } else {
                uint8_t value = uint8_t(hex_digit(p[0]) * 16 + hex_digit(p[1]));
                if (bytes++ == 0) opcode = value;
                else second_byte = value, has_second_byte = true;
                if (end - p > 2) register_in_opcode = true;  // "50+rw"
            }
            p = end;
        }
    }
};

// The instruction set. Several spellings of one encoding (JB, JC, JNAE)
// each have a row; the first row of an encoding is the one a disassembler
// prints. Rows of one mnemonic stand together, in the order an encoder
// prefers them.
inline constexpr Form forms[] = {
    // Arithmetic and logic: r/m,reg / reg,r/m / accumulator,immediate / group 80-83.
    {"ADD r/m8,r8", "00 /r"}, {"ADD r/m16,r16", "01 /r"}, {"ADD r8,r/m8", "02 /r"}, {"ADD r16,r/m16", "03 /r"},
    {"ADD AL,imm8", "04 ib"}, {"ADD AX,imm16", "05 iw"},
    {"ADD r/m8,imm8", "80 /0 ib"}, {"ADD r/m16,imm16", "81 /0 iw"}, {"ADD r/m16,imm8", "83 /0 ib"},
    {"OR r/m8,r8", "08 /r"}, {"OR r/m16,r16", "09 /r"}, {"OR r8,r/m8", "0A /r"}, {"OR r16,r/m16", "0B /r"},
    {"OR AL,imm8", "0C ib"}, {"OR AX,imm16", "0D iw"},
    {"OR r/m8,imm8", "80 /1 ib"}, {"OR r/m16,imm16", "81 /1 iw"}, {"OR r/m16,imm8", "83 /1 ib"},
    {"ADC r/m8,r8", "10 /r"}, {"ADC r/m16,r16", "11 /r"}, {"ADC r8,r/m8", "12 /r"}, {"ADC r16,r/m16", "13 /r"},
    {"ADC AL,imm8", "14 ib"}, {"ADC AX,imm16", "15 iw"},
    {"ADC r/m8,imm8", "80 /2 ib"}, {"ADC r/m16,imm16", "81 /2 iw"}, {"ADC r/m16,imm8", "83 /2 ib"},
    {"SBB r/m8,r8", "18 /r"}, {"SBB r/m16,r16", "19 /r"}, {"SBB r8,r/m8", "1A /r"}, {"SBB r16,r/m16", "1B /r"},
    {"SBB AL,imm8", "1C ib"}, {"SBB AX,imm16", "1D iw"},
    {"SBB r/m8,imm8", "80 /3 ib"}, {"SBB r/m16,imm16", "81 /3 iw"}, {"SBB r/m16,imm8", "83 /3 ib"},
    {"AND r/m8,r8", "20 /r"}, {"AND r/m16,r16", "21 /r"}, {"AND r8,r/m8", "22 /r"}, {"AND r16,r/m16", "23 /r"},
    {"AND AL,imm8", "24 ib"}, {"AND AX,imm16", "25 iw"},
    {"AND r/m8,imm8", "80 /4 ib"}, {"AND r/m16,imm16", "81 /4 iw"}, {"AND r/m16,imm8", "83 /4 ib"},
    {"SUB r/m8,r8", "28 /r"}, {"SUB r/m16,r16", "29 /r"}, {"SUB r8,r/m8", "2A /r"}, {"SUB r16,r/m16", "2B /r"},
    {"SUB AL,imm8", "2C ib"}, {"SUB AX,imm16", "2D iw"},
    {"SUB r/m8,imm8", "80 /5 ib"}, {"SUB r/m16,imm16", "81 /5 iw"}, {"SUB r/m16,imm8", "83 /5 ib"},
    {"XOR r/m8,r8", "30 /r"}, {"XOR r/m16,r16", "31 /r"}, {"XOR r8,r/m8", "32 /r"}, {"XOR r16,r/m16", "33 /r"},
    {"XOR AL,imm8", "34 ib"}, {"XOR AX,imm16", "35 iw"},
    {"XOR r/m8,imm8", "80 /6 ib"}, {"XOR r/m16,imm16", "81 /6 iw"}, {"XOR r/m16,imm8", "83 /6 ib"},
    {"CMP r/m8,r8", "38 /r"}, {"CMP r/m16,r16", "39 /r"}, {"CMP r8,r/m8", "3A /r"}, {"CMP r16,r/m16", "3B /r"},
    {"CMP AL,imm8", "3C ib"}, {"CMP AX,imm16", "3D iw"},
    {"CMP r/m8,imm8", "80 /7 ib"}, {"CMP r/m16,imm16", "81 /7 iw"}, {"CMP r/m16,imm8", "83 /7 ib"},
    // 82 repeats 80 on the 8086.
    {"ADD r/m8,imm8", "82 /0 ib", PROCESSOR_ALIAS}, {"OR r/m8,imm8", "82 /1 ib", PROCESSOR_ALIAS},
    {"ADC r/m8,imm8", "82 /2 ib", PROCESSOR_ALIAS}, {"SBB r/m8,imm8", "82 /3 ib", PROCESSOR_ALIAS},
    {"AND r/m8,imm8", "82 /4 ib", PROCESSOR_ALIAS}, {"SUB r/m8,imm8", "82 /5 ib", PROCESSOR_ALIAS},
    {"XOR r/m8,imm8", "82 /6 ib", PROCESSOR_ALIAS}, {"CMP r/m8,imm8", "82 /7 ib", PROCESSOR_ALIAS},
    {"TEST r/m8,r8", "84 /r"}, {"TEST r/m16,r16", "85 /r"}, {"TEST AL,imm8", "A8 ib"}, {"TEST AX,imm16", "A9 iw"},
    {"TEST r/m8,imm8", "F6 /0 ib"}, {"TEST r/m16,imm16", "F7 /0 iw"},
    {"TEST r/m8,imm8", "F6 /1 ib", PROCESSOR_ALIAS}, {"TEST r/m16,imm16", "F7 /1 iw", PROCESSOR_ALIAS},

    // Single operand: INC, DEC, NOT, NEG, MUL, IMUL, DIV, IDIV.
    {"INC r16", "40+rw"}, {"INC r/m8", "FE /0"}, {"INC r/m16", "FF /0"},
    {"DEC r16", "48+rw"}, {"DEC r/m8", "FE /1"}, {"DEC r/m16", "FF /1"},
    {"NOT r/m8", "F6 /2"}, {"NOT r/m16", "F7 /2"},
    {"NEG r/m8", "F6 /3"}, {"NEG r/m16", "F7 /3"},
    {"MUL r/m8", "F6 /4"}, {"MUL r/m16", "F7 /4"},
    {"IMUL r/m8", "F6 /5"}, {"IMUL r/m16", "F7 /5"},
    {"IMUL r16,r/m16,imm8", "6B /r ib", PROCESSOR_186}, {"IMUL r16,r/m16,imm16", "69 /r iw", PROCESSOR_186},
    {"IMUL r16,imm8", "6B /r ib", PROCESSOR_186}, {"IMUL r16,imm16", "69 /r iw", PROCESSOR_186},
    {"DIV r/m8", "F6 /6"}, {"DIV r/m16", "F7 /6"},
    {"IDIV r/m8", "F6 /7"}, {"IDIV r/m16", "F7 /7"},

    // Shifts and rotates: by one, by CL, by an immediate count.
    {"ROL r/m8,1", "D0 /0"}, {"ROL r/m16,1", "D1 /0"}, {"ROL r/m8,CL", "D2 /0"}, {"ROL r/m16,CL", "D3 /0"},
    {"ROL r/m8,imm8", "C0 /0 ib", PROCESSOR_186}, {"ROL r/m16,imm8", "C1 /0 ib", PROCESSOR_186},
    {"ROR r/m8,1", "D0 /1"}, {"ROR r/m16,1", "D1 /1"}, {"ROR r/m8,CL", "D2 /1"}, {"ROR r/m16,CL", "D3 /1"},
    {"ROR r/m8,imm8", "C0 /1 ib", PROCESSOR_186}, {"ROR r/m16,imm8", "C1 /1 ib", PROCESSOR_186},
    {"RCL r/m8,1", "D0 /2"}, {"RCL r/m16,1", "D1 /2"}, {"RCL r/m8,CL", "D2 /2"}, {"RCL r/m16,CL", "D3 /2"},
    {"RCL r/m8,imm8", "C0 /2 ib", PROCESSOR_186}, {"RCL r/m16,imm8", "C1 /2 ib", PROCESSOR_186},
    {"RCR r/m8,1", "D0 /3"}, {"RCR r/m16,1", "D1 /3"}, {"RCR r/m8,CL", "D2 /3"}, {"RCR r/m16,CL", "D3 /3"},
    {"RCR r/m8,imm8", "C0 /3 ib", PROCESSOR_186}, {"RCR r/m16,imm8", "C1 /3 ib", PROCESSOR_186},
    {"SHL r/m8,1", "D0 /4"}, {"SHL r/m16,1", "D1 /4"}, {"SHL r/m8,CL", "D2 /4"}, {"SHL r/m16,CL", "D3 /4"},
    {"SHL r/m8,imm8", "C0 /4 ib", PROCESSOR_186}, {"SHL r/m16,imm8", "C1 /4 ib", PROCESSOR_186},
    {"SAL r/m8,1", "D0 /4"}, {"SAL r/m16,1", "D1 /4"}, {"SAL r/m8,CL", "D2 /4"}, {"SAL r/m16,CL", "D3 /4"},
    {"SAL r/m8,imm8", "C0 /4 ib", PROCESSOR_186}, {"SAL r/m16,imm8", "C1 /4 ib", PROCESSOR_186},
    {"SHR r/m8,1", "D0 /5"}, {"SHR r/m16,1", "D1 /5"}, {"SHR r/m8,CL", "D2 /5"}, {"SHR r/m16,CL", "D3 /5"},
    {"SHR r/m8,imm8", "C0 /5 ib", PROCESSOR_186}, {"SHR r/m16,imm8", "C1 /5 ib", PROCESSOR_186},
    // The 8086's /6 sets the operand to all ones (SETMO); the 80186 shifts left.
    {"SETMO r/m8,1", "D0 /6", PROCESSOR_8086_ALIAS}, {"SETMO r/m16,1", "D1 /6", PROCESSOR_8086_ALIAS},
    {"SETMO r/m8,CL", "D2 /6", PROCESSOR_8086_ALIAS}, {"SETMO r/m16,CL", "D3 /6", PROCESSOR_8086_ALIAS},
    // The 80186 decodes /6 as SHL: these rows stand after the 8086's, which win there.
    {"SAL r/m8,1", "D0 /6", PROCESSOR_ALIAS}, {"SAL r/m16,1", "D1 /6", PROCESSOR_ALIAS},
    {"SAL r/m8,CL", "D2 /6", PROCESSOR_ALIAS}, {"SAL r/m16,CL", "D3 /6", PROCESSOR_ALIAS},
    {"SAR r/m8,1", "D0 /7"}, {"SAR r/m16,1", "D1 /7"}, {"SAR r/m8,CL", "D2 /7"}, {"SAR r/m16,CL", "D3 /7"},
    {"SAR r/m8,imm8", "C0 /7 ib", PROCESSOR_186}, {"SAR r/m16,imm8", "C1 /7 ib", PROCESSOR_186},

    // Data transfer.
    {"MOV r/m8,r8", "88 /r"}, {"MOV r/m16,r16", "89 /r"}, {"MOV r8,r/m8", "8A /r"}, {"MOV r16,r/m16", "8B /r"},
    {"MOV r/m16,Sreg", "8C /r"}, {"MOV Sreg,r/m16", "8E /r"},
    {"MOV AL,moffs8", "A0 cw"}, {"MOV AX,moffs16", "A1 cw"}, {"MOV moffs8,AL", "A2 cw"}, {"MOV moffs16,AX", "A3 cw"},
    {"MOV r8,imm8", "B0+rb ib"}, {"MOV r16,imm16", "B8+rw iw"},
    {"MOV r/m8,imm8", "C6 /0 ib"}, {"MOV r/m16,imm16", "C7 /0 iw"},
    {"NOP", "90"},  // before XCHG AX,AX, which it is
    {"XCHG AX,r16", "90+rw"}, {"XCHG r16,AX", "90+rw"},
    {"XCHG r/m8,r8", "86 /r"}, {"XCHG r8,r/m8", "86 /r"}, {"XCHG r/m16,r16", "87 /r"}, {"XCHG r16,r/m16", "87 /r"},
    {"LEA r16,m", "8D /r"}, {"LDS r16,m16:16", "C5 /r"}, {"LES r16,m16:16", "C4 /r"},
    {"PUSH r16", "50+rw"}, {"PUSH ES", "06"}, {"PUSH CS", "0E"}, {"PUSH SS", "16"}, {"PUSH DS", "1E"},
    {"PUSH r/m16", "FF /6"}, {"PUSH r/m16", "FF /7", PROCESSOR_8086_ALIAS},
    {"PUSH imm8", "6A ib", PROCESSOR_186}, {"PUSH imm16", "68 iw", PROCESSOR_186},
    {"POP r16", "58+rw"}, {"POP ES", "07"}, {"POP SS", "17"}, {"POP DS", "1F"}, {"POP r/m16", "8F /0"},
    {"POP CS", "0F", PROCESSOR_8086_ALIAS},
    {"PUSHA", "60", PROCESSOR_186}, {"POPA", "61", PROCESSOR_186},
    {"PUSHF", "9C"}, {"POPF", "9D"}, {"SAHF", "9E"}, {"LAHF", "9F"},
    {"IN AL,imm8", "E4 ib"}, {"IN AX,imm8", "E5 ib"}, {"IN AL,DX", "EC"}, {"IN AX,DX", "ED"},
    {"OUT imm8,AL", "E6 ib"}, {"OUT imm8,AX", "E7 ib"}, {"OUT DX,AL", "EE"}, {"OUT DX,AX", "EF"},
    {"XLAT", "D7"}, {"XLATB", "D7"}, {"CBW", "98"}, {"CWD", "99"},

    // Control transfer.
    {"JMP rel8", "EB cb"}, {"JMP rel16", "E9 cw"}, {"JMP ptr16:16", "EA cd"},
    {"JMP r/m16", "FF /4"}, {"JMP m16:16", "FF /5"},
    {"CALL rel16", "E8 cw"}, {"CALL ptr16:16", "9A cd"}, {"CALL r/m16", "FF /2"}, {"CALL m16:16", "FF /3"},
    {"RET", "C3"}, {"RET imm16", "C2 iw"}, {"RETN", "C3"}, {"RETN imm16", "C2 iw"},
    {"RETF", "CB"}, {"RETF imm16", "CA iw"},
    {"JO rel8", "70 cb"}, {"JNO rel8", "71 cb"},
    {"JB rel8", "72 cb"}, {"JC rel8", "72 cb"}, {"JNAE rel8", "72 cb"},
    {"JAE rel8", "73 cb"}, {"JNB rel8", "73 cb"}, {"JNC rel8", "73 cb"},
    {"JE rel8", "74 cb"}, {"JZ rel8", "74 cb"}, {"JNE rel8", "75 cb"}, {"JNZ rel8", "75 cb"},
    {"JBE rel8", "76 cb"}, {"JNA rel8", "76 cb"}, {"JA rel8", "77 cb"}, {"JNBE rel8", "77 cb"},
    {"JS rel8", "78 cb"}, {"JNS rel8", "79 cb"},
    {"JP rel8", "7A cb"}, {"JPE rel8", "7A cb"}, {"JNP rel8", "7B cb"}, {"JPO rel8", "7B cb"},
    {"JL rel8", "7C cb"}, {"JNGE rel8", "7C cb"}, {"JGE rel8", "7D cb"}, {"JNL rel8", "7D cb"},
    {"JLE rel8", "7E cb"}, {"JNG rel8", "7E cb"}, {"JG rel8", "7F cb"}, {"JNLE rel8", "7F cb"},
    {"LOOPNE rel8", "E0 cb"}, {"LOOPNZ rel8", "E0 cb"}, {"LOOPE rel8", "E1 cb"}, {"LOOPZ rel8", "E1 cb"},
    {"LOOP rel8", "E2 cb"}, {"JCXZ rel8", "E3 cb"},
    {"INT 3", "CC"}, {"INT3", "CC"}, {"INT imm8", "CD ib"}, {"INTO", "CE"}, {"IRET", "CF"},
    {"ENTER imm16,imm8", "C8 iw ib", PROCESSOR_186}, {"LEAVE", "C9", PROCESSOR_186},
    {"BOUND r16,m16&16", "62 /r", PROCESSOR_186},
    // On the 8086, 60-6F repeat the conditional jumps, C0/C1 the near
    // returns and C8/C9 the far ones.
    {"JO rel8", "60 cb", PROCESSOR_8086_ALIAS}, {"JNO rel8", "61 cb", PROCESSOR_8086_ALIAS},
    {"JB rel8", "62 cb", PROCESSOR_8086_ALIAS}, {"JAE rel8", "63 cb", PROCESSOR_8086_ALIAS},
    {"JE rel8", "64 cb", PROCESSOR_8086_ALIAS}, {"JNE rel8", "65 cb", PROCESSOR_8086_ALIAS},
    {"JBE rel8", "66 cb", PROCESSOR_8086_ALIAS}, {"JA rel8", "67 cb", PROCESSOR_8086_ALIAS},
    {"JS rel8", "68 cb", PROCESSOR_8086_ALIAS}, {"JNS rel8", "69 cb", PROCESSOR_8086_ALIAS},
    {"JP rel8", "6A cb", PROCESSOR_8086_ALIAS}, {"JNP rel8", "6B cb", PROCESSOR_8086_ALIAS},
    {"JL rel8", "6C cb", PROCESSOR_8086_ALIAS}, {"JGE rel8", "6D cb", PROCESSOR_8086_ALIAS},
    {"JLE rel8", "6E cb", PROCESSOR_8086_ALIAS}, {"JG rel8", "6F cb", PROCESSOR_8086_ALIAS},
    {"RET imm16", "C0 iw", PROCESSOR_8086_ALIAS}, {"RET", "C1", PROCESSOR_8086_ALIAS},
    {"RETF imm16", "C8 iw", PROCESSOR_8086_ALIAS}, {"RETF", "C9", PROCESSOR_8086_ALIAS},
    // C0 /6 and C1 /6 shift left on the 80186; on the 8086 the returns above win.
    {"SAL r/m8,imm8", "C0 /6 ib", PROCESSOR_ALIAS}, {"SAL r/m16,imm8", "C1 /6 ib", PROCESSOR_ALIAS},

    // Strings.
    {"MOVSB", "A4"}, {"MOVSW", "A5"}, {"MOVS m8,m8", "A4"}, {"MOVS m16,m16", "A5"},
    {"CMPSB", "A6"}, {"CMPSW", "A7"}, {"CMPS m8,m8", "A6"}, {"CMPS m16,m16", "A7"},
    {"STOSB", "AA"}, {"STOSW", "AB"}, {"STOS m8", "AA"}, {"STOS m16", "AB"},
    {"LODSB", "AC"}, {"LODSW", "AD"}, {"LODS m8", "AC"}, {"LODS m16", "AD"},
    {"SCASB", "AE"}, {"SCASW", "AF"}, {"SCAS m8", "AE"}, {"SCAS m16", "AF"},
    {"INSB", "6C", PROCESSOR_186}, {"INSW", "6D", PROCESSOR_186},
    {"INS m8,DX", "6C", PROCESSOR_186}, {"INS m16,DX", "6D", PROCESSOR_186},
    {"OUTSB", "6E", PROCESSOR_186}, {"OUTSW", "6F", PROCESSOR_186},
    {"OUTS DX,m8", "6E", PROCESSOR_186}, {"OUTS DX,m16", "6F", PROCESSOR_186},

    // Prefixes.
    {"LOCK", "F0"}, {"REPNE", "F2"}, {"REPNZ", "F2"}, {"REP", "F3"}, {"REPE", "F3"}, {"REPZ", "F3"},
    {"SEG ES", "26"}, {"SEG CS", "2E"}, {"SEG SS", "36"}, {"SEG DS", "3E"},
    {"LOCK", "F1", PROCESSOR_8086_ALIAS},

    // Fixed encodings.
    {"AAA", "37"}, {"AAS", "3F"}, {"DAA", "27"}, {"DAS", "2F"}, {"AAM", "D4 0A"}, {"AAD", "D5 0A"},
    {"CLC", "F8"}, {"STC", "F9"}, {"CMC", "F5"}, {"CLD", "FC"}, {"STD", "FD"}, {"CLI", "FA"}, {"STI", "FB"},
    {"HLT", "F4"}, {"WAIT", "9B"},
    {"SALC", "D6", PROCESSOR_8086_ALIAS},
    // ESC: the coprocessor's opcode in the low bits of D8-DF and the reg field.
    {"ESC r/m16", "D8 /r"}, {"ESC r/m16", "D9 /r"}, {"ESC r/m16", "DA /r"}, {"ESC r/m16", "DB /r"},
    {"ESC r/m16", "DC /r"}, {"ESC r/m16", "DD /r"}, {"ESC r/m16", "DE /r"}, {"ESC r/m16", "DF /r"},
};
inline constexpr int FORM_COUNT = int(sizeof forms / sizeof forms[0]);

constexpr bool same_form_text(const char* a, const char* b) {
    for (; *a || *b; ++a, ++b) {
        if (*a != *b) return false;
    }
    return true;
}

// The row written as `syntax` (the first such row); a misspelling fails to compile.
consteval const Form& form_of(const char* syntax) {
    for (const Form& form : forms) {
        if (form.processor <= PROCESSOR_186 && same_form_text(form.syntax, syntax)) return form;
    }
    misspelt_form("no such form");
    return forms[0];
}
consteval uint8_t opcode_of(const char* syntax) { return form_of(syntax).opcode; }
consteval uint8_t digit_of(const char* syntax) { return uint8_t(form_of(syntax).digit); }
// The form's ModRM byte with the /digit in its reg field and `mod`, r/m zero.
consteval uint8_t modrm_of(const char* syntax, uint8_t mod) { return uint8_t(mod << 6 | digit_of(syntax) << 3); }

// ---- Decoding ------------------------------------------------------------------

// The processor a decoder stands for.
enum DecodeProcessor : uint8_t { DECODE_8086, DECODE_186 };

// For each first byte, and each reg field where the form has a /digit, the
// row that byte decodes as on each processor: an index into forms, or -1
// for an undefined opcode.
struct DecodeIndex {
    int16_t row[2][256][8];
};

constexpr bool decodes_on(const Form& form, DecodeProcessor processor) {
    if (form.processor == PROCESSOR_186) return processor == DECODE_186;
    if (form.processor == PROCESSOR_8086_ALIAS) return processor == DECODE_8086;
    return true;
}

constexpr DecodeIndex build_decode_index() {
    DecodeIndex index{};
    for (auto& processor : index.row)
        for (auto& opcode : processor)
            for (int16_t& row : opcode) row = -1;
    for (int p = 0; p < 2; ++p) {
        for (int i = 0; i < FORM_COUNT; ++i) {
            const Form& form = forms[i];
            if (!decodes_on(form, DecodeProcessor(p))) continue;
            int registers = form.register_in_opcode ? 8 : 1;
            for (int r = 0; r < registers; ++r) {
                for (int field = 0; field < 8; ++field) {
                    if (form.digit != NO_DIGIT && form.digit != field) continue;
                    int16_t& row = index.row[p][form.opcode + r][field];
                    if (row < 0) row = int16_t(i);
                }
            }
        }
    }
    return index;
}
inline constexpr DecodeIndex decode_index = build_decode_index();

// The row `opcode` (with `reg_field` of the ModRM byte after it, where the
// opcode has one) decodes as, or null.
constexpr const Form* decode_form(DecodeProcessor processor, uint8_t opcode, uint8_t reg_field) {
    int16_t row = decode_index.row[processor][opcode][reg_field & 7];
    return row < 0 ? nullptr : &forms[row];
}

}  // namespace vexa
