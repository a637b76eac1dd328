// The library interface: sources and included files in memory, the image,
// the listing and the diagnostics as data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/assembler.h"
#include "driver/driver.h"

namespace {

using vexa::AssemblyResult;
using vexa::Diagnostic;

struct Files {
    std::vector<std::pair<std::string, std::string>> files;  // the first is the main source
    std::vector<std::string> include_paths = {};
    bool listing = false;
};

AssemblyResult assemble(const Files& given, vexa::Progress* progress = nullptr) {
    vexa::MemoryFiles files;
    for (const auto& [name, text] : given.files) files.files[name] = text;
    vexa::AssemblyOptions options;
    options.source = given.files.front().first;
    options.include_paths = given.include_paths;
    options.listing = given.listing;
    return vexa::assemble_to_memory(options, files, progress);
}

std::string hex(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        static const char digits[] = "0123456789ABCDEF";
        if (!text.empty()) text += ' ';
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

// What a test compares of a diagnostic.
struct Seen {
    Diagnostic::Severity severity;
    int pass;
    std::string file;
    int line;
    int code;
    std::string source_line;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> seen(const AssemblyResult& result) {
    std::vector<Seen> all;
    for (const Diagnostic& d : result.diagnostics) {
        all.push_back({d.severity, d.pass, d.file, int(d.line), d.code, d.source_line});
    }
    return all;
}

void PrintTo(const Seen& s, std::ostream* out) {
    *out << "{" << int(s.severity) << ", pass " << s.pass << ", " << s.file << ":" << s.line << ", " << s.code
         << ", \"" << s.source_line << "\"}";
}

constexpr auto ERROR = Diagnostic::ERROR;

TEST(Library, IncludedFilesFromMemory) {
    AssemblyResult result = assemble({{{"MAIN.ASM", "        ORG 100H\n        CALL SHOW\n        INCLUDE 'lib/show.inc'\n"
                                                    "        END\n"},
                                       {"lib/show.inc", "SHOW:   MOV AH,COLOR\n        INCLUDE colors.inc\n        RET\n"},
                                       {"lib/colors.inc", "COLOR   EQU 9\n"}},
                                      {},
                                      true});
    EXPECT_EQ(result.load_result, vexa::LOAD_OK);
    EXPECT_FALSE(result.failed());
    EXPECT_EQ(result.passes, 2);
    EXPECT_EQ(result.origin, 0x100);
    EXPECT_EQ(hex(result.image), "E8 00 00 B4 09 C3");
    EXPECT_TRUE(result.diagnostics.empty());
    EXPECT_NE(result.listing.find("0103  B4 09                   C000001:  SHOW:   MOV AH,COLOR\r\n"), std::string::npos)
        << result.listing;
}

TEST(Library, DiagnosticsAsData) {
    struct Case {
        const char* what;
        Files files;
        std::vector<Seen> expected;
    };
    const Case cases[] = {
        {"a statement error in both passes, one in the second only",
         {{{"P.ASM", "        MOV AX,\n        MOV BX,NOWHERE\n        END\n"}}},
         {{ERROR, 1, "", 1, vexa::ERR_SYNTAX, "        MOV AX,"},
          {ERROR, 2, "", 1, vexa::ERR_SYNTAX, "        MOV AX,"},
          {ERROR, 2, "", 2, vexa::ERR_SYMBOL_NOT_DEFINED, "        MOV BX,NOWHERE"}}},
        {"errors in an included file carry its name as the INCLUDE wrote it",
         {{{"P.ASM", "        INCLUDE \"B.INC\"\n        END\n"}, {"B.INC", "        NOP\n        FOO\n"}}},
         {{ERROR, 1, "B.INC", 2, vexa::ERR_INVALID_OPCODE, "        FOO"},
          {ERROR, 2, "B.INC", 2, vexa::ERR_INVALID_OPCODE, "        FOO"}}},
        {"a file found nowhere",
         {{{"P.ASM", "        INCLUDE NONE.INC\n        END\n"}}},
         {{ERROR, 1, "", 1, vexa::ERR_INCLUDE_NOT_FOUND, "        INCLUDE NONE.INC"},
          {ERROR, 2, "", 1, vexa::ERR_INCLUDE_NOT_FOUND, "        INCLUDE NONE.INC"}}},
        {"a program that needs a third pass: errors of the first and the last",
         {{{"P.ASM", "        MOV AX,[BX+OFS]\nNEXT:   DB 300\nOFS     EQU 4\n        END\n"}}},
         {{ERROR, 1, "", 2, vexa::ERR_ILLEGAL_SIZE, "NEXT:   DB 300"},
          {ERROR, 3, "", 2, vexa::ERR_ILLEGAL_SIZE, "NEXT:   DB 300"}}},
        {"a guess of the first pass that the value found later makes good is not reported",
         {{{"P.ASM", "        INT VECTOR\nVECTOR  EQU 21H\n        END\n"}}},
         {}},
        {"EQUs that only name each other never get a value",
         {{{"P.ASM", "A       EQU B\nB       EQU A\n        END\n"}}},
         {{ERROR, 2, "", 1, vexa::ERR_SYMBOL_NOT_DEFINED, "A       EQU B"},
          {ERROR, 2, "", 2, vexa::ERR_SYMBOL_NOT_DEFINED, "B       EQU A"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AssemblyResult result = assemble(c.files);
        EXPECT_EQ(seen(result), c.expected);
        EXPECT_EQ(result.errors, int(c.expected.size()));
        for (const Diagnostic& d : result.diagnostics) EXPECT_EQ(d.message, vexa::error_message(d.code));
    }
}

TEST(Library, NotesAndFatalStops) {
    AssemblyResult missing_end = assemble({{{"P.ASM", "        NOP\n"}}});
    ASSERT_EQ(missing_end.diagnostics.size(), 1u);
    EXPECT_EQ(missing_end.diagnostics[0].severity, Diagnostic::NOTE);
    EXPECT_EQ(missing_end.diagnostics[0].message, "Not found 'END' directive.");
    EXPECT_FALSE(missing_end.failed());

    AssemblyResult cycle = assemble({{{"P.ASM", "A       EQU B+1\nB       EQU A+1\n        END\n"}}});
    ASSERT_FALSE(cycle.diagnostics.empty());
    EXPECT_EQ(cycle.diagnostics.back().severity, Diagnostic::FATAL);
    EXPECT_EQ(cycle.diagnostics.back().message, "Phase error : Symbol value is different between passes.");
    EXPECT_TRUE(cycle.stopped);
    EXPECT_TRUE(cycle.image.empty());

    vexa::MemoryFiles none;
    vexa::AssemblyOptions options;
    options.source = "GONE.ASM";
    EXPECT_EQ(vexa::assemble_to_memory(options, none).load_result, vexa::LOAD_NOT_FOUND);
}

// Sixteen levels of included files below the main source are read; the
// seventeenth, or a file that is being read, is refused.
TEST(Library, IncludeDepthAndCycles) {
    auto chain = [](int levels) {
        Files files{{{"P.ASM", "        INCLUDE L1.INC\n        END\n"}}};
        for (int level = 1; level <= levels; ++level) {
            std::string next = level < levels ? "        INCLUDE L" + std::to_string(level + 1) + ".INC\n" : "";
            files.files.push_back({"L" + std::to_string(level) + ".INC", "        DB " + std::to_string(level) + "\n" + next});
        }
        return files;
    };
    AssemblyResult deepest = assemble(chain(16));
    EXPECT_FALSE(deepest.failed());
    EXPECT_EQ(deepest.image.size(), 16u);

    AssemblyResult too_deep = assemble(chain(17));
    ASSERT_EQ(too_deep.errors, 2);
    EXPECT_EQ(too_deep.diagnostics[0].code, vexa::ERR_INCLUDE_NESTED);
    EXPECT_EQ(too_deep.diagnostics[0].file, "L16.INC");
    EXPECT_EQ(too_deep.image.size(), 16u);

    AssemblyResult cycle = assemble({{{"P.ASM", "        INCLUDE A.INC\n        END\n"},
                                      {"A.INC", "        DB 1\n        INCLUDE A.INC\n        DB 2\n"}}});
    ASSERT_EQ(cycle.errors, 2);
    EXPECT_EQ(cycle.diagnostics[0].code, vexa::ERR_INCLUDE_NESTED);
    EXPECT_EQ(hex(cycle.image), "01 02");
}

// Beside the including file, then each -I directory in order, then the
// current directory.
TEST(Library, IncludeSearchOrder) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> candidates;  // the files that exist
        std::string found;
    };
    const Case cases[] = {
        {{{"src/X.INC", "'src'"}, {"one/X.INC", "'one'"}, {"X.INC", "'cur'"}}, "src"},
        {{{"one/X.INC", "'one'"}, {"two/X.INC", "'two'"}, {"X.INC", "'cur'"}}, "one"},
        {{{"two/X.INC", "'two'"}, {"X.INC", "'cur'"}}, "two"},
        {{{"X.INC", "'cur'"}}, "cur"},
    };
    for (const Case& c : cases) {
        Files files{{{"src/P.ASM", "        INCLUDE X.INC\n        END\n"}}, {"one", "two/"}};
        for (const auto& [name, text] : c.candidates) files.files.push_back({name, "        DB " + text + "\n"});
        AssemblyResult result = assemble(files);
        EXPECT_EQ(result.image, c.found) << c.candidates.front().first;
    }
}

// One assembly leaves nothing behind for the next, and tells its progress
// as it goes.
TEST(Library, AssembliesAreIndependent) {
    class Recorder : public vexa::Progress {
    public:
        std::vector<int> passes;
        int told = 0;
        void pass_started(int pass) override { passes.push_back(pass); }
        void reported(const Diagnostic&) override { ++told; }
    };
    const Files first{{{"P.ASM", "        ORG 200H\nA:      MOV AX,B\nB       EQU 1000H\n        FOO\n        END\n"}}};
    const Files second{{{"P.ASM", "A:      NOP\n        MOV AX,A\n        END\n"}}};
    Recorder recorder;
    AssemblyResult one = assemble(first, &recorder);
    EXPECT_EQ(recorder.passes, (std::vector<int>{1, 2}));
    EXPECT_EQ(recorder.told, int(one.diagnostics.size()));
    AssemblyResult two = assemble(second);
    EXPECT_EQ(two.origin, 0);
    EXPECT_EQ(hex(two.image), "90 B8 00 00");
    EXPECT_TRUE(two.diagnostics.empty());
    AssemblyResult again = assemble(first);
    EXPECT_EQ(again.image, one.image);
    EXPECT_EQ(seen(again), seen(one));
}

}  // namespace
