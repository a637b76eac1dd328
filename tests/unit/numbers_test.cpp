// Numeric literals, symbol references and the operand character check.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "parse/parse.h"
#include "support/test_assembly.h"

namespace {

using namespace vexa;

// Text with room after its end, as the readers need: they read sixteen
// bytes at a time.
class Padded {
public:
    explicit Padded(const std::string& text) : bytes_(text.size() + 32, '\0') { text.copy(bytes_.data(), text.size()); }
    const char* text() const { return bytes_.data(); }
    char* text() { return bytes_.data(); }

private:
    std::vector<char> bytes_;
};

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
        {"7_", ERR_INVALID_NUMBER, 0, 0},
        {"1_000", 0, 1000, 5},
        {"0FF_FFH", 0, 0xFFFF, 7},
        {"1__0", ERR_INVALID_NUMBER, 0, 0},
        {"140D", 0, 140, 4},
        {"17Q", 0, 15, 3},
        {"101Y", 0, 5, 4},
        {"1DH", 0, 0x1D, 3},
        {"0B101", 0, 5, 5},
        {"0Y11,", 0, 3, 4},
        {"0O17", 0, 15, 4},
        {"0Q17", 0, 15, 4},
        {"0D99", 0, 99, 4},
        {"0B101H", 0, 0xB101, 6},
        {"0D12H", 0, 0xD12, 5},
        {"0B12", ERR_INVALID_BINARY, 0, 3},
        {"0O8", ERR_INVALID_OCTAL, 0, 2},
        {"7\x1bW", 0, 7, 1},
        {"H", 0, 0, 1},
        {"B", 0, 0, 1},
        {"O", 0, 0, 1},
        {"12B", ERR_INVALID_BINARY, 0, 1},
        {"1102B", ERR_INVALID_BINARY, 0, 3},
        {"18O", ERR_INVALID_OCTAL, 0, 1},
        {"12X", ERR_INVALID_NUMBER, 0, 0},
        {"1E5", ERR_INVALID_NUMBER, 0, 0},
        {"10D", 0, 10, 3},
        {"10Q", 0, 8, 3},
        {"19Y", ERR_INVALID_BINARY, 0, 1},
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
        Padded padded(c.text);
        const char* cursor = padded.text();
        int32_t value = 12345;
        EXPECT_EQ(parse_number(&cursor, &value), c.result);
        EXPECT_EQ(cursor - padded.text(), c.consumed);
        EXPECT_EQ(value, c.result == 0 ? c.value : 12345);
    }
}

class SymbolReference : public testing::Test {
protected:
    void SetUp() override {
        test.define("COUNTER_", 42);
        test.define("COUNTER_1", 1);
        test.define("COUNTER_2", 2);
        test.define("X", 0x104);
    }
    vexa_test::TestAssembly test;
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
        const char* text = test.operands(c.text);
        const char* cursor = text;
        int32_t value = 777;
        EXPECT_EQ(parse_symbol_ref(test.statement(), &cursor, &value), c.result);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(cursor - text, c.consumed);
    }
}

// A name whose value came from names defined further down may change in a
// later pass: a statement that reads it is not replayed.
TEST_F(SymbolReference, UnsettledNamesMarkTheStatement) {
    Statement& s = test.statement();
    test.symbols().add("LATE", 4, 5, true);
    for (const char* name : {"X", "LATE"}) {
        s.begin(0);
        const char* cursor = test.operands(name);
        int32_t value;
        EXPECT_EQ(parse_symbol_ref(s, &cursor, &value), 0);
        EXPECT_EQ(s.first_pass_guess, std::string(name) == "LATE") << name;
    }
}

// The characters operands may hold: names (. ? @ $ among them), numbers,
// brackets and every operator.
const std::string allowed = "\t\x1b $()*+,-./:?@[]_!%&<=>^|~0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// The operand character check as one loop over the characters would make it.
int check_by_character(const std::string& text, int& first_comma, int& second_comma) {
    first_comma = second_comma = -1;
    for (size_t i = 0; i < text.size() && text[i]; ++i) {
        if (allowed.find(text[i]) == std::string::npos) return ERR_INVALID_CHARACTER;
        if (text[i] != ',') continue;
        if (first_comma < 0) {
            first_comma = int(i);
        } else if (second_comma < 0) {
            second_comma = int(i);
        }
    }
    return 0;
}

// The check reads sixteen bytes at a time (unless the build has only the
// plain paths): it must find what one character at a time finds.
TEST(CheckOperandChars, BlockAndCharacterChecksAgree) {
    for (int c = 1; c < 256; ++c) {
        for (int position : {0, 5, 15, 16, 17, 40}) {
            std::string text(48, 'A');
            text[5] = ',';
            text[30] = ',';
            text[position] = char(c);
            Padded padded(text);
            Commas found{};
            int result = check_operand_chars(padded.text(), &found);
            int first, second;
            EXPECT_EQ(result, check_by_character(text, first, second)) << c << " at " << position;
            auto offset = [&](const char* comma) { return comma ? int(comma - padded.text()) : -1; };
            if (result == 0) {
                EXPECT_EQ(offset(found.first), first);
                EXPECT_EQ(offset(found.second), second);
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
            Padded padded(text);
            Commas found{};
            ASSERT_EQ(check_operand_chars(padded.text(), &found), 0) << text;
            int first, second;
            check_by_character(text, first, second);
            auto offset = [&](const char* comma) { return comma ? int(comma - padded.text()) : -1; };
            EXPECT_EQ(offset(found.first), first) << text;
            EXPECT_EQ(offset(found.second), second) << text;
        }
    }
}

TEST(CheckOperandChars, AllowedSet) {
    EXPECT_EQ(check_operand_chars(Padded(allowed).text()), 0);
    EXPECT_EQ(check_operand_chars(Padded("[BX+SI]").text()), 0);
    EXPECT_EQ(check_operand_chars(Padded("ES:\x1b" "B[DI]").text()), 0);
    for (int c = 1; c < 256; ++c) {
        if (allowed.find(char(c)) != std::string::npos) continue;
        EXPECT_EQ(check_operand_chars(Padded(std::string("A") + char(c)).text()), ERR_INVALID_CHARACTER) << c;
    }
}

}  // namespace
