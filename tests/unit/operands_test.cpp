// Operand descriptors produced from normalised operand text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "parse/parse.h"
#include "support/test_assembly.h"

namespace {

using namespace vexa;

constexpr int ANY = -999;  // field not checked (not written for this kind)
constexpr const char* ANY_TEXT = nullptr;

struct OperandCase {
    const char* text;  // "\x1b" followed by a letter is a size mark
    int pass;
    int result;
    int kind, size, reg, mod;
    int64_t value;  // ANY: not checked
    int seg_override;
};

constexpr int B = SIZE_BYTE, W = SIZE_WORD, D = SIZE_DWORD, N = SIZE_NEAR, F = SIZE_FAR, NONE = SIZE_NONE;
constexpr int REG = KIND_REGISTER, MEM = KIND_MEMORY, IMM = KIND_IMMEDIATE, SEG = KIND_SEGREG;

class ParseOperand : public testing::Test {
protected:
    void SetUp() override {
        test.define("X", 0x0104);
        test.define("AX", 7);
        test.define("BXX", 0x300);
        test.pass().location_counter = 0x100;
    }

    // The statement's text, as the splitter leaves it: the readers read beyond its end.
    const char* text(const std::string& written) { return test.operands(written); }

    void check(const OperandCase& c) {
        SCOPED_TRACE(std::string("text ") + c.text + " pass " + std::to_string(c.pass));
        test.pass().pass_index = c.pass;
        Operand op{};
        op.mod = 0x55;
        EXPECT_EQ(parse_operand(s, text(c.text), op), c.result);
        const int unchecked = ANY;
        EXPECT_EQ(c.kind == unchecked ? unchecked : op.kind, c.kind);
        EXPECT_EQ(c.size == unchecked ? unchecked : op.size, c.size);
        EXPECT_EQ(c.reg == unchecked ? unchecked : op.reg, c.reg);
        EXPECT_EQ(c.mod == unchecked ? unchecked : op.mod, c.mod);
        EXPECT_EQ(c.value == unchecked ? unchecked : op.value, c.value == unchecked ? unchecked : int32_t(c.value));
        EXPECT_EQ(op.seg_override, c.seg_override);
    }

    vexa_test::TestAssembly test;
    Statement& s = test.statement();
};

TEST_F(ParseOperand, TypicalTexts) {
    const OperandCase cases[] = {
        {"AL", 1, 0, REG, B, 0, 3, ANY, 0},
        {"SI", 1, 0, REG, W, 6, 3, ANY, 0},
        {"BH", 1, 0, REG, B, 7, 3, ANY, 0},
        {"SP", 1, 0, REG, W, 4, 3, ANY, 0},
        {"DS", 1, 0, SEG, W, 3, 3, ANY, 0},
        {"ES", 1, 0, SEG, W, 0, 3, ANY, 0},
        {"100", 1, 0, IMM, B, IMM_NUMBER, 0x55, 100, 0},
        {"-129", 1, 0, IMM, W, IMM_NUMBER, 0x55, -129, 0},
        {"-128", 1, 0, IMM, B, IMM_NUMBER, 0x55, -128, 0},
        {"255", 1, 0, IMM, B, IMM_NUMBER, 0x55, 255, 0},
        {"256", 1, 0, IMM, W, IMM_NUMBER, 0x55, 256, 0},
        {"+5", 1, 0, IMM, B, IMM_NUMBER, 0x55, 5, 0},
        {"0FFH", 1, 0, IMM, B, IMM_NUMBER, 0x55, 255, 0},
        {"5+3", 1, 0, IMM, B, IMM_NUMBER, 0x55, 8, 0},
        {"X", 1, 0, IMM, W, IMM_SYMBOL, 0x55, 0x0104, 0},
        {"-X", 1, 0, IMM, W, IMM_SYMBOL, 0x55, -0x0104, 0},
        {"-AX", 1, 0, IMM, B, IMM_SYMBOL, 0x55, -7, 0},
        {"$", 1, 0, IMM, NONE, IMM_LOCATION, 0x55, 0x100, 0},
        {"$-2", 1, 0, IMM, NONE, IMM_LOCATION, 0x55, 0xFE, 0},
        {"$+FFH", 0, 0, IMM, B, IMM_SYMBOL, 0x55, -1, 0},
        {"$+0FFH", 1, 0, IMM, NONE, IMM_LOCATION, 0x55, 0x1FF, 0},
        {"$+3+4", 1, 0, IMM, NONE, IMM_LOCATION, 0x55, 0x107, 0},
        {"$+3X", 1, ERR_INVALID_NUMBER, ANY, NONE, ANY, 0x55, ANY, 0},
        {"-$", 1, 0, IMM, NONE, IMM_LOCATION, 0x55, -0x100, 0},
        {"\x1b" "W$", 1, 0, MEM, W, 6, 0, 0x100, 0},
        {"\x1b" "B$-2", 1, 0, MEM, B, 6, 0, 0xFE, 0},
        {"\x1b" "F5-$+$", 1, 0, MEM, F, 6, 0, 5, 0},
        {"$X", 1, 0, IMM, W, IMM_SYMBOL, 0x55, 0x104, 0},  // the name X
        {"1234H:10H", 1, 0, IMM, D, IMM_NUMBER, 0x55, 0x12340010, 0},
        {"1234H:X", 1, 0, IMM, D, IMM_NUMBER, 0x55, 0x12340104, 0},
        {"X:1FFFFH", 1, 0, IMM, D, IMM_SYMBOL, 0x55, 0x0104FFFF, 0},
        {"-1234H:10H", 1, 0, IMM, D, IMM_NUMBER, 0x55, int32_t(0xEDCC0010), 0},
        {"[BX]", 1, 0, MEM, NONE, 7, 0, 0, 0},
        {"[BP]", 1, 0, MEM, NONE, 6, 1, 0, 0},
        {"[SI]", 1, 0, MEM, NONE, 4, 0, 0, 0},
        {"[DI]", 1, 0, MEM, NONE, 5, 0, 0, 0},
        {"[BX+SI]", 1, 0, MEM, NONE, 0, 0, 0, 0},
        {"[BX+DI]", 1, 0, MEM, NONE, 1, 0, 0, 0},
        {"[BP+SI]", 1, 0, MEM, NONE, 2, 0, 0, 0},
        {"[BP+DI]", 1, 0, MEM, NONE, 3, 0, 0, 0},
        {"[SI+BX]", 1, 0, MEM, NONE, 0, 0, 0, 0},
        {"[DI+BX]", 1, 0, MEM, NONE, 1, 0, 0, 0},
        {"[SI+BP]", 1, 0, MEM, NONE, 2, 0, 0, 0},
        {"[DI+BP]", 1, 0, MEM, NONE, 3, 0, 0, 0},
        {"[BP+DI+10]", 1, 0, MEM, NONE, 3, 1, 10, 0},
        {"[BX+SI+4]", 1, 0, MEM, NONE, 0, 1, 4, 0},
        {"[SI-200]", 1, 0, MEM, NONE, 4, 2, -200, 0},
        {"[BP+0]", 1, 0, MEM, NONE, 6, 1, 0, 0},
        {"[BX+0]", 1, 0, MEM, NONE, 7, 0, 0, 0},
        {"[BX+127]", 1, 0, MEM, NONE, 7, 1, 127, 0},
        {"[BX+128]", 1, 0, MEM, NONE, 7, 2, 128, 0},
        {"[BX-128]", 1, 0, MEM, NONE, 7, 1, -128, 0},
        {"[BX-129]", 1, 0, MEM, NONE, 7, 2, -129, 0},
        {"[BX+X]", 1, 0, MEM, NONE, 7, 2, 0x104, 0},
        {"[X]", 1, 0, MEM, NONE, 6, 0, 0x0104, 0},
        {"[5]", 1, 0, MEM, NONE, 6, 0, 5, 0},
        {"[-5]", 1, 0, MEM, NONE, 6, 0, -5, 0},
        {"[+X]", 1, 0, MEM, NONE, 6, 0, 0x104, 0},
        {"[BXX]", 1, 0, MEM, NONE, 6, 0, 0x300, 0},
        {"[BX]]", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[BX][SI]", 1, 0, MEM, NONE, 0, 0, 0, 0},
        {"ES:[DI]", 1, 0, MEM, NONE, 5, 0, 0, 0x26},
        {"CS:[5]", 1, 0, MEM, NONE, 6, 0, 5, 0x2E},
        {"SS:[BP]", 1, 0, MEM, NONE, 6, 1, 0, 0x36},
        {"DS:\x1b" "B[SI]", 1, 0, MEM, B, 4, 0, 0, 0x3E},
        {"\x1b" "W[BX+2]", 1, 0, MEM, W, 7, 1, 2, 0},
        {"\x1b" "B" "X", 1, 0, MEM, B, 6, 0, 0x0104, 0},
        {"\x1b" "O" "X", 1, 0, IMM, W, IMM_SYMBOL, 0x55, 0x0104, 0},
        {"\x1b" "O" "5", 1, 0, IMM, B, IMM_NUMBER, 0x55, 5, 0},
        {"\x1b" "F" "X", 1, 0, MEM, F, 6, 0, 0x0104, 0},
        {"\x1b" "N" "X", 1, 0, MEM, N, 6, 0, 0x0104, 0},
        {"\x1b" "D[BX]", 1, 0, MEM, D, 7, 0, 0, 0},
        {"\x1b" "W" "5", 1, 0, MEM, W, 6, 0, 5, 0},
        {"\x1b" "B" "AX", 1, 0, REG, W, 0, 3, ANY, 0},
        {"\x1b" "F" "1000H:20H", 1, ERR_INVALID_OPERAND, MEM, F, 6, 0, ANY, 0},
        {"1000H:20H", 1, 0, IMM, D, IMM_NUMBER, 0x55, 0x10000020, 0},
        {"\x1b", 1, ERR_SYNTAX, ANY, NONE, ANY, ANY, ANY, 0},
    };
    for (const OperandCase& c : cases) check(c);
}

TEST_F(ParseOperand, ForwardReferencesAndErrors) {
    const OperandCase cases[] = {
        {"LATER", 0, 0, IMM, B, IMM_SYMBOL, 0x55, -1, 0},
        {"LATER", 1, ERR_SYMBOL_NOT_DEFINED, IMM, ANY, IMM_SYMBOL, ANY, 0, 0},
        {"-LATER", 0, 0, IMM, B, IMM_SYMBOL, 0x55, -1, 0},
        {"[LATER]", 0, 0, MEM, NONE, 6, 0, -1, 0},
        {"[-LATER]", 0, 0, MEM, NONE, 6, 0, -1, 0},
        {"[BX+LATER]", 0, 0, MEM, NONE, 7, 2, -32768, 0},
        {"[BP-LATER]", 0, 0, MEM, NONE, 6, 2, -32768, 0},
        {"[BX+LATER]", 1, ERR_SYMBOL_NOT_DEFINED, MEM, NONE, 7, ANY, 0, 0},
        {"\x1b" "W" "LATER", 0, 0, MEM, W, 6, 0, -1, 0},
        {"LATER:5", 0, 0, IMM, D, IMM_SYMBOL, 0x55, int32_t(0xFFFF0005), 0},
        {"5:LATER", 0, 0, IMM, D, IMM_NUMBER, 0x55, 0x0005FFFF, 0},
        {"", 0, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"ES:AX", 1, ERR_SYNTAX, ANY, NONE, ANY, ANY, ANY, 0x26},
        {"ES:5", 1, 0, MEM, NONE, 6, 0, 5, 0x26},
        {"ES:X", 1, 0, MEM, NONE, 6, 0, 0x104, 0x26},
        {"\x1b" "W" "ES:[DI]", 1, 0, MEM, W, 5, 0, 0, 0x26},
        {"[BX", 1, ERR_SYNTAX, ANY, NONE, ANY, ANY, ANY, 0},
        {"[BX+4+SI]", 1, 0, MEM, NONE, 0, 1, 4, 0},
        {"[X+2]", 1, 0, MEM, NONE, 6, 0, 0x106, 0},
        {"[BX+12X]", 1, ERR_INVALID_NUMBER, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[BX+12B]", 1, ERR_INVALID_BINARY, ANY, NONE, ANY, 0x55, ANY, 0},
        {"18O", 1, ERR_INVALID_OCTAL, ANY, NONE, ANY, 0x55, ANY, 0},
        {"AXE", 1, ERR_SYMBOL_NOT_DEFINED, IMM, ANY, IMM_SYMBOL, ANY, 0, 0},
        {"AX+1", 1, 0, IMM, B, IMM_SYMBOL, 0x55, 8, 0},
    };
    for (const OperandCase& c : cases) check(c);
}

// X is 104H and $ is 100H; LATER is not defined.
TEST_F(ParseOperand, ExpressionsAndMemorySums) {
    const OperandCase cases[] = {
        {"2*3", 1, 0, IMM, B, IMM_NUMBER, 0x55, 6, 0},
        {"4*256", 1, 0, IMM, W, IMM_NUMBER, 0x55, 1024, 0},
        {"0F00H-14", 1, 0, IMM, W, IMM_NUMBER, 0x55, 0xEF2, 0},
        {"X+2", 1, 0, IMM, W, IMM_SYMBOL, 0x55, 0x106, 0},
        {"X-$", 1, 0, IMM, B, IMM_SYMBOL, 0x55, 4, 0},
        {"$-X", 1, 0, IMM, B, IMM_SYMBOL, 0x55, -4, 0},
        {"($+4)/2", 1, 0, IMM, NONE, IMM_LOCATION, 0x55, 0x82, 0},
        {"'A'", 1, 0, IMM, B, IMM_NUMBER, 0x55, 0x41, 0},
        {"'a'-'A'", 1, 0, IMM, B, IMM_NUMBER, 0x55, 0x20, 0},
        {"\"$\"", 1, 0, IMM, B, IMM_NUMBER, 0x55, 0x24, 0},
        {"'\xE9'", 1, 0, IMM, B, IMM_NUMBER, 0x55, 0xE9, 0},
        {"(40H)", 1, 0, IMM, B, IMM_NUMBER, 0x55, 0x40, 0},
        {"X+1:X-1", 1, 0, IMM, D, IMM_SYMBOL, 0x55, 0x01050103, 0},
        {"\x1b" "W" "X+2", 1, 0, MEM, W, 6, 0, 0x106, 0},
        {"\x1b" "O" "X+2", 1, 0, IMM, W, IMM_SYMBOL, 0x55, 0x106, 0},
        {"X[BX]", 1, 0, MEM, NONE, 7, 2, 0x104, 0},
        {"X[BX+SI]", 1, 0, MEM, NONE, 0, 2, 0x104, 0},
        {"X+2[DI]", 1, 0, MEM, NONE, 5, 2, 0x106, 0},
        {"[BX+SI+X+2*3]", 1, 0, MEM, NONE, 0, 2, 0x10A, 0},
        {"2[BP]", 1, 0, MEM, NONE, 6, 1, 2, 0},
        {"[BP][DI]", 1, 0, MEM, NONE, 3, 0, 0, 0},
        {"[DI][BP]+7", 1, 0, MEM, NONE, 3, 1, 7, 0},
        {"[BX+2-2]", 1, 0, MEM, NONE, 7, 0, 0, 0},
        {"[BP+2-2]", 1, 0, MEM, NONE, 6, 1, 0, 0},
        {"[BX-(2)]", 1, 0, MEM, NONE, 7, 1, -2, 0},
        {"ES:X[DI]", 1, 0, MEM, NONE, 5, 2, 0x104, 0x26},
        {"\x1b" "B" "X[SI]", 1, 0, MEM, B, 4, 2, 0x104, 0},
        {"[BX+2*SI]", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[BX-SI]", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[SI*2]", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[(SI)]", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[-BX]", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"X-[BX]", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"2*[BX]", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[BX+BP]", 1, ERR_SYNTAX, MEM, NONE, 6, 0, 0, 0},
        {"[SI+DI]", 1, ERR_SYNTAX, MEM, NONE, 6, 0, 0, 0},
        {"[BX][BX]", 1, ERR_SYNTAX, MEM, NONE, 6, 0, 0, 0},
        {"[BX][SI][DI]", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[[BX]]", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[BX]X", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[BX]5", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[BX]5+1[SI]", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[BX]5[SI]", 1, 0, MEM, NONE, 0, 1, 5, 0},
        {"[BX]X[SI]", 1, 0, MEM, NONE, 0, 2, 0x104, 0},
        {"[BP]2*3[DI]+1", 1, 0, MEM, NONE, 3, 1, 7, 0},
        {"[BX]-5[SI]", 1, 0, MEM, NONE, 0, 1, -5, 0},
        {"1[BX]2[SI]3", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[BX]:5", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"5 5", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"X Y", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"AX)", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"(5", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"5+", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"1:2:3", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
        {"X/0", 1, ERR_INVALID_NUMBER, ANY, NONE, ANY, 0x55, ANY, 0},
        {"'ABCDE'", 1, ERR_ILLEGAL_SIZE, ANY, NONE, ANY, 0x55, ANY, 0},
        {"''", 1, ERR_ILLEGAL_SIZE, ANY, NONE, ANY, 0x55, ANY, 0},
        // A name not defined yet makes the whole value the placeholder.
        {"LATER+2", 0, 0, IMM, B, IMM_SYMBOL, 0x55, -1, 0},
        {"X-LATER*2", 0, 0, IMM, B, IMM_SYMBOL, 0x55, -1, 0},
        {"X/LATER", 0, 0, IMM, B, IMM_SYMBOL, 0x55, -1, 0},
        {"LATER/0", 0, ERR_INVALID_NUMBER, ANY, NONE, ANY, 0x55, ANY, 0},
        {"[LATER+2]", 0, 0, MEM, NONE, 6, 0, -1, 0},
        {"LATER[BX]", 0, 0, MEM, NONE, 7, 2, -32768, 0},
        {"[BX+4+LATER]", 0, 0, MEM, NONE, 7, 2, -32768, 0},
        {"LATER+2", 1, ERR_SYMBOL_NOT_DEFINED, IMM, NONE, IMM_SYMBOL, 0x55, 0, 0},
        {"[BX+LATER+2]", 1, ERR_SYMBOL_NOT_DEFINED, MEM, NONE, 7, 2, 0, 0},
        {"LATER 5", 1, ERR_SYNTAX, ANY, NONE, ANY, 0x55, ANY, 0},
    };
    for (const OperandCase& c : cases) check(c);
}

// The arithmetic of the expression reader, and where it stops.
TEST_F(ParseOperand, ExpressionArithmetic) {
    struct ExpressionCase {
        const char* text;
        int result;
        int64_t value;
        const char* rest;  // what the reader leaves for its caller
    };
    const ExpressionCase cases[] = {
        {"2+3*4", 0, 14, ""},
        {"(2+3)*4", 0, 20, ""},
        {"10-2-3", 0, 5, ""},
        {"100/7/2", 0, 7, ""},
        {"-7/2", 0, -3, ""},
        {"7/-2", 0, -3, ""},
        {"--5", 0, 5, ""},
        {"-(2-5)", 0, 3, ""},
        {"2*-3", 0, -6, ""},
        {"65536*65536+5", 0, 5, ""},
        {"4294967295+2", 0, 1, ""},
        {"-2147483648/-1", 0, INT32_MIN, ""},
        {"'A'*256+'B'", 0, 0x4142, ""},
        {"X/2", 0, 0x82, ""},
        {"$-X", 0, -4, ""},
        {"5,X", 0, 5, ",X"},
        {"5 5", 0, 5, " 5"},
        {"5:6", 0, 5, ":6"},
        {"X[BX]", 0, 0x104, "[BX]"},
        {"(1))", 0, 1, ")"},
        {"5/0", ERR_INVALID_NUMBER, ANY, ANY_TEXT},
        {"5/(3-3)", ERR_INVALID_NUMBER, ANY, ANY_TEXT},
        {"(5", ERR_SYNTAX, ANY, ANY_TEXT},
        {"5*", ERR_SYNTAX, ANY, ANY_TEXT},
        {"'AB'", 0, 0x4241, ""},
        {"'ABCD'", 0, 0x44434241, ""},
        {"'ABCDE'", ERR_ILLEGAL_SIZE, ANY, ANY_TEXT},
        {"4 SHL 2+1", 0, 17, ""},
        {"1<<2+1", 0, 8, ""},
        {"NOT 0 AND 6", 0, 6, ""},
        {"(4)SHL(2)", 0, 16, ""},
        {"(7)MOD 4", 0, 3, ""},
        {"(6)AND(3)", 0, 2, ""},
        {"5 5", 0, 5, " 5"},
        {"$ 5", 0, 0x100, " 5"},
        {"$5+1", 0, 6, ""},
        {"'A", ERR_INVALID_STRING, ANY, ANY_TEXT},
        {"1+12X", ERR_INVALID_NUMBER, ANY, ANY_TEXT},
    };
    test.pass().pass_index = 1;
    for (const ExpressionCase& c : cases) {
        SCOPED_TRACE(c.text);
        const char* cursor = text(c.text);
        Expression result;
        EXPECT_EQ(parse_expression(s, &cursor, result), c.result);
        if (c.value != ANY) {
            EXPECT_EQ(result.value, int32_t(c.value));
        }
        if (c.rest != ANY_TEXT) {
            EXPECT_STREQ(cursor, c.rest);
        }
    }
}

// A bracketed operand alone is read by a shortcut for the usual forms; the
// same text followed by +0 is read by the whole grammar. Both must agree.
TEST_F(ParseOperand, UsualMemoryFormsReadAsTheGrammarReadsThem) {
    const char* const texts[] = {
        "[BX]", "[BP]", "[SI]", "[DI]", "[BX+SI]", "[SI+BX]", "[BP+DI]", "[DI+BP]", "[BX+5]", "[BX-5]",
        "[BP+0]", "[BX+SI+99]", "[BP+DI-128]", "[SI+0FFH]", "[X]", "[BX+X]", "[BX-X]", "[BX+SI+X]",
        "[LATER]", "[BX+LATER]", "[BXX]", "[SI2]", "[AX]", "[5]", "[BX+BP]", "[SI+DI]", "[BX+BX]",
        "[BX+SI+BP]", "[BX+]", "[BX-]", "[]", "[+5]", "[-5]", "[BX+-5]", "[BX+5+SI]", "[BX-SI]", "[BX+12X]",
        "[BX+12B]", "[BX+$]", "[BX+'A']", "[BX+(5)]", "[BX*2]", "[BX+SI*2]", "[X+BX]", "[BX SI]", "[BX",
    };
    for (int pass : {0, 1}) {
        test.pass().pass_index = pass;
        for (const char* written : texts) {
            SCOPED_TRACE(std::string(written) + " pass " + std::to_string(pass));
            // Both texts in the statement's buffer, one after the other.
            std::string longer = std::string(written) + "+0";
            char* both = test.operands(std::string(written) + '\0' + longer);
            const char* alone = both;
            const char* extended = both + std::strlen(written) + 1;
            Expression shortcut, grammar;
            int shortcut_result = parse_operand_value(s, &alone, shortcut);
            int grammar_result = parse_operand_value(s, &extended, grammar);
            EXPECT_EQ(shortcut_result, grammar_result);
            if (shortcut_result != 0) continue;
            EXPECT_STREQ(alone, "");
            EXPECT_EQ(shortcut.value, grammar.value);
            EXPECT_EQ(shortcut.origin, grammar.origin);
            EXPECT_EQ(shortcut.unresolved, grammar.unresolved);
            EXPECT_EQ(shortcut.bracketed, grammar.bracketed);
            ASSERT_EQ(shortcut.register_count, grammar.register_count);
            for (int i = 0; i < shortcut.register_count; ++i) EXPECT_EQ(shortcut.registers[i], grammar.registers[i]);
        }
    }
}

struct OperandsCase {
    const char* text;
    int pass;
    int result;
    int count;
};

TEST_F(ParseOperand, OperandCountsAndSplitting) {
    const OperandsCase cases[] = {
        {"", 1, 0, 0},
        {"AX", 1, 0, 1},
        {"AX,", 1, ERR_SYNTAX, 1},
        {"[BX,", 1, ERR_SYNTAX, 1},
        {"AX,BX", 1, 0, 2},
        {",AX", 0, ERR_SYNTAX, 2},
        {",AX", 1, ERR_SYNTAX, 2},
        {"AX,BX,CX", 1, ERR_EXTRA_OPERAND, 1},
        {"AL,'A'", 1, 0, 2},
        {"AL,','", 1, 0, 2},
        {"AL,' '", 1, 0, 2},
        {"AL,'A',','", 1, ERR_EXTRA_OPERAND, 1},
        {"AL,'A", 1, ERR_INVALID_CHARACTER, 0},
        {"AL,'A'#", 1, ERR_INVALID_CHARACTER, 0},
        {"al,bl", 1, ERR_INVALID_CHARACTER, 0},
        {"AX,[BX", 1, ERR_SYNTAX, 2},
    };
    for (const OperandsCase& c : cases) {
        SCOPED_TRACE(c.text);
        test.pass().pass_index = c.pass;
        test.operands(c.text);
        EXPECT_EQ(parse_operands(s), c.result);
        EXPECT_EQ(s.operand_count, c.count);
    }
}

TEST_F(ParseOperand, MemoryDisplacementIsCopiedIntoDst) {
    test.pass().pass_index = 1;
    const char* text = test.operands("AX,[SI+6]");
    ASSERT_EQ(parse_operands(s), 0);
    EXPECT_EQ(s.dst.kind, KIND_REGISTER);
    EXPECT_EQ(s.dst.reg, 0);
    EXPECT_EQ(s.dst.value, 6);
    EXPECT_EQ(s.src.reg, 4);
    EXPECT_STREQ(text, "AX");  // the comma became the first operand's end

    test.operands("[BX+2],5");
    ASSERT_EQ(parse_operands(s), 0);
    EXPECT_EQ(s.dst.value, 2);
    EXPECT_EQ(s.src.value, 5);

    test.operands("AX,BX");
    ASSERT_EQ(parse_operands(s), 0);
    EXPECT_EQ(s.dst.size, SIZE_WORD);
    EXPECT_EQ(s.src.kind, KIND_REGISTER);
    EXPECT_EQ(s.src.reg, 3);
}

}  // namespace
