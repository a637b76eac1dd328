// The shared ModRM encoders on operands read by the operand parser.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "encode/encode.h"
#include "support/case_file.h"
#include "symbols/symbols.h"

namespace {

using namespace vexa;

struct EncoderCase {
    const char* operands;
    std::function<int()> encode;
    int result;
    const char* bytes;  // code_buf after the call, also after a failure
};

int alu(uint8_t digit) { return encode_alu_immediate(uint8_t(0x04 | digit << 3), 0x80, uint8_t(digit << 3)); }

std::string code_hex() { return vexa_test::to_hex(std::string(reinterpret_cast<char*>(code_buf), code_len)); }

class Encoders : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(symtab_init(), 0);
        pass_index = 1;
    }
    void TearDown() override { symtab_free(); }

    static void check(const EncoderCase& c) {
        SCOPED_TRACE(c.operands);
        char text[OPERAND_CAPACITY];
        std::strcpy(text, c.operands);
        ASSERT_EQ(parse_operands(text), 0);
        code_len = 0;
        EXPECT_EQ(c.encode(), c.result);
        EXPECT_EQ(code_hex(), c.bytes);
    }
};

TEST_F(Encoders, AluImmediate) {
    const EncoderCase cases[] = {
        {"AX,126", [] { return alu(0); }, 0, "83 C0 7E"},
        {"AX,127", [] { return alu(0); }, 0, "05 7F 00"},
        {"AX,-128", [] { return alu(0); }, 0, "83 C0 80"},
        {"AX,0FFFFH", [] { return alu(0); }, 0, "83 C0 FF"},
        {"AX,0FF80H", [] { return alu(0); }, 0, "83 C0 80"},
        {"AX,0FF7FH", [] { return alu(0); }, 0, "05 7F FF"},
        {"AX,-129", [] { return alu(0); }, 0, "05 7F FF"},
        {"AX,70000", [] { return alu(0); }, 0, "05 70 11"},
        {"BX,127", [] { return alu(0); }, 0, "81 C3 7F 00"},
        {"BX,-1", [] { return alu(0); }, 0, "83 C3 FF"},
        {"AL,255", [] { return alu(0); }, 0, "04 FF"},
        {"AL,256", [] { return alu(0); }, ERR_ILLEGAL_SIZE, ""},
        {"AL,-129", [] { return alu(0); }, ERR_ILLEGAL_SIZE, ""},
        {"CL,5", [] { return alu(7); }, 0, "80 F9 05"},
        {"CL,300", [] { return alu(7); }, ERR_ILLEGAL_SIZE, "80 F9 2C"},
        {"[BX],5", [] { return alu(0); }, 0, "80 07 05"},
        {"\x1bW[BX],5", [] { return alu(0); }, 0, "83 07 05"},
        {"\x1bW[BX],300", [] { return alu(0); }, 0, "81 07 2C 01"},
        {"\x1bW[1234H],1", [] { return alu(0); }, 0, "83 06 34 12 01"},
        {"\x1b" "B[BP],1", [] { return alu(0); }, 0, "80 46 00 01"},
        {"\x1b" "B[BX+SI+1000H],300", [] { return alu(5); }, ERR_ILLEGAL_SIZE, "80 A8 00 10 2C"},
        {"\x1b" "D[BX],1", [] { return alu(0); }, ERR_ILLEGAL_SIZE, ""},
        {"\x1b" "F[BX],1", [] { return alu(0); }, ERR_ILLEGAL_SIZE, ""},
        {"ES,5", [] { return alu(0); }, ERR_SYNTAX, ""},
        {"5,5", [] { return alu(0); }, ERR_SYNTAX, ""},
    };
    for (const EncoderCase& c : cases) check(c);
}

TEST_F(Encoders, RegisterWithRegisterOrMemory) {
    const EncoderCase cases[] = {
        {"AX,BX", [] { return encode_reg_rm(0x00); }, 0, "03 C3"},
        {"AL,BL", [] { return encode_reg_rm(0x00); }, 0, "02 C3"},
        {"[BX+SI],AL", [] { return encode_reg_rm(0x00); }, 0, "00 00"},
        {"AL,[BX+SI+5]", [] { return encode_reg_rm(0x00); }, 0, "02 40 05"},
        {"[BX],AX", [] { return encode_reg_rm(0x00); }, 0, "01 07"},
        {"CX,[1234H]", [] { return encode_reg_rm(0x88); }, 0, "8B 0E 34 12"},
        {"[BP+DI-300],DX", [] { return encode_reg_rm(0x28); }, 0, "29 93 D4 FE"},
        {"AX,\x1b" "B[BX]", [] { return encode_reg_rm(0x00); }, ERR_ILLEGAL_SIZE, ""},
        {"[BX],[SI]", [] { return encode_reg_rm(0x00); }, ERR_ILLEGAL_SIZE, ""},
        {"AL,BX", [] { return encode_reg_rm(0x00); }, ERR_ILLEGAL_SIZE, ""},
        {"5,AX", [] { return encode_reg_rm(0x00); }, ERR_ILLEGAL_SIZE, ""},
        {"300,AX", [] { return encode_reg_rm(0x00); }, ERR_SYNTAX, ""},
    };
    for (const EncoderCase& c : cases) check(c);
}

TEST_F(Encoders, SegmentRegisterMoves) {
    const EncoderCase cases[] = {
        {"ES,[BX]", [] { return encode_sreg_move(0x8E); }, 0, "8E 07"},
        {"DS,AX", [] { return encode_sreg_move(0x8E); }, 0, "8E D8"},
        {"[BX+2],ES", [] { return encode_sreg_move(0x8C); }, 0, "8C 47 02"},
        {"AX,CS", [] { return encode_sreg_move(0x8C); }, 0, "8C C8"},
        {"ES,AL", [] { return encode_sreg_move(0x8E); }, ERR_ILLEGAL_SIZE, ""},
        {"ES,\x1b" "B[BX]", [] { return encode_sreg_move(0x8E); }, ERR_ILLEGAL_SIZE, ""},
    };
    for (const EncoderCase& c : cases) check(c);

    char text[OPERAND_CAPACITY] = "[BX],ES";
    ASSERT_EQ(parse_operands(text), 0);
    code_len = 0;
    EXPECT_EQ(encode_sreg_move(0x8C), 0);
    EXPECT_EQ(code_hex(), "8C 07");
    EXPECT_EQ(dst.size, SIZE_WORD);  // the unsized memory operand became a word
}

TEST_F(Encoders, OpcodeExtension) {
    const EncoderCase cases[] = {
        {"[BX]", [] { return encode_rm_ext(0xFF, 6 << 3); }, 0, "FF 37"},
        {"\x1bW[SI+2]", [] { return encode_rm_ext(0x8F, 0); }, 0, "8F 44 02"},
        {"AL", [] { return encode_rm_ext(0xFE, 1 << 3); }, 0, "FE C8"},
        {"BX", [] { return encode_rm_ext(0xF6, 3 << 3); }, 0, "F7 DB"},
        {"\x1b" "B[1000H]", [] { return encode_rm_ext(0xFF, 0); }, 0, "FE 06 00 10"},
        {"\x1bW[BP]", [] { return encode_rm_ext(0xF6, 4 << 3); }, 0, "F7 66 00"},
        {"\x1b" "D[BX+SI+4]", [] { return encode_rm_ext(0xFF, 5 << 3); }, 0, "FF 68 04"},
        {"[BX-200]", [] { return encode_rm_ext(0xFE, 0); }, 0, "FE 87 38 FF"},
        {"5", [] { return encode_rm_ext(0xFE, 0); }, ERR_SYNTAX, ""},
        {"DS", [] { return encode_rm_ext(0xFF, 4 << 3); }, ERR_SYNTAX, ""},
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
    line_number = 0;
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(std::string(c.mnemonic) + " " + std::to_string(c.target));
        const Mnemonic* mnemonic = find_mnemonic(c.mnemonic);
        ASSERT_NE(mnemonic, nullptr);
        ++line_number;
        location_counter = c.location;
        char text[OPERAND_CAPACITY] = "AHEAD";
        symtab_free();
        ASSERT_EQ(symtab_init(), 0);

        pass_index = 0;
        relative_target = RelativeTarget{};
        parse_operands(text);
        code_len = 0;
        ASSERT_EQ(mnemonic->handler(*mnemonic), 0);
        const RelativeTarget noted = relative_target;
        ASSERT_NE(noted.width, 0);

        pass_index = 1;
        ASSERT_EQ(symtab_add("AHEAD", 5, c.target), SYMTAB_ADDED);
        std::strcpy(text, "AHEAD");
        ASSERT_EQ(parse_operands(text), 0);
        code_len = 0;
        int result = mnemonic->handler(*mnemonic);
        std::string handler_bytes = code_hex();
        code_len = 0;
        EXPECT_EQ(encode_relative_target(noted, c.target), result == 0);
        if (result == 0) {
            EXPECT_EQ(code_hex(), handler_bytes);
        }
    }
    reset_control_transfer();
}

}  // namespace
