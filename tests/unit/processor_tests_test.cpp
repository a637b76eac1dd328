// The JSON reader and the processor-test runner: file names, statuses from
// the metadata, and what a test reports when the processor gets it wrong.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "run/json.h"
#include "run/processor_tests.h"

namespace {

using namespace vexa;

// ---- JSON ------------------------------------------------------------------------

struct JsonCase {
    const char* text;
    bool valid;
    const char* shape;  // the value written back compactly, for the valid ones
};

std::string shape(const JsonValue& value) {
    switch (value.kind) {
    case JSON_NULL: return "null";
    case JSON_FALSE: return "false";
    case JSON_TRUE: return "true";
    case JSON_NUMBER: {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", value.number);
        return text;
    }
    case JSON_STRING: return "'" + value.text + "'";
    case JSON_ARRAY:
    case JSON_OBJECT: break;
    }
    std::string out = value.kind == JSON_ARRAY ? "[" : "{";
    for (size_t i = 0; i < value.items.size(); ++i) {
        if (i) out += ",";
        if (value.kind == JSON_OBJECT) out += value.items[i].key + ":";
        out += shape(value.items[i]);
    }
    return out + (value.kind == JSON_ARRAY ? "]" : "}");
}

TEST(Json, Values) {
    const JsonCase cases[] = {
        {"0", true, "0"},
        {" -12 ", true, "-12"},
        {"1048575", true, "1048575"},
        {"2.5e3", true, "2500"},
        {"true", true, "true"},
        {"false", true, "false"},
        {"null", true, "null"},
        {"\"add cl, ah\"", true, "'add cl, ah'"},
        {R"("a\"b\\c\/d\n")", true, "'a\"b\\c/d\n'"},
        {R"("\u0041\u00e9")", true, "'A\xC3\xA9'"},
        {R"("\ud83d\ude00")", true, "'\xF0\x9F\x98\x80'"},
        {"[]", true, "[]"},
        {"{}", true, "{}"},
        {"[[1,2],[3,[4]]]", true, "[[1,2],[3,[4]]]"},
        {R"({"regs": {"ax": 1, "ip": 2}, "ram": [[5, 6]]})", true, "{regs:{ax:1,ip:2},ram:[[5,6]]}"},
        {"\n\t[ 1 ,\r\n 2 ]\n", true, "[1,2]"},
        {"", false, ""},
        {"[1,2", false, ""},
        {"[1,]", false, ""},
        {"{\"a\" 1}", false, ""},
        {"{a: 1}", false, ""},
        {"[1] 2", false, ""},
        {"tru", false, ""},
        {"\"open", false, ""},
        {"\"bad \\q escape\"", false, ""},
        {"\"\\u12\"", false, ""},
        {"\"tab\tinside\"", false, ""},
        {"-", false, ""},
        {"+1", false, ""},
        {"@", false, ""},
    };
    for (const JsonCase& c : cases) {
        JsonValue value;
        std::string error;
        EXPECT_EQ(parse_json(c.text, value, error), c.valid) << c.text << ": " << error;
        if (c.valid) {
            EXPECT_EQ(shape(value), c.shape) << c.text;
        } else {
            EXPECT_NE(error, "") << c.text;
        }
    }
}

TEST(Json, NestingTooDeepIsAnError) {
    JsonValue value;
    std::string error;
    EXPECT_TRUE(parse_json(std::string(60, '[') + std::string(60, ']'), value, error));
    EXPECT_FALSE(parse_json(std::string(100000, '['), value, error));
}

TEST(Json, MembersAndIntegers) {
    JsonValue value;
    std::string error;
    ASSERT_TRUE(parse_json(R"({"a": 65535, "b": 1.5, "c": "x"})", value, error));
    ASSERT_NE(value.member("a"), nullptr);
    EXPECT_TRUE(value.member("a")->is_integer());
    EXPECT_EQ(value.member("a")->integer(), 65535);
    EXPECT_FALSE(value.member("b")->is_integer());
    EXPECT_FALSE(value.member("c")->is_integer());
    EXPECT_EQ(value.member("d"), nullptr);
    EXPECT_EQ(value.member("a")->member("a"), nullptr) << "a number has no members";
}

// ---- File names and statuses -------------------------------------------------------

struct FileNameCase {
    const char* name;
    bool valid;
    int opcode, group;
};

TEST(ProcessorTests, FileNames) {
    const FileNameCase cases[] = {
        {"00.json.gz", true, 0x00, -1},
        {"tests/processor/F6.6.json.gz", true, 0xF6, 6},
        {"fe.1.json", true, 0xFE, 1},
        {"9C.json", true, 0x9C, -1},
        {"80.8.json.gz", false, 0, 0},
        {"metadata.json", false, 0, 0},
        {"0.json.gz", false, 0, 0},
        {"00.json.gz.bak", false, 0, 0},
        {"00.txt", false, 0, 0},
        {"README.md", false, 0, 0},
    };
    for (const FileNameCase& c : cases) {
        TestFileName name;
        EXPECT_EQ(parse_test_file_name(c.name, name), c.valid) << c.name;
        if (!c.valid) continue;
        EXPECT_EQ(name.opcode, c.opcode) << c.name;
        EXPECT_EQ(name.group, c.group) << c.name;
    }
}

constexpr const char* METADATA = R"({"opcodes": {
    "00": {"status": "normal"},
    "26": {"status": "prefix"},
    "D4": {"status": "normal", "flags": "o....a.c", "flags-mask": 63470},
    "D8": {"status": "fpu"},
    "C6": {"reg": {"0": {"status": "normal"}, "1": {"status": "undefined"}}},
    "F6": {"reg": {"1": {"status": "alias"}, "6": {"status": "normal", "flags-mask": 63274}}}
}})";

struct StatusCase {
    const char* what;
    int opcode, group;
    const char* bytes;
    bool found;
    const char* status;
    uint16_t mask;
};

TEST(ProcessorTests, StatusFromTheMetadata) {
    const StatusCase cases[] = {
        {"a plain opcode", 0x00, -1, "[0, 192]", true, "normal", 0xFFFF},
        {"a flags mask", 0xD4, -1, "[212, 10]", true, "normal", 63470},
        {"not normal", 0xD8, -1, "[216, 192]", true, "fpu", 0xFFFF},
        {"a group from the file name", 0xF6, 6, "[246, 240]", true, "normal", 63274},
        {"an alias group", 0xF6, 1, "[246, 200]", true, "alias", 0xFFFF},
        {"the group from the ModRM byte", 0xC6, -1, "[198, 0, 5]", true, "normal", 0xFFFF},
        {"an undefined group from the ModRM byte", 0xC6, -1, "[198, 200, 5]", true, "undefined", 0xFFFF},
        {"the ModRM byte after prefixes", 0xC6, -1, "[38, 46, 198, 8, 5]", true, "undefined", 0xFFFF},
        {"no ModRM byte", 0xC6, -1, "[198]", false, "", 0},
        {"a group the metadata lacks", 0xF6, 3, "[246, 216]", false, "", 0},
        {"an opcode the metadata lacks", 0x90, -1, "[144]", false, "", 0},
    };
    JsonValue metadata, bytes;
    std::string error;
    ASSERT_TRUE(parse_json(METADATA, metadata, error)) << error;
    for (const StatusCase& c : cases) {
        ASSERT_TRUE(parse_json(c.bytes, bytes, error)) << c.what;
        TestStatus status;
        EXPECT_EQ(look_up_status(metadata, {c.opcode, c.group}, bytes, status), c.found) << c.what;
        if (!c.found) continue;
        EXPECT_EQ(status.status, c.status) << c.what;
        EXPECT_EQ(status.flags_mask, c.mask) << c.what;
    }
}

// ---- Running tests ------------------------------------------------------------------
// NOP at F000:0100 as the instruction: only IP changes. Each case changes
// one expectation and names what the report must say.

constexpr const char* NOP_TEST = R"({"name": "nop", "bytes": [144],
  "initial": {"regs": {"ax": 4660, "bx": 0, "cx": 0, "dx": 0, "cs": 61440, "ss": 0, "ds": 0, "es": 0,
                       "sp": 256, "bp": 0, "si": 0, "di": 0, "ip": 256, "flags": 61442},
              "ram": [[983296, 144], [4096, 171]]},
  "final": {"regs": {"ip": 257 %s}, "ram": [[983296, 144], [4096, %s]]}, "test_num": 3})";

struct RunCase {
    const char* what;
    const char* final_regs;  // more final registers
    const char* final_byte;  // the byte at 01000H afterwards
    const char* metadata;
    int passed, failed, skipped;
    const char* report;
};

constexpr const char* NOP_NORMAL = R"({"opcodes": {"90": {"status": "normal"}}})";
constexpr const char* NOP_MASKED = R"({"opcodes": {"90": {"status": "normal", "flags-mask": 65534}}})";
constexpr const char* NOP_ALIAS = R"({"opcodes": {"90": {"status": "alias"}}})";

TEST(ProcessorTests, Reports) {
    const RunCase cases[] = {
        {"all as expected", "", "171", NOP_NORMAL, 1, 0, 0, ""},
        {"a register", R"(, "ax": 1)", "171", NOP_NORMAL, 0, 1, 0,
         "  FAIL nop [test 3]: ax expected 0001, got 1234\n"},
        {"two registers", R"(, "si": 2, "ss": 65535)", "171", NOP_NORMAL, 0, 1, 0,
         "  FAIL nop [test 3]: si expected 0002, got 0000; ss expected FFFF, got 0000\n"},
        {"a memory byte", "", "170", NOP_NORMAL, 0, 1, 0,
         "  FAIL nop [test 3]: ram[01000] expected AA, got AB\n"},
        {"flags", R"(, "flags": 61443)", "171", NOP_NORMAL, 0, 1, 0,
         "  FAIL nop [test 3]: flags expected F003, got F002\n"},
        {"flags under a mask", R"(, "flags": 61443)", "171", NOP_MASKED, 1, 0, 0, ""},
        {"masked flags that still differ", R"(, "flags": 61446)", "171", NOP_MASKED, 0, 1, 0,
         "  FAIL nop [test 3]: flags expected F006, got F002 (mask FFFE)\n"},
        {"a status to skip", R"(, "ax": 1)", "171", NOP_ALIAS, 0, 0, 1, ""},
    };
    auto machine = std::make_unique<Machine>();
    for (const RunCase& c : cases) {
        char text[2048];
        std::snprintf(text, sizeof text, NOP_TEST, c.final_regs, c.final_byte);
        JsonValue test, tests, metadata;
        std::string error;
        ASSERT_TRUE(parse_json(text, test, error)) << c.what << ": " << error;
        ASSERT_TRUE(parse_json(c.metadata, metadata, error)) << c.what;
        tests.kind = JSON_ARRAY;
        tests.items.push_back(test);

        char* report_text = nullptr;
        size_t report_size = 0;
        FILE* report = open_memstream(&report_text, &report_size);
        ProcessorTestCounts counts = run_processor_tests(*machine, tests, metadata, {0x90, -1}, report);
        std::fclose(report);
        EXPECT_EQ(std::string(report_text, report_size), c.report) << c.what;
        std::free(report_text);
        EXPECT_EQ(counts.passed, c.passed) << c.what;
        EXPECT_EQ(counts.failed, c.failed) << c.what;
        EXPECT_EQ(counts.skipped, c.skipped) << c.what;
    }
}

// DIV BL with BL=0 at F000:0100, vector 0 at 0000:0400: the divide error
// pushes FLAGS at 0:00FE, CS, then IP. The stacked FLAGS are expected as 1234H.
constexpr const char* DIVIDE_ERROR_TEST = R"([{"name": "div bl", "bytes": [246, 243],
  "initial": {"regs": {"ax": 256, "bx": 0, "cx": 0, "dx": 0, "cs": 61440, "ss": 0, "ds": 0, "es": 0,
                       "sp": 256, "bp": 0, "si": 0, "di": 0, "ip": 256, "flags": 61442},
              "ram": [[983296, 246], [983297, 243], [0, 0], [1, 4], [2, 0], [3, 0]]},
  "final": {"regs": {"cs": 0, "ip": 1024, "sp": 250, "flags": 61442},
            "ram": [[983296, 246], [983297, 243], [250, 2], [251, 1], [252, 0], [253, 240],
                    [254, 52], [255, 18]]}}])";

struct StackedFlagsCase {
    const char* what;
    const char* metadata;
    int passed, failed;
    const char* reported;  // a part of the report
};

TEST(ProcessorTests, StackedFlagsOfADivideErrorUnderTheMask) {
    const StackedFlagsCase cases[] = {
        {"every flag undefined", R"({"opcodes": {"F6": {"reg": {"6": {"status": "normal", "flags-mask": 0}}}}})",
         1, 0, ""},
        {"every flag compared", R"({"opcodes": {"F6": {"reg": {"6": {"status": "normal"}}}}})", 0, 1,
         "ram[000FE] expected 34, got "},
        {"the high four bits compared", R"({"opcodes": {"F6": {"reg": {"6": {"status": "normal", "flags-mask": 61440}}}}})",
         0, 1, "ram[000FF] expected 12, got F0 (mask F0)"},
    };
    auto machine = std::make_unique<Machine>();
    for (const StackedFlagsCase& c : cases) {
        JsonValue tests, metadata;
        std::string error;
        ASSERT_TRUE(parse_json(DIVIDE_ERROR_TEST, tests, error)) << error;
        ASSERT_TRUE(parse_json(c.metadata, metadata, error)) << c.what;
        char* report_text = nullptr;
        size_t report_size = 0;
        FILE* report = open_memstream(&report_text, &report_size);
        ProcessorTestCounts counts = run_processor_tests(*machine, tests, metadata, {0xF6, 6}, report);
        std::fclose(report);
        std::string reported(report_text, report_size);
        std::free(report_text);
        EXPECT_EQ(counts.passed, c.passed) << c.what << ": " << reported;
        EXPECT_EQ(counts.failed, c.failed) << c.what;
        EXPECT_NE(reported.find(c.reported), std::string::npos) << c.what << ": " << reported;
    }
}

TEST(ProcessorTests, MalformedTestsFail) {
    const char* malformed[] = {
        R"({"name": "no final", "initial": {"regs": {}, "ram": []}})",
        R"({"name": "a register missing", "initial": {"regs": {"ax": 1}, "ram": []},
            "final": {"regs": {}, "ram": []}})",
        R"({"name": "a bad pair", "initial": {"regs": {}, "ram": [[1]]}, "final": {"regs": {}, "ram": []}})",
    };
    auto machine = std::make_unique<Machine>();
    JsonValue metadata;
    std::string error;
    ASSERT_TRUE(parse_json(NOP_NORMAL, metadata, error));
    for (const char* text : malformed) {
        JsonValue tests;
        ASSERT_TRUE(parse_json(std::string("[") + text + "]", tests, error)) << text;
        FILE* report = std::fopen("/dev/null", "w");
        ProcessorTestCounts counts = run_processor_tests(*machine, tests, metadata, {0x90, -1}, report);
        std::fclose(report);
        EXPECT_EQ(counts.failed, 1) << text;
        EXPECT_EQ(counts.passed, 0) << text;
    }
}

TEST(ProcessorTests, TheSampleFilesAreRead) {
    auto machine = std::make_unique<Machine>();
    ProcessorTestCounts counts;
    FILE* report = std::fopen("/dev/null", "w");
    EXPECT_TRUE(run_processor_test_file(*machine, VEXA_PROCESSOR_TESTS_DIR "/D8.json.gz", report, counts));
    EXPECT_FALSE(run_processor_test_file(*machine, VEXA_PROCESSOR_TESTS_DIR "/missing.json.gz", report, counts));
    EXPECT_FALSE(run_processor_test_file(*machine, VEXA_PROCESSOR_TESTS_DIR "/README.md", report, counts));
    std::fclose(report);
    EXPECT_EQ(counts.skipped, 40) << "D8 is a coprocessor opcode";
    EXPECT_EQ(counts.passed + counts.failed, 0);
}

TEST(ProcessorTests, TheTestsRunOnTheMachinesProcessor) {
    // 6A is PUSH imm8 on the 80186 and a conditional jump on the 8086.
    struct Case { CpuModel processor; int passed; };
    for (Case c : {Case{CPU_186, 40}, Case{CPU_8086, 0}}) {
        auto machine = std::make_unique<Machine>();
        machine->processor = c.processor;
        ProcessorTestCounts counts;
        FILE* report = std::fopen("/dev/null", "w");
        EXPECT_TRUE(run_processor_test_file(*machine, VEXA_PROCESSOR_TESTS_DIR "/../processor-186/6A.json.gz",
                                            report, counts));
        std::fclose(report);
        EXPECT_EQ(counts.passed, c.passed) << "processor " << int(c.processor);
        EXPECT_EQ(counts.passed + counts.failed, 40);
        EXPECT_EQ(machine->processor, c.processor) << "the runner keeps the processor";
    }
}

}  // namespace
