// The disassembler on bytes chosen for their edges: prefixes, every ModRM
// form, immediates, the 8086's aliases beside the 80186's forms, undefined
// opcodes and input cut short.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isa/disassemble.h"

namespace {

using vexa::DECODE_186;
using vexa::DECODE_8086;

struct Case {
    vexa::DecodeProcessor processor;
    std::vector<uint8_t> bytes;
    const char* text;
    int length;        // 0: all the bytes
    bool defined = true;
    bool prefix = false;
};

void check(const std::vector<Case>& cases, uint16_t address = 0x100) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        vexa::Disassembly d = vexa::disassemble(c.bytes.data(), c.bytes.size(), address, c.processor);
        EXPECT_EQ(std::string(d.text), c.text);
        EXPECT_EQ(d.length, c.length ? c.length : int(c.bytes.size()));
        EXPECT_EQ(d.defined, c.defined);
        EXPECT_EQ(d.prefix, c.prefix);
    }
}

TEST(Disassemble, Prefixes) {
    check({
        {DECODE_8086, {0x26, 0x8B, 0x05}, "MOV AX,ES:[DI]", 0},
        {DECODE_8086, {0x36, 0xC6, 0x46, 0xFF, 0xFF}, "MOV BYTE PTR SS:[BP-1],0FFH", 0},
        {DECODE_8086, {0x3E, 0x90}, "DS: NOP", 0},
        // The source of MOVS, CMPS and LODS takes the override; STOS and SCAS have none.
        {DECODE_8086, {0xF3, 0x2E, 0xA4}, "REP MOVS BYTE PTR [DI],CS:[SI]", 0},
        {DECODE_8086, {0x36, 0xA7}, "CMPS WORD PTR SS:[SI],[DI]", 0},
        {DECODE_8086, {0x26, 0xAD}, "LODS WORD PTR ES:[SI]", 0},
        {DECODE_8086, {0x26, 0xAE}, "ES: SCASB", 0},
        {DECODE_8086, {0xF2, 0x26, 0xAB}, "ES: REPNE STOSW", 0},
        // REPE before the comparing string instructions, REP before the others.
        {DECODE_8086, {0xF3, 0xA6}, "REPE CMPSB", 0},
        {DECODE_8086, {0xF3, 0xAA}, "REP STOSB", 0},
        {DECODE_8086, {0xF0, 0x26, 0x87, 0x07}, "LOCK XCHG AX,ES:[BX]", 0},
        {DECODE_8086, {0xF0, 0x2E, 0x40}, "CS: LOCK INC AX", 0},
        // An order no one line writes: the first prefix is a statement of its own.
        {DECODE_8086, {0x26, 0xF3, 0xA4}, "SEG ES", 1, true, true},
        {DECODE_8086, {0xF3, 0xF0, 0xA4}, "REP", 1, true, true},
        {DECODE_8086, {0xF0, 0xF2, 0xA4}, "LOCK", 1, true, true},
        {DECODE_8086, {0x36}, "SEG SS", 1, true, true},
        {DECODE_8086, {0xF2, 0x3E}, "REPNE", 1, true, true},
        // The 8086 takes F1 as LOCK; the 80186 has nothing there.
        {DECODE_8086, {0xF1, 0xFF, 0x07}, "LOCK INC WORD PTR [BX]", 0},
        {DECODE_186, {0xF1, 0xFF, 0x07}, "DB 0F1H", 1, false},
    });
}

TEST(Disassemble, EveryModrmForm) {
    check({
        {DECODE_8086, {0x8B, 0x00}, "MOV AX,[BX+SI]", 0},
        {DECODE_8086, {0x8B, 0x36, 0x34, 0x12}, "MOV SI,[1234H]", 0},
        {DECODE_8086, {0x8B, 0x3F}, "MOV DI,[BX]", 0},
        // A byte displacement is signed; [BP] carries a zero one.
        {DECODE_8086, {0x8A, 0x40, 0x7F}, "MOV AL,[BX+SI+7FH]", 0},
        {DECODE_8086, {0x8A, 0x49, 0x80}, "MOV CL,[BX+DI-80H]", 0},
        {DECODE_8086, {0x8A, 0x76, 0x00}, "MOV DH,[BP]", 0},
        {DECODE_8086, {0x8A, 0x76, 0x09}, "MOV DH,[BP+9]", 0},
        {DECODE_8086, {0x8A, 0x7F, 0x00}, "MOV BH,[BX+0]", 0},
        // A word displacement is the offset it adds.
        {DECODE_8086, {0x8B, 0x80, 0x34, 0x12}, "MOV AX,[BX+SI+1234H]", 0},
        {DECODE_8086, {0x8B, 0x86, 0xFF, 0xFF}, "MOV AX,[BP+0FFFFH]", 0},
        {DECODE_8086, {0x8B, 0x87, 0x10, 0x00}, "MOV AX,[BX+10H]", 0},
        // Registers: the width is the form's.
        {DECODE_8086, {0x8A, 0xC7}, "MOV AL,BH", 0},
        {DECODE_8086, {0x89, 0xD8}, "MOV AX,BX", 0},
        {DECODE_8086, {0x8E, 0xC8}, "MOV CS,AX", 0},
        // Memory says its size unless a register beside it does.
        {DECODE_8086, {0xFE, 0x07}, "INC BYTE PTR [BX]", 0},
        {DECODE_8086, {0xD3, 0x27}, "SHL WORD PTR [BX],CL", 0},
        {DECODE_8086, {0xFF, 0x37}, "PUSH WORD PTR [BX]", 0},
        {DECODE_8086, {0xFF, 0x27}, "JMP WORD PTR [BX]", 0},
        {DECODE_8086, {0xFF, 0x1F}, "CALL DWORD PTR [BX]", 0},
        {DECODE_8086, {0x8D, 0x06, 0x34, 0x12}, "LEA AX,[1234H]", 0},
        {DECODE_8086, {0xD8, 0x07}, "ESC [BX]", 0},
        {DECODE_8086, {0xDF, 0xC1}, "ESC 38H,CX", 0},
        // TEST and XCHG: the register first.
        {DECODE_8086, {0x85, 0xC3}, "TEST AX,BX", 0},
        {DECODE_8086, {0x84, 0x14}, "TEST DL,[SI]", 0},
        {DECODE_8086, {0x86, 0x72, 0x01}, "XCHG DH,[BP+SI+1]", 0},
    });
}

TEST(Disassemble, ImmediatesAndTargets) {
    check({
        {DECODE_8086, {0xB8, 0x34, 0x12}, "MOV AX,1234H", 0},
        {DECODE_8086, {0xB0, 0xA0}, "MOV AL,0A0H", 0},
        // The 83 group's byte is sign-extended; 80's and a shift count are not.
        {DECODE_8086, {0x83, 0xC3, 0xFF}, "ADD BX,-1", 0},
        {DECODE_8086, {0x83, 0xE7, 0x80}, "AND DI,-80H", 0},
        {DECODE_8086, {0x83, 0xC0, 0x7E}, "ADD AX,7EH", 0},
        {DECODE_8086, {0x80, 0xF6, 0x80}, "XOR DH,80H", 0},
        {DECODE_8086, {0x81, 0xFC, 0x7F, 0xFF}, "CMP SP,0FF7FH", 0},
        {DECODE_186, {0xC1, 0xE2, 0xFF}, "SHL DX,0FFH", 0},
        {DECODE_8086, {0xE5, 0xFF}, "IN AX,0FFH", 0},
        {DECODE_8086, {0xCC}, "INT 3", 0},
        {DECODE_8086, {0xC2, 0xFF, 0xFF}, "RETN 0FFFFH", 0},
        {DECODE_8086, {0xC3}, "RETN", 0},
        {DECODE_8086, {0xD5, 0x0A}, "AAD", 0},
        {DECODE_8086, {0xD4, 0x10}, "AAM 10H", 0},
        // Targets from the instruction's end, its prefixes counted, within the segment.
        {DECODE_8086, {0xEB, 0xFE}, "JMP SHORT 0100H", 0},
        {DECODE_8086, {0xE9, 0x00, 0x00}, "JMP 0103H", 0},
        {DECODE_8086, {0xE9, 0xFD, 0xFE}, "JMP 0000H", 0},
        {DECODE_8086, {0x74, 0x80}, "JE 0082H", 0},
        {DECODE_8086, {0x2E, 0xE2, 0xFD}, "CS: LOOP 0100H", 0},
        {DECODE_8086, {0xEA, 0x20, 0x00, 0x00, 0x10}, "JMP 1000H:0020H", 0},
        {DECODE_8086, {0x9A, 0xCD, 0xAB, 0x00, 0xF0}, "CALL 0F000H:0ABCDH", 0},
    });
    check({{DECODE_8086, {0xE9, 0x10, 0x00}, "JMP 0003H", 0}, {DECODE_8086, {0x75, 0x80}, "JNE 0FF72H", 0}},
          0xFFF0);
}

TEST(Disassemble, AliasesOfThe8086AndFormsOfThe80186) {
    check({
        {DECODE_8086, {0x60, 0x02}, "JO 0104H", 0},
        {DECODE_186, {0x60}, "PUSHA", 1},
        {DECODE_8086, {0x62, 0x07}, "JB 0109H", 0},
        {DECODE_186, {0x62, 0x07}, "BOUND AX,[BX]", 0},
        {DECODE_8086, {0x6A, 0xFF}, "JP 0101H", 0},
        {DECODE_186, {0x6A, 0xFF}, "PUSH -1", 0},
        {DECODE_186, {0x68, 0x80, 0x00}, "PUSH 80H", 0},
        {DECODE_186, {0x6B, 0xC3, 0x0A}, "IMUL AX,BX,0AH", 0},
        {DECODE_186, {0x6B, 0x93, 0x00, 0xFE, 0xFE}, "IMUL DX,[BP+DI+0FE00H],-2", 0},
        {DECODE_8086, {0xC0, 0x04, 0x00}, "RETN 4", 0},
        {DECODE_186, {0xC0, 0xE0, 0x07}, "SHL AL,7", 0},
        {DECODE_8086, {0xC8, 0x08, 0x00}, "RETF 8", 0},
        {DECODE_186, {0xC8, 0x08, 0x00, 0x00}, "ENTER 8,0", 0},
        {DECODE_186, {0xF3, 0x6F}, "REP OUTSW", 0},
        {DECODE_186, {0x2E, 0x6F}, "CS: OUTSW", 0},
        {DECODE_8086, {0x0F}, "POP CS", 0},
        {DECODE_8086, {0xD6}, "SALC", 0},
        {DECODE_8086, {0xFF, 0xF8}, "PUSH AX", 0},
        {DECODE_8086, {0x82, 0xC1, 0x05}, "ADD CL,5", 0},
        {DECODE_8086, {0xF6, 0xC8, 0x01}, "TEST AL,1", 0},
        {DECODE_8086, {0x8C, 0xE0}, "MOV AX,ES", 0},
    });
}

TEST(Disassemble, UndefinedOpcodesAreTheirBytes) {
    check({
        {DECODE_186, {0x0F, 0x00}, "DB 0FH", 1, false},
        {DECODE_186, {0xFF, 0xF8}, "DB 0FFH,0F8H", 2, false},
        {DECODE_8086, {0xFE, 0xD0}, "DB 0FEH,0D0H", 2, false},
        {DECODE_8086, {0x8F, 0x48, 0x05}, "DB 8FH,48H", 2, false},
        // A register where only memory belongs.
        {DECODE_8086, {0x8D, 0xC3}, "DB 8DH,0C3H", 0, false},
        {DECODE_186, {0x62, 0xC0}, "DB 62H,0C0H", 0, false},
        // With prefixes, the whole.
        {DECODE_186, {0xF3, 0x26, 0x0F}, "DB 0F3H,26H,0FH", 0, false},
    });
}

TEST(Disassemble, InputCutShort) {
    check({
        {DECODE_8086, {}, "", 0, false},
        {DECODE_8086, {0xB8, 0x34}, "DB 0B8H,34H", 0, false},
        {DECODE_8086, {0x8B}, "DB 8BH", 0, false},
        {DECODE_8086, {0x81, 0x06, 0x34, 0x12, 0x01}, "DB 81H,6,34H,12H,1", 0, false},
        {DECODE_8086, {0xF3, 0x26, 0xEA, 0x00}, "DB 0F3H,26H,0EAH,0", 0, false},
        {DECODE_186, {0xC8, 0x08, 0x00}, "DB 0C8H,8,0", 0, false},
    });
    // Only `available` bytes are read, whatever follows them.
    const uint8_t bytes[] = {0xB8, 0x34, 0x12};
    EXPECT_EQ(std::string(vexa::disassemble(bytes, 3, 0, DECODE_8086).text), "MOV AX,1234H");
    EXPECT_EQ(vexa::disassemble(bytes, 2, 0, DECODE_8086).length, 2);
}

// Every first byte and ModRM byte: an instruction takes what it needs and
// no more, and one byte fewer is data, never read past.
TEST(Disassemble, EveryOpcodeTakesItsLengthAndNoMore) {
    for (vexa::DecodeProcessor processor : {DECODE_8086, DECODE_186}) {
        for (int opcode = 0; opcode < 256; ++opcode) {
            for (int modrm = 0; modrm < 256; ++modrm) {
                uint8_t bytes[16] = {uint8_t(opcode), uint8_t(modrm), 0x81, 0x82, 0x83, 0x84, 0x85, 0x86};
                vexa::Disassembly whole = vexa::disassemble(bytes, sizeof bytes, 0, processor);
                ASSERT_GE(whole.length, 1);
                ASSERT_LE(whole.length, 8) << whole.text;
                ASSERT_NE(whole.text[0], 0);
                if (whole.length == 1 || whole.prefix) continue;
                vexa::Disassembly cut = vexa::disassemble(bytes, size_t(whole.length - 1), 0, processor);
                if (cut.prefix) continue;  // the prefixes alone are left
                EXPECT_EQ(cut.length, whole.length - 1) << whole.text;
                EXPECT_FALSE(cut.defined) << whole.text;
                EXPECT_EQ(std::string(cut.text, 3), "DB ") << whole.text;
            }
        }
    }
}

}  // namespace
