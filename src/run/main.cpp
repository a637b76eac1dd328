// vexa-run: runs a .COM or .EXE program on the interpreter, its console on
// standard input and output, or runs files of processor tests.
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "run/processor_tests.h"
#include "run/run.h"
#include "run/trace.h"

namespace vexa {
namespace {

// Exit statuses of endings other than the program's own exit, above the
// codes programs usually return.
constexpr int STATUS_TESTS_FAILED = 1;
constexpr int STATUS_DIVIDE_ERROR = 120;
constexpr int STATUS_NO_INPUT = 121;
constexpr int STATUS_UNSUPPORTED = 122;
constexpr int STATUS_HALT = 123;
constexpr int STATUS_LIMIT = 124;
constexpr int STATUS_CANNOT_START = 125;

struct EndingStatus { Ending ending; int status; };
constexpr EndingStatus ending_statuses[] = {
    {ENDING_HALT, STATUS_HALT},           {ENDING_LIMIT, STATUS_LIMIT},
    {ENDING_UNSUPPORTED, STATUS_UNSUPPORTED}, {ENDING_NO_INPUT, STATUS_NO_INPUT},
    {ENDING_DIVIDE_ERROR, STATUS_DIVIDE_ERROR},
};

constexpr uint64_t SLICE = 1 << 20;  // instructions between flushes of the output
constexpr size_t MAX_COMMAND_TAIL = 126;

// Set by the build from the commit it was made from.
#ifndef VEXA_BUILD_VERSION
#define VEXA_BUILD_VERSION "unknown"
#endif
constexpr const char* VERSION_TEXT = "Vexa Assembler Ver. 1.05\nbuild " VEXA_BUILD_VERSION "\n";

constexpr const char* USAGE =
    "usage: vexa-run PROGRAM.COM|PROGRAM.EXE [--cpu=8086|186] [--input TEXT] [--limit N] [--trace] [-- ARGUMENT...]\n"
    "       vexa-run [--cpu=8086|186] --processor-tests FILE...\n";

// ---- The command line ------------------------------------------------------------

struct Options {
    const char* program = nullptr;
    const char* input = nullptr;  // null: standard input
    uint64_t limit = DEFAULT_INSTRUCTION_LIMIT;
    bool trace = false;
    bool help = false;
    bool version = false;
    bool processor_tests = false;
    CpuModel processor = CPU_8086;
    std::vector<const char*> test_files;
    std::string command_tail;
};

enum OptionKind { OPTION_INPUT, OPTION_LIMIT, OPTION_TRACE, OPTION_PROCESSOR_TESTS, OPTION_HELP, OPTION_VERSION,
                  OPTION_CPU };
struct OptionName { const char* name; OptionKind kind; bool takes_value; };
constexpr OptionName option_names[] = {
    {"--input", OPTION_INPUT, true},   {"--limit", OPTION_LIMIT, true},
    {"--trace", OPTION_TRACE, false},  {"--processor-tests", OPTION_PROCESSOR_TESTS, false},
    {"--help", OPTION_HELP, false},    {"-?", OPTION_HELP, false},
    {"--version", OPTION_VERSION, false}, {"--cpu", OPTION_CPU, true},
};

// The processors --cpu names.
struct CpuName { const char* name; CpuModel processor; };
constexpr CpuName cpu_names[] = {{"8086", CPU_8086}, {"186", CPU_186}, {"80186", CPU_186}};

// "--name" or "--name=value"; the value, when not joined, is the next word.
const OptionName* find_option(std::string_view word, std::string_view& joined, bool& has_joined) {
    size_t equals = word.find('=');
    std::string_view name = word.substr(0, equals);
    has_joined = equals != std::string_view::npos;
    if (has_joined) joined = word.substr(equals + 1);
    for (const OptionName& option : option_names) {
        if (name == option.name && (option.takes_value || !has_joined)) return &option;
    }
    return nullptr;
}

bool parse_limit(std::string_view text, uint64_t& limit) {
    auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), limit);
    return !text.empty() && problem == std::errc() && end == text.data() + text.size();
}

bool apply_option(const OptionName& option, const char* value, Options& options, std::string& error) {
    switch (option.kind) {
    case OPTION_INPUT: options.input = value; return true;
    case OPTION_LIMIT:
        if (parse_limit(value, options.limit)) return true;
        error = std::string("--limit wants a count of instructions, not '") + value + "'";
        return false;
    case OPTION_TRACE: options.trace = true; return true;
    case OPTION_PROCESSOR_TESTS: options.processor_tests = true; return true;
    case OPTION_HELP: options.help = true; return true;
    case OPTION_VERSION: options.version = true; return true;
    case OPTION_CPU:
        for (const CpuName& cpu : cpu_names) {
            if (std::strcmp(value, cpu.name) == 0) {
                options.processor = cpu.processor;
                return true;
            }
        }
        error = std::string("--cpu wants 8086 or 186, not '") + value + "'";
        return false;
    }
    return false;
}

// The words after "--" become the command tail, as COMMAND.COM passes it:
// each word after a space.
bool set_command_tail(int count, char** words, Options& options, std::string& error) {
    for (int i = 0; i < count; ++i) options.command_tail += std::string(" ") + words[i];
    if (options.command_tail.size() <= MAX_COMMAND_TAIL) return true;
    error = "the command tail is longer than 126 characters";
    return false;
}

// With --processor-tests every operand is a test file; otherwise there is
// one, the program.
bool assign_operands(const std::vector<const char*>& operands, Options& options, std::string& error) {
    if (options.help || options.version) return true;
    if (options.processor_tests) {
        options.test_files = operands;
        if (!operands.empty()) return true;
        error = "--processor-tests wants at least one test file";
        return false;
    }
    if (operands.size() == 1) {
        options.program = operands[0];
        return true;
    }
    error = operands.empty() ? "no program to run" : "more than one program to run";
    return false;
}

bool parse_arguments(int argc, char** argv, Options& options, std::string& error) {
    std::vector<const char*> operands;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        std::string_view word = argv[i];
        if (word.size() < 2 || word[0] != '-') {
            operands.push_back(argv[i]);
            continue;
        }
        std::string_view joined;
        bool has_joined = false;
        const OptionName* option = find_option(word, joined, has_joined);
        if (!option) {
            error = "unknown option '" + std::string(word) + "'";
            return false;
        }
        const char* value = nullptr;
        if (option->takes_value && has_joined) {
            value = argv[i] + (joined.data() - word.data());
        } else if (option->takes_value) {
            if (i + 1 >= argc) {
                error = std::string(option->name) + " wants a value";
                return false;
            }
            value = argv[++i];
        }
        if (!apply_option(*option, value, options, error)) return false;
    }
    if (i < argc && !set_command_tail(argc - i - 1, argv + i + 1, options, error)) return false;
    return assign_operands(operands, options, error);
}

// ---- Console -------------------------------------------------------------------

void write_to_stdout(void*, const uint8_t* bytes, size_t count) { std::fwrite(bytes, 1, count, stdout); }

// Standard input, read as the program asks for it: a terminal gives a line
// at a time, so an interactive program sees each line as it is typed.
struct StdinReader {
    std::string buffer;
    bool terminal = isatty(STDIN_FILENO);
    bool ended = false;
};

// One read(); -1 on error, 0 at the end.
ssize_t read_some(std::string& buffer) {
    char chunk[1 << 16];
    ssize_t count;
    do {
        count = read(STDIN_FILENO, chunk, sizeof chunk);
    } while (count < 0 && errno == EINTR);
    if (count > 0) buffer.append(chunk, size_t(count));
    return count;
}

bool refill_from_stdin(InputSource& input) {
    auto* reader = static_cast<StdinReader*>(input.context);
    if (reader->ended) return false;
    std::fflush(stdout);  // a prompt shows before the program waits
    reader->buffer.erase(0, input.position);
    size_t before = reader->buffer.size();
    ssize_t count = read_some(reader->buffer);
    // A CR that ends what was read may be the first half of CR LF: the LF is
    // fetched now, or it would read as a second Enter.
    if (count > 0 && reader->buffer.back() == '\r' && !reader->terminal && read_some(reader->buffer) <= 0) {
        reader->ended = true;
    }
    if (count <= 0) reader->ended = true;
    input.bytes = reinterpret_cast<const uint8_t*>(reader->buffer.data());
    input.length = reader->buffer.size();
    input.position = 0;
    return reader->buffer.size() > before;
}

// ---- Running a program -----------------------------------------------------------

bool read_program(const char* path, std::vector<uint8_t>& image) {
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        std::fprintf(stderr, "vexa-run: cannot open %s: %s\n", path, std::strerror(errno));
        return false;
    }
    uint8_t chunk[1 << 16];
    size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) image.insert(image.end(), chunk, chunk + count);
    bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) std::fprintf(stderr, "vexa-run: cannot read %s\n", path);
    return !failed;
}

// ---- Source given instead of a program --------------------------------------------

// Words that make a line a statement of assembly source: the 8086 mnemonics
// and the directives of the common assemblers.
constexpr std::string_view statement_words[] = {
    "AAA", "AAD", "AAM", "AAS", "ADC", "ADD", "AND", "CALL", "CBW", "CLC", "CLD", "CLI", "CMC", "CMP",
    "CMPS", "CMPSB", "CMPSW", "CWD", "DAA", "DAS", "DEC", "DIV", "ESC", "HLT", "IDIV", "IMUL", "IN",
    "INC", "INT", "INTO", "IRET", "JA", "JAE", "JB", "JBE", "JC", "JCXZ", "JE", "JG", "JGE", "JL",
    "JLE", "JMP", "JNA", "JNAE", "JNB", "JNBE", "JNC", "JNE", "JNG", "JNGE", "JNL", "JNLE", "JNO",
    "JNP", "JNS", "JNZ", "JO", "JP", "JPE", "JPO", "JS", "JZ", "LAHF", "LDS", "LEA", "LES", "LOCK",
    "LODS", "LODSB", "LODSW", "LOOP", "LOOPE", "LOOPNE", "LOOPNZ", "LOOPZ", "MOV", "MOVS", "MOVSB",
    "MOVSW", "MUL", "NEG", "NOP", "NOT", "OR", "OUT", "POP", "POPF", "PUSH", "PUSHF", "RCL", "RCR",
    "REP", "REPE", "REPNE", "REPNZ", "REPZ", "RET", "RETF", "RETN", "ROL", "ROR", "SAHF", "SAL",
    "SAR", "SBB", "SCAS", "SCASB", "SCASW", "SHL", "SHR", "STC", "STD", "STI", "STOS", "STOSB",
    "STOSW", "SUB", "TEST", "WAIT", "XCHG", "XLAT", "XLATB", "XOR",
    "ORG", "DB", "DW", "DD", "DQ", "DT", "EQU", "END", "SEGMENT", "ENDS", "ASSUME", "PROC", "ENDP",
    "PUBLIC", "EXTRN", "EXTERN", "GLOBAL", "INCLUDE", "TITLE", "MACRO", "ENDM", "LABEL", "GROUP",
    "EVEN", "ALIGN", "BITS", "SECTION", "CPU", "TIMES", "RESB", "RESW", "RESD", "%DEFINE",
    "%INCLUDE", "%MACRO", ".MODEL", ".CODE", ".DATA", ".STACK", ".STARTUP", ".EXIT", ".8086", ".186",
    ".286", ".386", ".RADIX",
};

bool is_text_byte(uint8_t byte) {
    return (byte >= 0x20 && byte < 0x7F) || byte == '\t' || byte == '\r' || byte == '\n';
}

// The characters of a name, a number or a directive such as .MODEL or %DEFINE.
bool is_word_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("_.?@$%").find(c) != std::string_view::npos;
}

// The first line with more than blanks and a comment, without its comment.
std::string_view first_statement(std::string_view text) {
    while (!text.empty()) {
        size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        line = line.substr(0, line.find(';'));
        if (line.find_first_not_of(" \t") != std::string_view::npos) return line;
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return {};
}

// A word in any case against one of the table's, which are in capitals.
bool same_word(std::string_view word, std::string_view capitals) {
    if (word.size() != capitals.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        char c = word[i] >= 'a' && word[i] <= 'z' ? char(word[i] - 'a' + 'A') : word[i];
        if (c != capitals[i]) return false;
    }
    return true;
}

bool is_statement_word(std::string_view word) {
    for (std::string_view known : statement_words) {
        if (same_word(word, known)) return true;
    }
    return false;
}

bool has_statement_word(std::string_view line) {
    size_t i = 0;
    while (i < line.size()) {
        if (!is_word_char(line[i])) {
            ++i;
            continue;
        }
        size_t start = i;
        while (i < line.size() && is_word_char(line[i])) ++i;
        if (is_statement_word(line.substr(start, i - start))) return true;
    }
    return false;
}

// Text lines whose first statement names an instruction or a directive.
// Only text with a line end counts: a short program can be all printable.
bool looks_like_source(const std::vector<uint8_t>& image) {
    size_t size = image.size();
    if (size > 0 && image[size - 1] == 0x1A) --size;  // an editor's end-of-file mark
    bool has_line_end = false;
    for (size_t i = 0; i < size; ++i) {
        if (!is_text_byte(image[i])) return false;
        has_line_end = has_line_end || image[i] == '\n' || image[i] == '\r';
    }
    std::string_view text(reinterpret_cast<const char*>(image.data()), size);
    return has_line_end && has_statement_word(first_statement(text));
}

void print_trace_line(const Machine& machine) {
    char line[TRACE_LINE_CAPACITY];
    format_trace_line(machine, line, sizeof line);
    std::fprintf(stderr, "%s\n", line);
}

// One instruction at a time, each after its line: the limit is checked
// here as run_machine checks it.
void run_traced(Machine& machine) {
    while (machine.ending == ENDING_NONE) {
        if (machine.executed >= machine.limit) {
            machine.ending = ENDING_LIMIT;
            break;
        }
        print_trace_line(machine);
        step_instruction(machine);
        std::fflush(stdout);
    }
}

void run_in_slices(Machine& machine) {
    while (run_machine(machine, SLICE) == ENDING_NONE) std::fflush(stdout);
}

int exit_status(const Machine& machine) {
    if (machine.ending == ENDING_EXIT) return machine.exit_code & 0xFF;
    for (const EndingStatus& row : ending_statuses) {
        if (row.ending == machine.ending) return row.status;
    }
    return STATUS_CANNOT_START;
}

int run_program(const Options& options) {
    std::vector<uint8_t> image;
    if (!read_program(options.program, image)) return STATUS_CANNOT_START;
    if (looks_like_source(image)) {
        std::fprintf(stderr, "vexa-run: %s looks like assembly source: assemble it first with vexa\n",
                     options.program);
        return STATUS_CANNOT_START;
    }
    auto machine = std::make_unique<Machine>();
    std::string why;
    if (!load_program(*machine, image.data(), image.size(), options.command_tail.c_str(), &why)) {
        std::fprintf(stderr, "vexa-run: %s %s\n", options.program, why.c_str());
        return STATUS_CANNOT_START;
    }
    machine->processor = options.processor;
    machine->limit = options.limit;
    machine->output = {nullptr, write_to_stdout};
    StdinReader reader;
    if (options.input) {
        machine->input.bytes = reinterpret_cast<const uint8_t*>(options.input);
        machine->input.length = std::strlen(options.input);
    } else {
        machine->input.context = &reader;
        machine->input.refill = refill_from_stdin;
    }
    if (options.trace) {
        run_traced(*machine);
    } else {
        run_in_slices(*machine);
    }
    std::fflush(stdout);
    if (machine->ending != ENDING_EXIT) std::fprintf(stderr, "vexa-run: %s\n", describe_ending(*machine));
    return exit_status(*machine);
}

int run_test_files(const Options& options) {
    auto machine = std::make_unique<Machine>();
    machine->processor = options.processor;
    ProcessorTestCounts counts;
    bool all_read = true;
    for (const char* path : options.test_files) {
        all_read = run_processor_test_file(*machine, path, stdout, counts) && all_read;
    }
    if (options.test_files.size() > 1) {
        std::printf("total: %d passed, %d failed, %d skipped\n", counts.passed, counts.failed, counts.skipped);
    }
    if (!all_read) return STATUS_CANNOT_START;
    return counts.failed ? STATUS_TESTS_FAILED : 0;
}

}  // namespace
}  // namespace vexa

int main(int argc, char** argv) {
    vexa::Options options;
    std::string error;
    if (!vexa::parse_arguments(argc, argv, options, error)) {
        std::fprintf(stderr, "vexa-run: %s\n%s", error.c_str(), vexa::USAGE);
        return vexa::STATUS_CANNOT_START;
    }
    if (options.help) {
        std::fputs(vexa::USAGE, stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(vexa::VERSION_TEXT, stdout);
        return 0;
    }
    return options.processor_tests ? vexa::run_test_files(options) : vexa::run_program(options);
}
