// Runs files of single-instruction processor tests: each test sets the
// registers and memory, executes one instruction and compares what changed.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "run/json.h"
#include "run/run.h"

namespace vexa {

struct ProcessorTestCounts {
    int passed = 0;
    int failed = 0;
    int skipped = 0;  // tests of an opcode whose status is not "normal"
};

// What a test file holds, read from its name: XX.json[.gz] is opcode XX,
// XX.N.json[.gz] its ModRM.reg group N.
struct TestFileName {
    int opcode = -1;
    int group = -1;  // -1: the whole opcode
};

bool parse_test_file_name(std::string_view file_name, TestFileName& name);

// A test's status and the flags it compares, from the suite's metadata.
struct TestStatus {
    std::string status;
    uint16_t flags_mask = 0xFFFF;
};

// `instruction` is the test's bytes: the ModRM byte after its prefixes and
// opcode picks the group when the file is of a whole opcode that has groups.
bool look_up_status(const JsonValue& metadata, const TestFileName& file, const JsonValue& instruction,
                    TestStatus& status);

// Runs every test of one parsed file, printing each failure to `report`.
ProcessorTestCounts run_processor_tests(Machine& machine, const JsonValue& tests,
                                        const JsonValue& metadata, const TestFileName& file,
                                        FILE* report);

// Reads a test file (gzip-compressed or plain) and the metadata.json beside
// it, runs it and prints the failures and a summary line. Answers false, with
// a message on `report`, when a file cannot be read or parsed.
bool run_processor_test_file(Machine& machine, const char* path, FILE* report,
                             ProcessorTestCounts& counts);

}  // namespace vexa
