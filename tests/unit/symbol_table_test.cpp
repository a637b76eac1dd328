// The symbol table's uniqueness, lookups of whole names and growth.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "symbols/symbols.h"

namespace {

using namespace vexa;

SymbolTable table;

int add(const std::string& name, int32_t value) { return table.add(name.data(), int(name.size()), value); }

int find(const std::string& name, int32_t* value = nullptr) {
    return table.find(name.data(), int(name.size()), value);
}

// A name made from a number, padded on the left to `length` characters.
std::string numbered(int number, size_t length) {
    std::string name = "S" + std::to_string(number);
    return name.size() < length ? std::string(length - name.size(), 'N') + name : name;
}

class SymbolTableTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(table.init(), 0); }
    void TearDown() override { table.free(); }
};

TEST_F(SymbolTableTest, EmptyTableFindsNothing) {
    int32_t value = 99;
    EXPECT_EQ(find("X", &value), -1);
    EXPECT_EQ(value, 0);
}

TEST_F(SymbolTableTest, FirstDefinitionStays) {
    EXPECT_EQ(add("LOOP", 5), SYMTAB_ADDED);
    EXPECT_EQ(add("LOOP", 7), SYMTAB_PRESENT);
    int32_t value = 0;
    EXPECT_EQ(find("LOOP", &value), 0);
    EXPECT_EQ(value, 5);
}

// Names that share their first characters, or all but one, are different
// symbols; each finds its own value and a name never added finds nothing.
TEST_F(SymbolTableTest, EveryCharacterCounts) {
    const std::string long_a(126, 'A');
    std::string long_b = long_a;
    long_b[125] = 'B';
    std::string middle = long_a;
    middle[60] = 'M';
    const std::string names[] = {
        "LONGNAME1", "LONGNAME2", "LONGNAME", "LONGNAM", "longname", "COUNTER_1", "COUNTER_2", "COUNTER_10",
        "PRINT_ST", "PRINT_STRING", "A", "AB", "ABC", "ABCD", "ABCDEFG", "ABCDEFGH", "ABCDEFGHI",
        "ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOPQ", "BBCDEFGHIJKLMNOPQ", long_a, long_b, middle,
        long_a.substr(1), std::string("\xe9T\xe9"),
    };
    int32_t value = 100;
    for (const std::string& name : names) ASSERT_EQ(add(name, value++), SYMTAB_ADDED) << name;
    value = 100;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        int32_t found = 0;
        EXPECT_GE(find(name, &found), 0);
        EXPECT_EQ(found, value++);
        EXPECT_EQ(add(name, 0), SYMTAB_PRESENT);
    }
    for (const char* absent : {"LONGNAME3", "LONGNAME12", "COUNTER_", "COUNTER_3", "PRINT_S", "PRINT_STRINGS",
                               "ABCDEFGHIJKLMNOQ", "ABCDEFGHIJ", "ABCDE", "ABD", "B", "\xe9T"}) {
        int32_t found = 5;
        EXPECT_EQ(find(absent, &found), -1) << absent;
        EXPECT_EQ(found, 0);
    }
    EXPECT_EQ(find(long_a.substr(2)), -1);
    EXPECT_EQ(find(long_a + "A"), -1);
}

// Only the given length counts: the bytes after it are not part of the name.
TEST_F(SymbolTableTest, NameEndsAtItsLength) {
    const char text[] = "COUNTER_12345";
    EXPECT_EQ(table.add(text, 9, 1), SYMTAB_ADDED);
    EXPECT_EQ(table.add(text, 3, 2), SYMTAB_ADDED);
    int32_t value = 0;
    EXPECT_GE(find("COUNTER_1", &value), 0);
    EXPECT_EQ(value, 1);
    EXPECT_GE(find("COU", &value), 0);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(find("COUNTER_12"), -1);
    EXPECT_EQ(table.find(text, 0, &value), -1);
    EXPECT_EQ(value, 0);
}

// Names of every length a line can hold, each a prefix of the next.
TEST_F(SymbolTableTest, NamesOfOneTo126Characters) {
    const std::string longest(126, 'Q');
    for (int length = 1; length <= 126; ++length) ASSERT_EQ(table.add(longest.data(), length, length), SYMTAB_ADDED);
    for (int length = 1; length <= 126; ++length) {
        int32_t value = 0;
        ASSERT_GE(table.find(longest.data(), length, &value), 0) << length;
        ASSERT_EQ(value, length);
    }
    EXPECT_EQ(table.count(), 126);
}

// A name read from the end of an allocation: no byte after it is touched
// (the sanitizer build would report one).
TEST_F(SymbolTableTest, NameAtTheEndOfItsBuffer) {
    for (int length = 1; length <= 20; ++length) {
        std::unique_ptr<char[]> name(new char[length]);
        std::memset(name.get(), 'Z', length);
        ASSERT_EQ(table.add(name.get(), length, length), SYMTAB_ADDED);
        int32_t value = 0;
        ASSERT_GE(table.find(name.get(), length, &value), 0);
        ASSERT_EQ(value, length);
    }
}

// The records grow far beyond their first block; every value stays, and
// positions follow the order of definition.
TEST_F(SymbolTableTest, GrowthKeepsEveryValue) {
    const int count = 3 * int(SYMTAB_INITIAL_BYTES) / 100;
    for (int i = 0; i < count; ++i) ASSERT_EQ(add(numbered(i, 100), i * 3), SYMTAB_ADDED);
    EXPECT_GT(table.capacity(), SYMTAB_INITIAL_BYTES);
    EXPECT_EQ(table.count(), count);
    int previous = -1;
    for (int i = 0; i < count; ++i) {
        int32_t value = -1;
        int position = find(numbered(i, 100), &value);
        ASSERT_GT(position, previous);
        ASSERT_EQ(value, i * 3);
        previous = position;
    }
}

TEST_F(SymbolTableTest, ManySymbolsStayFindable) {
    constexpr int count = 120000;
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(numbered(i, 4 + i % 13));  // 4 to 16 characters
    for (int i = 0; i < count; ++i) ASSERT_EQ(add(names[i], -i), SYMTAB_ADDED);
    for (int i = 0; i < count; i += 7) ASSERT_EQ(add(names[i], 1), SYMTAB_PRESENT);
    for (int i = 0; i < count; ++i) {
        int32_t value = 1;
        ASSERT_GE(find(names[i], &value), 0);
        ASSERT_EQ(value, -i);
    }
    EXPECT_EQ(find(numbered(count, 8)), -1);
    EXPECT_EQ(find(""), -1);
    EXPECT_EQ(table.count(), count);
}

// A new table starts empty: nothing of an earlier run is found.
TEST_F(SymbolTableTest, InitForgetsEarlierSymbols) {
    ASSERT_EQ(add("START", 0x100), SYMTAB_ADDED);
    ASSERT_EQ(table.init(), 0);
    EXPECT_EQ(find("START"), -1);
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(add("START", 0x200), SYMTAB_ADDED);
}

}  // namespace
