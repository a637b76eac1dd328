// Path length limits, which need arguments too long to write into case files.
#include <gtest/gtest.h>

#include <string>

#include "support/run_vexa.h"

namespace {

using vexa_test::run_vexa;
using vexa_test::ScratchDir;

const std::string dir(200, 'd');

// A path of exactly `length` characters: dir/fff...<suffix>.
std::string path_of_length(size_t length, const std::string& suffix) {
    return dir + "/" + std::string(length - dir.size() - 1 - suffix.size(), 'f') + suffix;
}

const char* const banner = "Vexa Assembler Ver. 1.05\n";

struct PathCase {
    std::vector<std::string> args;
    std::string source;
    std::string message;  // after the banner; empty for an assembly that runs
    int exit_status;
    std::string created;  // a file the run must leave, if any
};

TEST(CommandLine, PathLengthLimits) {
    const std::string at_limit = path_of_length(259, ".asm");
    const std::string over_limit = path_of_length(260, ".asm");
    const std::string long_derived = path_of_length(259, ".a");  // its .COM name has 261 characters
    const PathCase cases[] = {
        {{at_limit, "-l"}, at_limit, "", 0, path_of_length(259, ".LST")},
        {{over_limit}, over_limit, "Too long path string for source file\n", 1, ""},
        {{long_derived}, long_derived, "Too long path string for object file\n", 1, ""},
        {{long_derived, "-o=x.bin", "-l"}, long_derived, "Too long path string for listing file\n", 1, ""},
        {{long_derived, "-o=" + dir + "/" + std::string(99, 'o')}, long_derived, "", 0,
         dir + "/" + std::string(58, 'o')},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.message);
        ScratchDir scratch;
        scratch.write(c.source, "  END\n");
        vexa_test::RunResult run = run_vexa(scratch, c.args);
        EXPECT_EQ(run.err, banner + c.message);
        EXPECT_EQ(run.exit_status, c.exit_status);
        if (!c.created.empty()) {
            EXPECT_TRUE(scratch.exists(c.created));
        }
        if (c.exit_status == 1) {
            EXPECT_FALSE(scratch.exists("x.bin"));
        }
    }
}

// The version on standard output, and the build's after it; nothing else is printed.
TEST(CommandLine, Version) {
    ScratchDir scratch;
    scratch.write("prog.asm", "  END\n");
    vexa_test::RunResult run = run_vexa(scratch, {"prog.asm", "--version"});
    EXPECT_EQ(run.out.rfind("Vexa Assembler Ver. 1.05\nbuild ", 0), 0u) << run.out;
    EXPECT_EQ(run.out.back(), '\n');
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_FALSE(scratch.exists("prog.COM"));
}

TEST(CommandLine, RunsRepeatInOneProcess) {
    // Settings of one run must not leak into the next.
    ScratchDir scratch;
    scratch.write("a.asm", "  END\n");
    EXPECT_EQ(run_vexa(scratch, {"a.asm", "-l", "-o=x.bin"}).exit_status, 0);
    scratch.write("b.asm", "  END\n");
    vexa_test::RunResult second = run_vexa(scratch, {"b.asm"});
    EXPECT_EQ(second.exit_status, 0);
    EXPECT_TRUE(scratch.exists("b.COM"));
    EXPECT_FALSE(scratch.exists("b.LST"));
}

}  // namespace
