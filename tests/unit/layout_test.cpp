// How statements may be laid out: long lines, and the data they can hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/assembler.h"
#include "driver/driver.h"
#include "support/case_file.h"

namespace {

vexa::AssemblyResult assemble(const std::string& source) {
    vexa::MemoryFiles files;
    files.files["P.ASM"] = source;
    vexa::AssemblyOptions options;
    options.source = "P.ASM";
    return vexa::assemble_to_memory(options, files);
}

// The first error's code, or 0.
int first_error(const vexa::AssemblyResult& result) {
    for (const vexa::Diagnostic& d : result.diagnostics) {
        if (d.severity != vexa::Diagnostic::NOTE) return d.code;
    }
    return 0;
}

// A statement's data holds as many bytes as a line has characters, however
// they are made: strings, items, inner DUPs; one byte more is an error, and
// no byte is ever dropped silently.
TEST(Layout, DataUpToTheLongestLine) {
    const std::string longest_string(vexa::LONGEST_LINE_CHARS - 32, 's');
    struct Case {
        std::string statement;
        size_t image_size;  // when clean
        int error;
    };
    const Case cases[] = {
        {"DB '" + longest_string + "'", longest_string.size(), 0},
        {"DB 2 DUP(4094 DUP(7),'AB')", 8192, 0},
        {"DB 2 DUP(4095 DUP(7),'AB')", 0, vexa::ERR_ILLEGAL_SIZE},
        {"DB 2 DUP(4096 DUP(7))", 8192, 0},
        {"DB 2 DUP(4097 DUP(7))", 0, vexa::ERR_ILLEGAL_SIZE},
        {"DW 3 DUP(2048 DUP(1))", 12288, 0},
        {"DW 3 DUP(2049 DUP(1))", 0, vexa::ERR_ILLEGAL_SIZE},
        {"DB 2 DUP(3000 DUP(5)),2 DUP(1000 DUP(1))", 8000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement.substr(0, 40));
        vexa::AssemblyResult result = assemble("        " + c.statement + "\n        END\n");
        EXPECT_EQ(first_error(result), c.error);
        if (!c.error) {
            EXPECT_EQ(result.image.size(), c.image_size);
        }
    }
}

// The cases of one program in four layouts expect the same image and
// listings that differ only in the source text (from column 40 on).
TEST(Layout, FourLayoutsOfOneProgram) {
    const char* layouts[] = {"column_zero", "indented_labels", "indented_names", "labels_in_column_zero"};
    std::string first_object, first_columns;
    for (const char* layout : layouts) {
        SCOPED_TRACE(layout);
        std::ifstream file(std::filesystem::path(VEXA_CASES_DIR) / "layout" / (std::string(layout) + ".case"));
        std::stringstream text;
        text << file.rdbuf();
        std::string error;
        vexa_test::CaseFile layout_case = vexa_test::parse_case_file(text.str(), error);
        ASSERT_EQ(error, "");
        EXPECT_EQ(layout_case.exit_status, 0);
        std::string object, columns;
        for (const vexa_test::NamedContent& expected : layout_case.expected_files) {
            if (expected.binary) {
                object = expected.bytes;
                continue;
            }
            std::istringstream lines(expected.bytes);
            for (std::string line; std::getline(lines, line);) columns += line.substr(0, 40) + "\n";
        }
        ASSERT_FALSE(object.empty());
        ASSERT_FALSE(columns.empty());
        if (first_object.empty()) {
            first_object = object;
            first_columns = columns;
        }
        EXPECT_EQ(object, first_object);
        EXPECT_EQ(columns, first_columns);
    }
}

}  // namespace
