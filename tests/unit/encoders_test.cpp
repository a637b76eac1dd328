// The shared ModRM encoders on operands read by the operand parser.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "encode/encode.h"
#include "support/case_file.h"
#include "support/test_assembly.h"

namespace {

using namespace vexa;

struct EncoderCase {
    const char* operands;
    std::function<int(Statement&)> encode;
    int result;
    const char* bytes;  // code_buf after the call, also after a failure
};

int alu(Statement& s, uint8_t digit) {
    return encode_alu_immediate(s, uint8_t(0x04 | digit << 3), 0x80, uint8_t(digit << 3));
}

std::string code_hex(const Statement& s) {
    return vexa_test::to_hex(std::string(reinterpret_cast<const char*>(s.code_buf), s.code_len));
}

class Encoders : public testing::Test {
protected:
    void SetUp() override { test.pass().pass_index = 1; }

    void check(const EncoderCase& c) {
        SCOPED_TRACE(c.operands);
        test.operands(c.operands);
        ASSERT_EQ(parse_operands(s), 0);
        s.code_len = 0;
        EXPECT_EQ(c.encode(s), c.result);
        EXPECT_EQ(code_hex(s), c.bytes);
    }

    vexa_test::TestAssembly test;
    Statement& s = test.statement();
};

TEST_F(Encoders, AluImmediate) {
    const EncoderCase cases[] = {
        {"AX,126", [](Statement& s) { return alu(s, 0); }, 0, "83 C0 7E"},
        {"AX,127", [](Statement& s) { return alu(s, 0); }, 0, "05 7F 00"},
        {"AX,-128", [](Statement& s) { return alu(s, 0); }, 0, "83 C0 80"},
        {"AX,0FFFFH", [](Statement& s) { return alu(s, 0); }, 0, "83 C0 FF"},
        {"AX,0FF80H", [](Statement& s) { return alu(s, 0); }, 0, "83 C0 80"},
        {"AX,0FF7FH", [](Statement& s) { return alu(s, 0); }, 0, "05 7F FF"},
        {"AX,-129", [](Statement& s) { return alu(s, 0); }, 0, "05 7F FF"},
        {"AX,70000", [](Statement& s) { return alu(s, 0); }, 0, "05 70 11"},
        {"BX,127", [](Statement& s) { return alu(s, 0); }, 0, "81 C3 7F 00"},
        {"BX,-1", [](Statement& s) { return alu(s, 0); }, 0, "83 C3 FF"},
        {"AL,255", [](Statement& s) { return alu(s, 0); }, 0, "04 FF"},
        {"AL,256", [](Statement& s) { return alu(s, 0); }, ERR_ILLEGAL_SIZE, ""},
        {"AL,-129", [](Statement& s) { return alu(s, 0); }, ERR_ILLEGAL_SIZE, ""},
        {"CL,5", [](Statement& s) { return alu(s, 7); }, 0, "80 F9 05"},
        {"CL,300", [](Statement& s) { return alu(s, 7); }, ERR_ILLEGAL_SIZE, "80 F9 2C"},
        {"[BX],5", [](Statement& s) { return alu(s, 0); }, 0, "80 07 05"},
        {"\x1bW[BX],5", [](Statement& s) { return alu(s, 0); }, 0, "83 07 05"},
        {"\x1bW[BX],300", [](Statement& s) { return alu(s, 0); }, 0, "81 07 2C 01"},
        {"\x1bW[1234H],1", [](Statement& s) { return alu(s, 0); }, 0, "83 06 34 12 01"},
        {"\x1b" "B[BP],1", [](Statement& s) { return alu(s, 0); }, 0, "80 46 00 01"},
        {"\x1b" "B[BX+SI+1000H],300", [](Statement& s) { return alu(s, 5); }, ERR_ILLEGAL_SIZE, "80 A8 00 10 2C"},
        {"\x1b" "D[BX],1", [](Statement& s) { return alu(s, 0); }, ERR_ILLEGAL_SIZE, ""},
        {"\x1b" "F[BX],1", [](Statement& s) { return alu(s, 0); }, ERR_ILLEGAL_SIZE, ""},
        {"ES,5", [](Statement& s) { return alu(s, 0); }, ERR_SYNTAX, ""},
        {"5,5", [](Statement& s) { return alu(s, 0); }, ERR_SYNTAX, ""},
    };
    for (const EncoderCase& c : cases) check(c);
}

TEST_F(Encoders, RegisterWithRegisterOrMemory) {
    const EncoderCase cases[] = {
        {"AX,BX", [](Statement& s) { return encode_reg_rm(s, 0x00); }, 0, "03 C3"},
        {"AL,BL", [](Statement& s) { return encode_reg_rm(s, 0x00); }, 0, "02 C3"},
        {"[BX+SI],AL", [](Statement& s) { return encode_reg_rm(s, 0x00); }, 0, "00 00"},
        {"AL,[BX+SI+5]", [](Statement& s) { return encode_reg_rm(s, 0x00); }, 0, "02 40 05"},
        {"[BX],AX", [](Statement& s) { return encode_reg_rm(s, 0x00); }, 0, "01 07"},
        {"CX,[1234H]", [](Statement& s) { return encode_reg_rm(s, 0x88); }, 0, "8B 0E 34 12"},
        {"[BP+DI-300],DX", [](Statement& s) { return encode_reg_rm(s, 0x28); }, 0, "29 93 D4 FE"},
        {"AX,\x1b" "B[BX]", [](Statement& s) { return encode_reg_rm(s, 0x00); }, ERR_ILLEGAL_SIZE, ""},
        {"[BX],[SI]", [](Statement& s) { return encode_reg_rm(s, 0x00); }, ERR_ILLEGAL_SIZE, ""},
        {"AL,BX", [](Statement& s) { return encode_reg_rm(s, 0x00); }, ERR_ILLEGAL_SIZE, ""},
        {"5,AX", [](Statement& s) { return encode_reg_rm(s, 0x00); }, ERR_ILLEGAL_SIZE, ""},
        {"300,AX", [](Statement& s) { return encode_reg_rm(s, 0x00); }, ERR_SYNTAX, ""},
    };
    for (const EncoderCase& c : cases) check(c);
}

TEST_F(Encoders, SegmentRegisterMoves) {
    const EncoderCase cases[] = {
        {"ES,[BX]", [](Statement& s) { return encode_sreg_move(s, 0x8E); }, 0, "8E 07"},
        {"DS,AX", [](Statement& s) { return encode_sreg_move(s, 0x8E); }, 0, "8E D8"},
        {"[BX+2],ES", [](Statement& s) { return encode_sreg_move(s, 0x8C); }, 0, "8C 47 02"},
        {"AX,CS", [](Statement& s) { return encode_sreg_move(s, 0x8C); }, 0, "8C C8"},
        {"ES,AL", [](Statement& s) { return encode_sreg_move(s, 0x8E); }, ERR_ILLEGAL_SIZE, ""},
        {"ES,\x1b" "B[BX]", [](Statement& s) { return encode_sreg_move(s, 0x8E); }, ERR_ILLEGAL_SIZE, ""},
    };
    for (const EncoderCase& c : cases) check(c);

    test.operands("[BX],ES");
    ASSERT_EQ(parse_operands(s), 0);
    s.code_len = 0;
    EXPECT_EQ(encode_sreg_move(s, 0x8C), 0);
    EXPECT_EQ(code_hex(s), "8C 07");
    EXPECT_EQ(s.dst.size, SIZE_WORD);  // the unsized memory operand became a word
}

TEST_F(Encoders, OpcodeExtension) {
    const EncoderCase cases[] = {
        {"[BX]", [](Statement& s) { return encode_rm_ext(s, 0xFF, 6 << 3); }, 0, "FF 37"},
        {"\x1bW[SI+2]", [](Statement& s) { return encode_rm_ext(s, 0x8F, 0); }, 0, "8F 44 02"},
        {"AL", [](Statement& s) { return encode_rm_ext(s, 0xFE, 1 << 3); }, 0, "FE C8"},
        {"BX", [](Statement& s) { return encode_rm_ext(s, 0xF6, 3 << 3); }, 0, "F7 DB"},
        {"\x1b" "B[1000H]", [](Statement& s) { return encode_rm_ext(s, 0xFF, 0); }, 0, "FE 06 00 10"},
        {"\x1bW[BP]", [](Statement& s) { return encode_rm_ext(s, 0xF6, 4 << 3); }, 0, "F7 66 00"},
        {"\x1b" "D[BX+SI+4]", [](Statement& s) { return encode_rm_ext(s, 0xFF, 5 << 3); }, 0, "FF 68 04"},
        {"[BX-200]", [](Statement& s) { return encode_rm_ext(s, 0xFE, 0); }, 0, "FE 87 38 FF"},
        {"5", [](Statement& s) { return encode_rm_ext(s, 0xFE, 0); }, ERR_SYNTAX, ""},
        {"DS", [](Statement& s) { return encode_rm_ext(s, 0xFF, 4 << 3); }, ERR_SYNTAX, ""},
    };
    for (const EncoderCase& c : cases) check(c);
}

// A jump or call to a name the first pass had not seen: the bytes the second
// pass finds from the name's value are those its handler encodes then, and it
// declines exactly where the handler reports the distance out of reach.
TEST_F(Encoders, RelativeTargetMatchesHandler) {
    struct TargetCase {
        const char* mnemonic;
        int32_t location;
        int32_t target;
    };
    const TargetCase cases[] = {
        {"JZ", 0x100, 0x181},    {"JZ", 0x100, 0x182},     {"JNZ", 0x200, 0x182},  {"JNZ", 0x200, 0x181},
        {"LOOP", 0x100, 0x102},  {"JCXZ", 0x100, 0x100},   {"JA", 0x100, -5},      {"JMP", 0x100, 0x103},
        {"JMP", 0x100, 0x105},   {"JMP", 0x100, 0x10100},  {"JMP", 0xFFF0, 0x10},  {"CALL", 0x100, 0x100},
        {"CALL", 0x100, 0x9000}, {"CALL", 0x8000, 0x7FFF}, {"CALL", 0x100, -70000},
    };
    uint32_t place = 0;
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(std::string(c.mnemonic) + " " + std::to_string(c.target));
        const Mnemonic* mnemonic = find_mnemonic(c.mnemonic);
        ASSERT_NE(mnemonic, nullptr);
        vexa_test::TestAssembly fresh;
        Statement& statement = fresh.statement();
        statement.begin(++place);
        fresh.pass().location_counter = c.location;

        fresh.pass().pass_index = 0;
        fresh.operands("AHEAD");
        parse_operands(statement);
        statement.code_len = 0;
        ASSERT_EQ(mnemonic->handler(*mnemonic, statement), 0);
        const RelativeTarget noted = statement.relative_target;
        ASSERT_NE(noted.width, 0);

        fresh.pass().pass_index = 1;
        fresh.define("AHEAD", c.target);
        fresh.operands("AHEAD");
        ASSERT_EQ(parse_operands(statement), 0);
        statement.code_len = 0;
        int result = mnemonic->handler(*mnemonic, statement);
        std::string handler_bytes = code_hex(statement);
        statement.code_len = 0;
        EXPECT_EQ(encode_relative_target(statement, noted, c.target), result == 0);
        if (result == 0) {
            EXPECT_EQ(code_hex(statement), handler_bytes);
        }
    }
}

}  // namespace
