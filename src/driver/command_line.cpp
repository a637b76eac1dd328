// The command line: banner, options, file names, one assembly through the
// library interface, and the console's view of it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/assembler.h"
#include "driver/driver.h"
#include "output/file_sinks.h"
#include "parse/parse.h"

namespace vexa {

namespace {

constexpr int VERSION_MAJOR = 1;
constexpr int VERSION_MINOR = 5;
#ifndef VEXA_BUILD_VERSION
#define VEXA_BUILD_VERSION "unknown"
#endif
constexpr int32_t DEFAULT_LINES_PER_PAGE = 62;

constexpr int MAX_PATH_CHARS = 259;
constexpr size_t PATH_BUFFER_SIZE = MAX_PATH_CHARS + 1;

constexpr const char* usage_lines[] = {
    "  Syntax : Vexa source_path { <options> }\n",
    "  Options : \n",
    "      -o=object_path generate object file as <object_path>\n",
    "              default is <source_file> + \".COM\" if omitted\n",
    "      -l      generate listing file. Its name is source_file + \".LST\"\n",
    "      -l=list_path generate listing file as <list_path>\n",
    "      -p=lines set list file line count per page.(<10 means infinity)\n",
    "      -I=include_path look for included files also in <include_path>\n",
    "\n",
};

// What --help adds to the usage: the options of the usage's own form come
// first there, as they always were.
constexpr const char* more_usage_lines[] = {
    "      -o object_path  the same as -o=object_path\n",
    "      -q      print neither the banner nor the \"Pass\" lines\n",
    "      -w      report no warnings;  -w=error  report them as errors;\n",
    "      -w=NAME, -w=no-NAME  report one warning, or not: size, overflow, address, cs\n",
    "      --diagnostics=gnu  report as FILE:LINE:COLUMN: error: MESSAGE, each once;\n",
    "              a failed assembly leaves no object file\n",
    "      --map[=map_path]  write a symbol map, by default <object_path> with \".MAP\"\n",
    "      --deps[=deps_path]  write a make rule naming the files read, by default\n",
    "              on standard output\n",
    "      --no-expansions  leave the lines of macros and repetitions out of the listing\n",
    "      --dialect=vexa|nasm|masm  the conventions to assemble under; by default\n",
    "              the first BITS, CPU, SECTION, [ORG] or ABSOLUTE line chooses NASM's,\n",
    "              the first .MODEL, .CODE, .DATA, .STACK, DOSSEG, SEGMENT or ASSUME\n",
    "              MASM's, and Vexa's apply otherwise\n",
    "      --optimize  Vexa's conventions with the shortest jumps, immediates and\n",
    "              displacements, and far conditional jumps rewritten\n",
    "      --cpu=8086|186  the instructions assembled from the first line: the\n",
    "              8086's (by default), or the 80186's too, as CPU 186 enables them\n",
    "      -D NAME[=VALUE]  define NAME (as 1, or the decimal VALUE) before the\n",
    "              first line;  -U NAME  forget a NAME -D defined\n",
    "      -h, --help  print this text;  --version  print the version\n",
    "\n",
};

// What the command line asks for.
struct Settings {
    std::string object_path;
    std::string list_path;
    bool listing_requested = false;
    int32_t lines_per_page = DEFAULT_LINES_PER_PAGE;
    std::vector<std::string> include_paths;
    std::vector<std::string> defines;  // -D NAME or NAME=VALUE, less those -U removed
    std::string source_dir;   // up to the last `/` or `\`, or "./"
    std::string source_name;  // after it
    bool usage_requested = false;  // -?, -h, --help, --version: the run ends at once with status 0
    bool quiet = false;            // -q
    bool gnu = false;              // --diagnostics=gnu
    bool map_requested = false;
    std::string map_path;  // empty: derived from the object's
    bool deps_requested = false;
    std::string deps_path;  // empty: standard output
    uint8_t warnings = WARN_ALL;
    bool warnings_are_errors = false;
    bool list_expansions = true;  // --no-expansions leaves them out of the listing
    Dialect dialect = DIALECT_AUTO;
    bool optimize = false;
    bool cpu_186 = false;
};

class CommandLine {
public:
    CommandLine(FILE* out, FILE* err) : out_(out), err_(err) {}
    int run(int argc, char** argv);

private:
    void print_banner() { std::fprintf(err_, "Vexa Assembler Ver. %d.%02d\n", VERSION_MAJOR, VERSION_MINOR); }
    void print_usage(FILE* to) {
        for (const char* line : usage_lines) std::fputs(line, to);
    }
    void print_usage() { print_usage(err_); }
    int parse_command_line(int argc, char** argv);
    int parse_option(const char* text, const char* next);
    int parse_long_option(const char* text);
    bool parse_warning_option(const char* value);
    void set_lines_per_page(const char* value);
    bool derive_path(std::string& path, const char* extension) const;
    int fail_to_start(const char* message) {
        std::fputs(message, err_);
        return EXIT_NOT_STARTED;
    }
    int report_load_failure(int result);
    int write_reports(const AssemblyResult& result, const std::string& source_path);
    std::string beside_object(const char* extension) const;

    FILE* out_;
    FILE* err_;
    Settings settings_;
};

#ifndef VEXA_LIBRARY_DIR
#define VEXA_LIBRARY_DIR "/usr/local/share/vexa/include"
#endif

// After the directories -I gave, INCLUDE looks in the macro library's:
// beside the program (in its installed tree, or its build's source tree),
// then where it was installed.
void add_library_paths(std::vector<std::string>& paths) {
    char program[4096];
    ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length > 0) {
        std::string directory(program, size_t(length));
        directory.resize(directory.find_last_of('/') + 1);
        paths.push_back(directory + "../share/vexa/include");
        paths.push_back(directory + "../include");
    }
    paths.push_back(VEXA_LIBRARY_DIR);
}

// A name given with -o or -l keeps at most its first 259 characters.
std::string option_path(const char* value) {
    if (*value == '=') ++value;
    return std::string(value, strnlen(value, MAX_PATH_CHARS));
}

// NAME (letters, digits, _ and the other name characters, not starting with
// a digit), and for -D perhaps =VALUE, a decimal number with an optional sign.
bool valid_definition(const std::string& text, bool with_value) {
    size_t equals = text.find('=');
    std::string name = text.substr(0, equals);
    if (name.empty() || is_digit(name[0])) return false;
    for (char c : name) {
        if (!is_name_char(c)) return false;
    }
    if (equals == std::string::npos) return true;
    std::string value = text.substr(equals + 1);
    size_t digits = value[0] == '-' || value[0] == '+' ? 1 : 0;
    if (!with_value || value.size() == digits) return false;
    return value.find_first_not_of("0123456789", digits) == std::string::npos;
}

// Optional sign and decimal digits up to the first other character; values
// beyond 32 bits saturate.
int32_t read_decimal(const char* text) {
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;
    }
    if (negative) value = -value;
    return value > INT32_MAX ? INT32_MAX : int32_t(value);
}

void CommandLine::set_lines_per_page(const char* value) {
    if (*value == 0) {
        std::fputs("Missing line count in option '-p'. Ignored.\n\n", err_);
        return;
    }
    if (*value == '=') ++value;
    settings_.lines_per_page = read_decimal(value);
}

// -w, -w=error, -w=NAME, -w=no-NAME: false for an unknown name.
bool CommandLine::parse_warning_option(const char* value) {
    if (*value == 0) {
        settings_.warnings = 0;
        return true;
    }
    if (*value == '=') ++value;
    std::string name = value;
    for (char& c : name) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (name == "error") {
        settings_.warnings_are_errors = true;
        return true;
    }
    bool off = name.compare(0, 3, "no-") == 0;
    uint8_t group = warning_group(off ? name.substr(3) : name);
    if (!group) return false;
    settings_.warnings = uint8_t(off ? settings_.warnings & ~group : settings_.warnings | group);
    return true;
}

// The options written with two dashes: 1 for a known one, 0 otherwise.
int CommandLine::parse_long_option(const char* text) {
    std::string option = text;
    std::string value;
    size_t equals = option.find('=');
    bool has_value = equals != std::string::npos;
    if (has_value) {
        value = option.substr(equals + 1);
        option.resize(equals);
    }
    if (option == "-help" && !has_value) {
        print_usage(out_);
        for (const char* line : more_usage_lines) std::fputs(line, out_);
        settings_.usage_requested = true;
    } else if (option == "-version" && !has_value) {
        std::fprintf(out_, "Vexa Assembler Ver. %d.%02d\nbuild %s\n", VERSION_MAJOR, VERSION_MINOR, VEXA_BUILD_VERSION);
        settings_.usage_requested = true;
    } else if (option == "-diagnostics" && (value == "gnu" || value == "vexa")) {
        settings_.gnu = value == "gnu";
    } else if (option == "-map" && !(has_value && value.empty())) {
        settings_.map_requested = true;
        settings_.map_path = option_path(value.c_str());
    } else if (option == "-no-expansions" && !has_value) {
        settings_.list_expansions = false;
    } else if (option == "-dialect" && (value == "vexa" || value == "nasm" || value == "masm")) {
        settings_.dialect = value == "vexa" ? DIALECT_VEXA : value == "nasm" ? DIALECT_NASM : DIALECT_MASM;
    } else if (option == "-optimize" && !has_value) {
        settings_.optimize = true;
    } else if (option == "-cpu" && (value == "8086" || value == "186" || value == "286")) {
        settings_.cpu_186 = value != "8086";
    } else if (option == "-deps" && !(has_value && value.empty())) {
        settings_.deps_requested = true;
        settings_.deps_path = option_path(value.c_str());
    } else {
        return 0;
    }
    return 1;
}

// The words an option takes: 1, or 2 for -o and the name after it; 0 for
// an unknown option. `next` is the word after it, or null.
int CommandLine::parse_option(const char* text, const char* next) {
    if (*text == '-') return parse_long_option(text);
    char letter = *text;
    if (letter >= 'A' && letter <= 'Z') letter = char(letter - 'A' + 'a');
    const char* value = letter ? text + 1 : text;
    switch (letter) {
        case '?':
            print_usage();
            settings_.usage_requested = true;
            return 1;
        case 'h':
            if (*value) return 0;
            return parse_long_option("-help");
        case 'q':
            if (*value) return 0;
            settings_.quiet = true;
            return 1;
        case 'w':
            return parse_warning_option(value) ? 1 : 0;
        case 'l':
            settings_.listing_requested = true;
            if (*value) settings_.list_path = option_path(value);
            return 1;
        case 'o':
            if (*value) settings_.object_path = option_path(value);
            // -o FILE: the word after a lone -o names the object, unless it is an option.
            if (!*value && next && next[0] != '-') {
                settings_.object_path = option_path(next);
                return 2;
            }
            return 1;
        case 'p':
            set_lines_per_page(value);
            return 1;
        case 'd':
        case 'u': {
            // -D NAME, -DNAME, -D=NAME, -D NAME=VALUE; -U NAME removes a name -D gave.
            bool apart = !*value && next && next[0] != '-';
            if (*value == '=') ++value;
            std::string definition = apart ? next : value;
            if (!valid_definition(definition, letter == 'd')) return 0;
            std::vector<std::string>& defines = settings_.defines;
            std::string name = definition.substr(0, definition.find('='));
            std::erase_if(defines, [&](const std::string& d) { return d.substr(0, d.find('=')) == name; });
            if (letter == 'd') defines.push_back(definition);
            return apart ? 2 : 1;
        }
        case 'i':
            if (*value == '=') ++value;
            if (*value) {
                settings_.include_paths.emplace_back(value);
            } else {
                std::fputs("Missing directory in option '-I'. Ignored.\n\n", err_);
            }
            return 1;
        default:
            return 0;
    }
}

int CommandLine::parse_command_line(int argc, char** argv) {
    if (argc < 2) return 0;
    int arguments = 0;
    bool unknown = false;
    for (int i = 1; i < argc && !settings_.usage_requested; ++i) {
        char* word = argv[i];
        if (word[0] != '-') {
            argv[arguments++] = word;
            continue;
        }
        int used = parse_option(word + 1, i + 1 < argc ? argv[i + 1] : nullptr);
        if (used == 0) {
            if (!unknown) print_usage();
            std::fprintf(err_, "Error : Unknown option \"%s\"\n", word);
            unknown = true;
        }
        if (used == 2) ++i;
    }
    return unknown ? -1 : arguments;
}

// The source's directory and name with its extension replaced by `extension`;
// false when that would not fit in a path of 259 characters.
bool CommandLine::derive_path(std::string& path, const char* extension) const {
    size_t dot = settings_.source_name.rfind('.');
    std::string stem = dot == std::string::npos ? settings_.source_name : settings_.source_name.substr(0, dot);
    std::string derived = settings_.source_dir + stem + "." + extension;
    if (derived.size() > size_t(MAX_PATH_CHARS)) return false;
    path = derived;
    return true;
}

int CommandLine::report_load_failure(int result) {
    const char* dir = settings_.source_dir.c_str();
    const char* name = settings_.source_name.c_str();
    switch (result) {
        case LOAD_NOT_FOUND:
            std::fprintf(err_, "Can't find source file \"%s%s\"\n", dir, name);
            break;
        case LOAD_NO_MEMORY:
            std::fputs("Not enough memory to load the whole source file\n", err_);
            break;
        case LOAD_OPEN_FAILED:
            std::fprintf(err_, "System error : Can't open source file \"%s%s\"\n", dir, name);
            break;
        default:
            std::fputs("Read error : while loading entire source file.\n", err_);
            break;
    }
    return EXIT_NOT_STARTED;
}

// The console's view of an assembly: a line for each pass on standard
// output; each message, as it comes, on standard error. In the GNU format
// the messages wait for the end of the assembly, which tells each once.
class Console : public Progress {
public:
    Console(FILE* out, FILE* err, bool pass_lines, bool gnu)
        : out_(out), err_(err), pass_lines_(pass_lines), gnu_(gnu) {}

    void pass_started(int pass) override {
        if (!pass_lines_) return;
        std::fprintf(out_, "Pass %d\n", pass);
        std::fflush(out_);
    }

    // A statement error is its line (a line of an included file after the
    // file's name), then the message after a tab; any other message is one line.
    void reported(const Diagnostic& diagnostic) override {
        if (gnu_) return;
        if (diagnostic.severity != Diagnostic::ERROR && diagnostic.severity != Diagnostic::WARNING) {
            std::fprintf(err_, "%s\n", diagnostic.message.c_str());
            return;
        }
        if (!diagnostic.file.empty()) std::fprintf(err_, "%s:", diagnostic.file.c_str());
        std::fprintf(err_, "%06d : ", diagnostic.line);
        std::fwrite(diagnostic.source_line.data(), 1, diagnostic.source_line.size(), err_);
        // A line of an expansion comes first in the message.
        if (!diagnostic.expanded_line.empty()) std::fprintf(err_, "\n\t%s", diagnostic.expanded_line.c_str());
        const char* warning = diagnostic.severity == Diagnostic::WARNING ? "Warning : " : "";
        std::fprintf(err_, "\n\t%s%s\n", warning, diagnostic.message.c_str());
    }

private:
    FILE* out_;
    FILE* err_;
    bool pass_lines_;
    bool gnu_;
};

// A file written whole, or standard output for an empty path; false when it
// could not be written.
bool write_text(const std::string& path, const std::string& text, FILE* out) {
    if (path.empty()) {
        std::fwrite(text.data(), 1, text.size(), out);
        return true;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

bool is_standard_output(const std::string& path) { return path == "/dev/stdout" || path == "/dev/fd/1"; }

// A failed assembly in the GNU format leaves no object file, so that make
// does not take it for up to date; a device is left alone.
void remove_object(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) std::remove(path.c_str());
}

int CommandLine::write_reports(const AssemblyResult& result, const std::string& source_path) {
    int status = EXIT_CLEAN;
    if (settings_.map_requested && !write_text(settings_.map_path, symbol_map(result, source_path), out_)) {
        std::fprintf(err_, "Can't write map file \"%s\".\n", settings_.map_path.c_str());
        status = EXIT_ASSEMBLY_FAILED;
    }
    if (settings_.deps_requested &&
        !write_text(settings_.deps_path, make_rule(settings_.object_path, result.files_read), out_)) {
        std::fprintf(err_, "Can't write dependency file \"%s\".\n", settings_.deps_path.c_str());
        status = EXIT_ASSEMBLY_FAILED;
    }
    return status;
}

// Whether the banner is printed: not in the GNU format, not with -q, and
// not when only the version is asked for (it is the version's first line).
bool wants_banner(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (std::strcmp(word, "-q") == 0 || std::strcmp(word, "-Q") == 0 ||
            std::strcmp(word, "--diagnostics=gnu") == 0 || std::strcmp(word, "--version") == 0) {
            return false;
        }
    }
    return true;
}

int CommandLine::run(int argc, char** argv) {
    if (wants_banner(argc, argv)) print_banner();
    int arguments = parse_command_line(argc, argv);
    if (settings_.usage_requested) return EXIT_CLEAN;
    if (arguments < 0) return EXIT_NOT_STARTED;
    if (arguments == 0) {
        print_usage();
        return fail_to_start("Source file name required.\n");
    }
    if (arguments > 1) return fail_to_start("More than one source file\n");

    const std::string source_path = argv[0];
    if (source_path.size() >= PATH_BUFFER_SIZE) return fail_to_start("Too long path string for source file\n");
    size_t separator = source_path.find_last_of("/\\");
    settings_.source_dir = separator == std::string::npos ? "./" : source_path.substr(0, separator + 1);
    settings_.source_name = separator == std::string::npos ? source_path : source_path.substr(separator + 1);
    std::string exe_path;
    if (settings_.object_path.empty() &&
        (!derive_path(settings_.object_path, "COM") || !derive_path(exe_path, "EXE"))) {
        return fail_to_start("Too long path string for object file\n");
    }
    if (settings_.listing_requested && settings_.list_path.empty() && !derive_path(settings_.list_path, "LST")) {
        return fail_to_start("Too long path string for listing file\n");
    }
    if (settings_.map_requested && settings_.map_path.empty()) settings_.map_path = beside_object("MAP");

    AssemblyOptions options;
    options.source = source_path;
    options.include_paths = settings_.include_paths;
    add_library_paths(options.include_paths);
    options.list_expansions = settings_.list_expansions;
    options.listing = settings_.listing_requested;
    options.lines_per_page = settings_.lines_per_page;
    options.warnings = settings_.warnings;
    options.warnings_are_errors = settings_.warnings_are_errors;
    options.symbol_map = settings_.map_requested;
    options.defines = settings_.defines;
    options.dialect = settings_.dialect;
    options.optimize = settings_.optimize;
    options.cpu_186 = settings_.cpu_186;
    options.exe_object = exe_path;
    FileSystemFiles files;
    files.written_paths.push_back(settings_.object_path);
    if (!exe_path.empty()) files.written_paths.push_back(exe_path);
    if (options.listing) files.written_paths.push_back(settings_.list_path);
    ObjectFile object(settings_.object_path);
    ListingFile listing(settings_.list_path);
    // Standard output that carries a file keeps nothing else.
    bool output_taken = (settings_.deps_requested && settings_.deps_path.empty()) ||
                        is_standard_output(settings_.object_path) ||
                        (options.listing && is_standard_output(settings_.list_path)) ||
                        (settings_.map_requested && is_standard_output(settings_.map_path));
    Console console(out_, err_, !settings_.quiet && !settings_.gnu && !output_taken, settings_.gnu);
    AssemblyResult result = assemble(options, files, object, &listing, &console);
    if (result.load_result != LOAD_OK) return report_load_failure(result.load_result);
    if (result.exe && !exe_path.empty()) settings_.object_path = exe_path;
    if (settings_.gnu) {
        std::vector<Diagnostic> settled = settled_diagnostics(result);
        note_conventions(result, settled);
        std::string text = gnu_diagnostics(settled);
        std::fwrite(text.data(), 1, text.size(), err_);
        if (result.failed()) remove_object(settings_.object_path);
    }
    int written = write_reports(result, source_path);
    if (result.failed()) return EXIT_ASSEMBLY_FAILED;
    return written;
}

// The object's path with its extension replaced by `extension`.
std::string CommandLine::beside_object(const char* extension) const {
    const std::string& object = settings_.object_path;
    size_t name_at = object.find_last_of("/\\");
    name_at = name_at == std::string::npos ? 0 : name_at + 1;
    size_t dot = object.rfind('.');
    std::string stem = dot == std::string::npos || dot < name_at ? object : object.substr(0, dot);
    return stem + "." + extension;
}

}  // namespace

int vexa_main(int argc, char** argv, FILE* out, FILE* err) { return CommandLine(out, err).run(argc, argv); }

}  // namespace vexa
