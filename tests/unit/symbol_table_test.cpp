// The symbol table's growth, uniqueness and lookups.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "symbols/symbols.h"

namespace {

using namespace vexa;

struct Key {
    char bytes[SYMBOL_NAME_BYTES] = {};
    explicit Key(const char* name) { std::memcpy(bytes, name, strnlen(name, SYMBOL_NAME_BYTES)); }
    explicit Key(int number) { std::snprintf(bytes, SYMBOL_NAME_BYTES, "S%d", number); }
};

class SymbolTableTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(symtab_init(), 0); }
    void TearDown() override { symtab_free(); }
};

TEST_F(SymbolTableTest, EmptyTableFindsNothing) {
    int32_t value = 99;
    EXPECT_EQ(symtab_find(Key("X").bytes, &value), -1);
    EXPECT_EQ(value, 0);
}

TEST_F(SymbolTableTest, FirstDefinitionStays) {
    EXPECT_EQ(symtab_add(Key("LOOP").bytes, 5), SYMTAB_ADDED);
    EXPECT_EQ(symtab_add(Key("LOOP").bytes, 7), SYMTAB_PRESENT);
    int32_t value = 0;
    EXPECT_EQ(symtab_find(Key("LOOP").bytes, &value), 0);
    EXPECT_EQ(value, 5);
}

TEST_F(SymbolTableTest, NamesCompareAllEightBytes) {
    EXPECT_EQ(symtab_add(Key("LONGNAME").bytes, 1), SYMTAB_ADDED);
    EXPECT_EQ(symtab_add(Key("LONGNAM").bytes, 2), SYMTAB_ADDED);
    EXPECT_EQ(symtab_add(Key("longname").bytes, 3), SYMTAB_ADDED);
    int32_t value = 0;
    EXPECT_EQ(symtab_find(Key("LONGNAM").bytes, &value), 1);
    EXPECT_EQ(value, 2);
}

TEST_F(SymbolTableTest, GrowsBy500AndKeepsEveryValue) {
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(symtab_add(Key(i).bytes, i * 3), SYMTAB_ADDED);
    EXPECT_EQ(symbol_table.capacity, 1000);
    ASSERT_EQ(symtab_add(Key(1000).bytes, 3000), SYMTAB_ADDED);
    EXPECT_EQ(symbol_table.capacity, 1500);
    EXPECT_EQ(symbol_table.count, 1001);
    for (int i = 0; i <= 1000; ++i) {
        int32_t value = -1;
        ASSERT_EQ(symtab_find(Key(i).bytes, &value), i);
        ASSERT_EQ(value, i * 3);
    }
}

TEST_F(SymbolTableTest, ManySymbolsStayFindable) {
    constexpr int count = 120000;
    for (int i = 0; i < count; ++i) ASSERT_EQ(symtab_add(Key(i).bytes, -i), SYMTAB_ADDED);
    for (int i = 0; i < count; i += 7) ASSERT_EQ(symtab_add(Key(i).bytes, 1), SYMTAB_PRESENT);
    for (int i = 0; i < count; ++i) {
        int32_t value = 1;
        ASSERT_EQ(symtab_find(Key(i).bytes, &value), i);
        ASSERT_EQ(value, -i);
    }
    EXPECT_EQ(symtab_find(Key(count).bytes, nullptr), -1);
    EXPECT_EQ(symtab_find(Key("").bytes, nullptr), -1);
    EXPECT_EQ(symbol_table.capacity, 1000 + 500 * ((count - 1000 + 499) / 500));
}

}  // namespace
