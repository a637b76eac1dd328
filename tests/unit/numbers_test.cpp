// Numeric literals, symbol references and the operand character check.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "parse/parse.h"
#include "symbols/symbols.h"

namespace {

using namespace vexa;

struct NumberCase {
    const char* text;
    int result;
    int32_t value;     // checked when result is 0
    int consumed;      // characters the cursor moved
};

TEST(ParseNumber, LiteralsAndCursor) {
    const NumberCase cases[] = {
        {"255", 0, 255, 3},
        {"255,", 0, 255, 3},
        {"0FFH", 0, 255, 4},
        {"0FFH]", 0, 255, 4},
        {"11B", 0, 3, 3},
        {"1011B", 0, 11, 5},
        {"1011BH", 0, 0x1011B, 6},
        {"0BH", 0, 11, 3},
        {"17O", 0, 15, 3},
        {"12H5", 0, 0x12, 3},
        {"4294967297", 0, 1, 10},
        {"4294967295", 0, -1, 10},
        {"123456789ABCDEF0H", 0, int32_t(0x9ABCDEF0), 17},
        {"0", 0, 0, 1},
        {"7_", 0, 7, 1},
        {"7\x1bW", 0, 7, 1},
        {"H", 0, 0, 1},
        {"B", 0, 0, 1},
        {"O", 0, 0, 1},
        {"12B", ERR_INVALID_BINARY, 0, 1},
        {"1102B", ERR_INVALID_BINARY, 0, 3},
        {"18O", ERR_INVALID_OCTAL, 0, 1},
        {"12X", ERR_INVALID_NUMBER, 0, 0},
        {"1E5", ERR_INVALID_NUMBER, 0, 0},
        {"10D", ERR_INVALID_NUMBER, 0, 0},
        {"10Q", ERR_INVALID_NUMBER, 0, 0},
        {"0FFh", ERR_INVALID_NUMBER, 0, 0},
        {"0X1F", 0, 0x1F, 4},
        {"0X7FFF,", 0, 0x7FFF, 6},
        {"0X0", 0, 0, 3},
        {"0XB]", 0, 11, 3},
        {"0XFFFFFFFF+1", 0, -1, 10},
        {"0X123456789", 0, 0x23456789, 11},
        {"0X", ERR_INVALID_NUMBER, 0, 0},
        {"0X+1", ERR_INVALID_NUMBER, 0, 0},
        {"0X1G", ERR_INVALID_NUMBER, 0, 0},
        {"0X1FH", ERR_INVALID_NUMBER, 0, 0},
        {"00X1", ERR_INVALID_NUMBER, 0, 0},
        {"1X1", ERR_INVALID_NUMBER, 0, 0},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.text);
        const char* cursor = c.text;
        int32_t value = 12345;
        EXPECT_EQ(parse_number(&cursor, &value), c.result);
        EXPECT_EQ(cursor - c.text, c.consumed);
        EXPECT_EQ(value, c.result == 0 ? c.value : 12345);
    }
}

class SymbolReference : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(symtab_init(), 0);
        symtab_add("COUNTER_", 8, 42);
        symtab_add("COUNTER_1", 9, 1);
        symtab_add("COUNTER_2", 9, 2);
        symtab_add("X", 1, 0x104);
    }
    void TearDown() override { symtab_free(); }
};

TEST_F(SymbolReference, NamesAndCursor) {
    struct RefCase {
        const char* text;
        int result;
        int32_t value;
        int consumed;
    };
    const RefCase cases[] = {
        {"COUNTER_", 0, 42, 8},
        {"COUNTER_+1", 0, 42, 8},
        {"COUNTER_1", 0, 1, 9},
        {"COUNTER_2+4", 0, 2, 9},
        {"COUNTER_3", ERR_SYMBOL_NOT_DEFINED, 0, 9},
        {"COUNTER_12]", ERR_SYMBOL_NOT_DEFINED, 0, 10},
        {"X]", 0, 0x104, 1},
        {"X:5", 0, 0x104, 1},
        {"X+1", 0, 0x104, 1},
        {"XY", ERR_SYMBOL_NOT_DEFINED, 0, 2},
        {"COUNTER", ERR_SYMBOL_NOT_DEFINED, 0, 7},
        {"", ERR_SYMBOL_NOT_DEFINED, 0, 0},
        {"+X", ERR_SYMBOL_NOT_DEFINED, 0, 0},
    };
    for (const RefCase& c : cases) {
        SCOPED_TRACE(c.text);
        const char* cursor = c.text;
        int32_t value = 777;
        EXPECT_EQ(parse_symbol_ref(&cursor, &value), c.result);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(cursor - c.text, c.consumed);
    }
}

TEST(CheckOperandChars, BlockAndCharacterChecksAgree) {
    // Text inside operand_text is checked sixteen bytes at a time, any other
    // text one character at a time: both must find the same.
    for (int c = 1; c < 256; ++c) {
        for (int position : {0, 5, 15, 16, 17, 40}) {
            std::string text(48, 'A');
            text[5] = ',';
            text[30] = ',';
            text[position] = char(c);
            std::strcpy(operand_text, text.c_str());
            Commas in_buffer{}, outside{};
            int block_result = check_operand_chars(operand_text, &in_buffer);
            EXPECT_EQ(block_result, check_operand_chars(text.c_str(), &outside)) << c << " at " << position;
            auto offset = [](const char* comma, const char* base) { return comma ? comma - base : -1; };
            if (block_result == 0) {
                EXPECT_EQ(offset(in_buffer.first, operand_text), offset(outside.first, text.c_str()));
                EXPECT_EQ(offset(in_buffer.second, operand_text), offset(outside.second, text.c_str()));
            }
        }
    }
}

// Texts of one block or just over, with no comma to three of them: the one
// block's commas are found without the loop, and must be the same ones.
TEST(CheckOperandChars, CommasOfShortTexts) {
    for (int length = 1; length <= 18; ++length) {
        const std::vector<std::vector<int>> comma_sets = {
            {}, {0}, {length - 1}, {length / 2}, {0, length - 1}, {1, length / 2, length - 1}};
        for (const std::vector<int>& commas : comma_sets) {
            std::string text(size_t(length), 'B');
            for (int at : commas) {
                if (at < length) text[size_t(at)] = ',';
            }
            std::strcpy(operand_text, text.c_str());
            Commas in_buffer{}, outside{};
            ASSERT_EQ(check_operand_chars(operand_text, &in_buffer), 0) << text;
            ASSERT_EQ(check_operand_chars(text.c_str(), &outside), 0) << text;
            auto offset = [](const char* comma, const char* base) { return comma ? comma - base : -1; };
            EXPECT_EQ(offset(in_buffer.first, operand_text), offset(outside.first, text.c_str())) << text;
            EXPECT_EQ(offset(in_buffer.second, operand_text), offset(outside.second, text.c_str())) << text;
        }
    }
}

TEST(CheckOperandChars, AllowedSet) {
    const std::string allowed = "\t\x1b $()*+,-/:@[]_0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    EXPECT_EQ(check_operand_chars(allowed.c_str()), 0);
    EXPECT_EQ(check_operand_chars("[BX+SI]"), 0);
    EXPECT_EQ(check_operand_chars("ES:\x1b" "B[DI]"), 0);
    for (int c = 1; c < 256; ++c) {
        if (allowed.find(char(c)) != std::string::npos) continue;
        char text[] = {'A', char(c), 0};
        EXPECT_EQ(check_operand_chars(text), ERR_INVALID_CHARACTER) << "byte " << c;
    }
}

}  // namespace
