// The processor-test runner: sets up each test's state, steps one
// instruction, and reports every register, flag and byte that differs.
#include "run/processor_tests.h"

#include <zlib.h>

#include <cstdarg>
#include <cstring>

namespace vexa {
namespace {

enum RegisterPlace { PLACE_GENERAL, PLACE_SEGMENT, PLACE_IP, PLACE_FLAGS };
struct TestRegister { const char* name; RegisterPlace place; int index; };

constexpr TestRegister test_registers[] = {
    {"ax", PLACE_GENERAL, REG_AX}, {"bx", PLACE_GENERAL, REG_BX}, {"cx", PLACE_GENERAL, REG_CX},
    {"dx", PLACE_GENERAL, REG_DX}, {"sp", PLACE_GENERAL, REG_SP}, {"bp", PLACE_GENERAL, REG_BP},
    {"si", PLACE_GENERAL, REG_SI}, {"di", PLACE_GENERAL, REG_DI}, {"cs", PLACE_SEGMENT, SEG_CS},
    {"ss", PLACE_SEGMENT, SEG_SS}, {"ds", PLACE_SEGMENT, SEG_DS}, {"es", PLACE_SEGMENT, SEG_ES},
    {"ip", PLACE_IP, 0},           {"flags", PLACE_FLAGS, 0},
};

uint16_t& register_field(Machine& machine, const TestRegister& reg) {
    switch (reg.place) {
    case PLACE_GENERAL: return machine.regs[reg.index];
    case PLACE_SEGMENT: return machine.segs[reg.index];
    case PLACE_IP: return machine.ip;
    case PLACE_FLAGS: break;
    }
    return machine.flags;
}

// The bytes that may stand before the opcode of a test's instruction.
constexpr uint8_t prefix_bytes[] = {0x26, 0x2E, 0x36, 0x3E, 0xF0, 0xF1, 0xF2, 0xF3};

bool is_prefix(int64_t byte) {
    for (uint8_t prefix : prefix_bytes) {
        if (byte == prefix) return true;
    }
    return false;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void append_format(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append_format(std::string& out, const char* format, ...) {
    char piece[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(piece, sizeof piece, format, args);
    va_end(args);
    out += piece;
}

bool is_word(const JsonValue* value) {
    return value && value->is_integer() && value->integer() >= 0 && value->integer() <= 0xFFFF;
}

// A RAM list: [address, byte] pairs of integers.
bool is_ram_list(const JsonValue* ram) {
    if (!ram || ram->kind != JSON_ARRAY) return false;
    for (const JsonValue& pair : ram->items) {
        if (pair.kind != JSON_ARRAY || pair.items.size() != 2 || !pair.items[0].is_integer() ||
            !pair.items[1].is_integer() || pair.items[1].integer() < 0 || pair.items[1].integer() > 0xFF) {
            return false;
        }
    }
    return true;
}

// The parts of one test, checked before anything runs.
struct TestParts {
    const JsonValue* name;
    const JsonValue* bytes;
    const JsonValue* initial_regs;
    const JsonValue* initial_ram;
    const JsonValue* final_regs;
    const JsonValue* final_ram;
};

bool split_test(const JsonValue& test, TestParts& parts) {
    const JsonValue* initial = test.member("initial");
    const JsonValue* final = test.member("final");
    if (!initial || !final) return false;
    parts = {test.member("name"), test.member("bytes"), initial->member("regs"), initial->member("ram"),
             final->member("regs"), final->member("ram")};
    if (!parts.initial_regs || !parts.final_regs || !is_ram_list(parts.initial_ram) ||
        !is_ram_list(parts.final_ram)) {
        return false;
    }
    for (const TestRegister& reg : test_registers) {
        if (!is_word(parts.initial_regs->member(reg.name))) return false;
        const JsonValue* changed = parts.final_regs->member(reg.name);
        if (changed && !is_word(changed)) return false;
    }
    return true;
}

void set_initial_state(Machine& machine, const TestParts& parts) {
    CpuModel processor = machine.processor;  // the tests run on the machine's processor
    reset_machine(machine);
    machine.processor = processor;
    for (const TestRegister& reg : test_registers) {
        register_field(machine, reg) = uint16_t(parts.initial_regs->member(reg.name)->integer());
    }
    for (const JsonValue& pair : parts.initial_ram->items) {
        machine.memory[uint32_t(pair.items[0].integer()) & ADDRESS_MASK] = uint8_t(pair.items[1].integer());
    }
}

uint16_t final_value(const TestParts& parts, const char* name) {
    const JsonValue* changed = parts.final_regs->member(name);
    return uint16_t((changed ? changed : parts.initial_regs->member(name))->integer());
}

// An instruction that leaves flags undefined and raises a divide error
// pushes FLAGS, CS and IP: the stacked FLAGS hold the same undefined flags,
// so that word is compared under the same mask.
constexpr uint32_t NO_ADDRESS = ~0u;
struct StackedFlags {
    uint32_t address = NO_ADDRESS;  // of the word's low byte
    uint16_t mask = 0xFFFF;
};

StackedFlags find_stacked_flags(const TestParts& parts, uint16_t flags_mask) {
    uint16_t sp_before = uint16_t(parts.initial_regs->member("sp")->integer());
    uint16_t sp_after = final_value(parts, "sp");
    if (flags_mask == 0xFFFF || uint16_t(sp_before - 6) != sp_after) return {};
    return {physical_address(final_value(parts, "ss"), uint16_t(sp_after + 4)), flags_mask};
}

uint8_t byte_mask(const StackedFlags& stacked, uint32_t address) {
    if (stacked.address == NO_ADDRESS) return 0xFF;
    if (address == stacked.address) return uint8_t(stacked.mask);
    if (address == ((stacked.address + 1) & ADDRESS_MASK)) return uint8_t(stacked.mask >> 8);
    return 0xFF;
}

// Every difference, "; "-separated; empty when the test passed.
std::string compare_final_state(Machine& machine, const TestParts& parts, uint16_t flags_mask) {
    std::string differences;
    auto separate = [&] { if (!differences.empty()) differences += "; "; };
    for (const TestRegister& reg : test_registers) {
        uint16_t expected = final_value(parts, reg.name);
        uint16_t got = register_field(machine, reg);
        uint16_t mask = reg.place == PLACE_FLAGS ? flags_mask : 0xFFFF;
        if ((expected & mask) == (got & mask)) continue;
        separate();
        append_format(differences, "%s expected %04X, got %04X", reg.name, expected, got);
        if (mask != 0xFFFF) append_format(differences, " (mask %04X)", mask);
    }
    StackedFlags stacked = find_stacked_flags(parts, flags_mask);
    for (const JsonValue& pair : parts.final_ram->items) {
        uint32_t address = uint32_t(pair.items[0].integer()) & ADDRESS_MASK;
        uint8_t expected = uint8_t(pair.items[1].integer()), got = machine.memory[address];
        uint8_t mask = byte_mask(stacked, address);
        if ((expected & mask) == (got & mask)) continue;
        separate();
        append_format(differences, "ram[%05X] expected %02X, got %02X", address, expected, got);
        if (mask != 0xFF) append_format(differences, " (mask %02X)", mask);
    }
    return differences;
}

std::string test_label(const JsonValue& test, const TestParts& parts, size_t index) {
    std::string label = parts.name && parts.name->kind == JSON_STRING ? parts.name->text : "(unnamed)";
    const JsonValue* number = test.member("test_num");
    append_format(label, " [test %lld]", number && number->is_integer() ? (long long)number->integer()
                                                                         : (long long)index);
    return label;
}

bool read_compressed_or_plain(const std::string& path, std::string& text) {
    gzFile file = gzopen(path.c_str(), "rb");
    if (!file) return false;
    char chunk[1 << 16];
    int count;
    while ((count = gzread(file, chunk, sizeof chunk)) > 0) text.append(chunk, size_t(count));
    gzclose(file);
    return count == 0;
}

bool read_json_file(const std::string& path, JsonValue& value, FILE* report) {
    std::string text, error;
    if (!read_compressed_or_plain(path, text)) {
        std::fprintf(report, "%s: cannot be read\n", path.c_str());
        return false;
    }
    if (!parse_json(text, value, error)) {
        std::fprintf(report, "%s: not valid JSON: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

std::string_view base_name(std::string_view path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool parse_test_file_name(std::string_view file_name, TestFileName& name) {
    file_name = base_name(file_name);
    if (file_name.size() < 2 || hex_digit(file_name[0]) < 0 || hex_digit(file_name[1]) < 0) return false;
    name.opcode = hex_digit(file_name[0]) * 16 + hex_digit(file_name[1]);
    name.group = -1;
    std::string_view rest = file_name.substr(2);
    if (rest.size() >= 2 && rest[0] == '.' && rest[1] >= '0' && rest[1] <= '7') {
        name.group = rest[1] - '0';
        rest = rest.substr(2);
    }
    return rest == ".json" || rest == ".json.gz";
}

bool look_up_status(const JsonValue& metadata, const TestFileName& file, const JsonValue& instruction,
                    TestStatus& status) {
    const JsonValue* opcodes = metadata.member("opcodes");
    char key[3] = {"0123456789ABCDEF"[file.opcode >> 4], "0123456789ABCDEF"[file.opcode & 15], 0};
    const JsonValue* entry = opcodes ? opcodes->member(key) : nullptr;
    if (!entry) return false;
    if (const JsonValue* groups = entry->member("reg")) {
        int group = file.group;
        if (group < 0) {
            size_t at = 0;
            while (at < instruction.items.size() && is_prefix(instruction.items[at].integer())) ++at;
            if (at + 1 >= instruction.items.size()) return false;
            group = int(instruction.items[at + 1].integer() >> 3) & 7;
        }
        const char digit[2] = {char('0' + group), 0};
        entry = groups->member(digit);
        if (!entry) return false;
    }
    const JsonValue* text = entry->member("status");
    const JsonValue* mask = entry->member("flags-mask");
    if (!text || text->kind != JSON_STRING) return false;
    status.status = text->text;
    status.flags_mask = is_word(mask) ? uint16_t(mask->integer()) : 0xFFFF;
    return true;
}

ProcessorTestCounts run_processor_tests(Machine& machine, const JsonValue& tests,
                                        const JsonValue& metadata, const TestFileName& file,
                                        FILE* report) {
    static const JsonValue no_bytes{};
    ProcessorTestCounts counts;
    for (size_t index = 0; index < tests.items.size(); ++index) {
        const JsonValue& test = tests.items[index];
        TestParts parts{};
        bool well_formed = split_test(test, parts);
        TestStatus status;
        if (!well_formed || !look_up_status(metadata, file, parts.bytes ? *parts.bytes : no_bytes, status)) {
            std::fprintf(report, "  FAIL %s: malformed test or no status in the metadata\n",
                         test_label(test, parts, index).c_str());
            ++counts.failed;
            continue;
        }
        if (status.status != "normal") {
            ++counts.skipped;
            continue;
        }
        set_initial_state(machine, parts);
        step_instruction(machine);
        std::string differences = compare_final_state(machine, parts, status.flags_mask);
        if (differences.empty()) {
            ++counts.passed;
        } else {
            std::fprintf(report, "  FAIL %s: %s\n", test_label(test, parts, index).c_str(), differences.c_str());
            ++counts.failed;
        }
    }
    return counts;
}

bool run_processor_test_file(Machine& machine, const char* path, FILE* report, ProcessorTestCounts& counts) {
    TestFileName file;
    if (!parse_test_file_name(path, file)) {
        std::fprintf(report, "%s: not a test file name (XX.json.gz or XX.N.json.gz)\n", path);
        return false;
    }
    std::string_view name = base_name(path);
    std::string directory(path, std::strlen(path) - name.size());
    JsonValue metadata, tests;
    if (!read_json_file(directory + "metadata.json", metadata, report) || !read_json_file(path, tests, report)) {
        return false;
    }
    if (tests.kind != JSON_ARRAY) {
        std::fprintf(report, "%s: not a list of tests\n", path);
        return false;
    }
    ProcessorTestCounts file_counts = run_processor_tests(machine, tests, metadata, file, report);
    std::fprintf(report, "%.*s: %d passed, %d failed, %d skipped\n", int(name.size()), name.data(),
                 file_counts.passed, file_counts.failed, file_counts.skipped);
    counts.passed += file_counts.passed;
    counts.failed += file_counts.failed;
    counts.skipped += file_counts.skipped;
    return true;
}

}  // namespace vexa
