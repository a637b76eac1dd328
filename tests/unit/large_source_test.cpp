// Sources too large to write out as case files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/run_vexa.h"

namespace {

TEST(LargeSource, TwoHundredThousandSymbols) {
    vexa_test::ScratchDir dir;
    std::string source;
    char line[64];
    for (int i = 0; i < 200000; ++i) {
        std::snprintf(line, sizeof line, "S%07d EQU %d\n", i, i % 200);
        source += line;
    }
    // References to the first, a middle and the last symbol, and a forward one.
    source += "        DB S0000000,S0100000,S0199999,LAST\nLAST:   DW S0199999\n        END\n";
    dir.write("prog.asm", source);
    vexa_test::RunResult run = vexa_test::run_vexa(dir, {"prog.asm"});
    EXPECT_EQ(run.err, "Vexa Assembler Ver. 1.05\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(dir.read("prog.COM"), std::string("\x00\x00\xC7\x04\xC7\x00", 6));
}

}  // namespace
