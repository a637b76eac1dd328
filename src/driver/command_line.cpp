// The command line: banner, options, file names, one assembly through the
// library interface, and the console's view of it.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/assembler.h"
#include "driver/driver.h"
#include "output/file_sinks.h"

namespace vexa {

namespace {

constexpr int VERSION_MAJOR = 1;
constexpr int VERSION_MINOR = 5;
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

// What the command line asks for.
struct Settings {
    std::string object_path;
    std::string list_path;
    bool listing_requested = false;
    int32_t lines_per_page = DEFAULT_LINES_PER_PAGE;
    std::vector<std::string> include_paths;
    std::string source_dir;   // up to the last `/` or `\`, or "./"
    std::string source_name;  // after it
    bool usage_requested = false;  // -?: the run ends at once with status 0
};

class CommandLine {
public:
    CommandLine(FILE* out, FILE* err) : out_(out), err_(err) {}
    int run(int argc, char** argv);

private:
    void print_banner() { std::fprintf(err_, "Vexa Assembler Ver. %d.%02d\n", VERSION_MAJOR, VERSION_MINOR); }
    void print_usage() {
        for (const char* line : usage_lines) std::fputs(line, err_);
    }
    int parse_command_line(int argc, char** argv);
    int parse_option(const char* text);
    void set_lines_per_page(const char* value);
    bool derive_path(std::string& path, const char* extension) const;
    int fail_to_start(const char* message) {
        std::fputs(message, err_);
        return EXIT_NOT_STARTED;
    }
    int report_load_failure(int result);

    FILE* out_;
    FILE* err_;
    Settings settings_;
};

// A name given with -o or -l keeps at most its first 259 characters.
std::string option_path(const char* value) {
    if (*value == '=') ++value;
    return std::string(value, strnlen(value, MAX_PATH_CHARS));
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

int CommandLine::parse_option(const char* text) {
    char letter = *text;
    if (letter >= 'A' && letter <= 'Z') letter = char(letter - 'A' + 'a');
    const char* value = letter ? text + 1 : text;
    switch (letter) {
        case '?':
            print_usage();
            settings_.usage_requested = true;
            return 1;
        case 'l':
            settings_.listing_requested = true;
            if (*value) settings_.list_path = option_path(value);
            return 1;
        case 'o':
            if (*value) settings_.object_path = option_path(value);
            return 1;
        case 'p':
            set_lines_per_page(value);
            return 1;
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
        if (parse_option(word + 1) == 0) {
            if (!unknown) print_usage();
            std::fprintf(err_, "Error : Unknown option \"%s\"\n", word);
            unknown = true;
        }
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
// output; each message, as it comes, on standard error.
class Console : public Progress {
public:
    Console(FILE* out, FILE* err) : out_(out), err_(err) {}

    void pass_started(int pass) override {
        std::fprintf(out_, "Pass %d\n", pass);
        std::fflush(out_);
    }

    // A statement error is its line (a line of an included file after the
    // file's name), then the message after a tab; any other message is one line.
    void reported(const Diagnostic& diagnostic) override {
        if (diagnostic.severity != Diagnostic::ERROR) {
            std::fprintf(err_, "%s\n", diagnostic.message.c_str());
            return;
        }
        if (!diagnostic.file.empty()) std::fprintf(err_, "%s:", diagnostic.file.c_str());
        std::fprintf(err_, "%06d : ", diagnostic.line);
        std::fwrite(diagnostic.source_line.data(), 1, diagnostic.source_line.size(), err_);
        std::fprintf(err_, "\n\t%s\n", diagnostic.message.c_str());
    }

private:
    FILE* out_;
    FILE* err_;
};

int CommandLine::run(int argc, char** argv) {
    print_banner();
    int arguments = parse_command_line(argc, argv);
    if (settings_.usage_requested) return EXIT_CLEAN;
    if (arguments < 0) return EXIT_NOT_STARTED;
    if (arguments == 0) {
        print_usage();
        return fail_to_start("Source file name required.\n");
    }

    // Further arguments that are not options are ignored.
    const std::string source_path = argv[0];
    if (source_path.size() >= PATH_BUFFER_SIZE) return fail_to_start("Too long path string for source file\n");
    size_t separator = source_path.find_last_of("/\\");
    settings_.source_dir = separator == std::string::npos ? "./" : source_path.substr(0, separator + 1);
    settings_.source_name = separator == std::string::npos ? source_path : source_path.substr(separator + 1);
    if (settings_.object_path.empty() && !derive_path(settings_.object_path, "COM")) {
        return fail_to_start("Too long path string for object file\n");
    }
    if (settings_.listing_requested && settings_.list_path.empty() && !derive_path(settings_.list_path, "LST")) {
        return fail_to_start("Too long path string for listing file\n");
    }

    AssemblyOptions options;
    options.source = source_path;
    options.include_paths = settings_.include_paths;
    options.listing = settings_.listing_requested;
    options.lines_per_page = settings_.lines_per_page;
    FileSystemFiles files;
    files.written_paths.push_back(settings_.object_path);
    if (options.listing) files.written_paths.push_back(settings_.list_path);
    ObjectFile object(settings_.object_path);
    ListingFile listing(settings_.list_path);
    Console console(out_, err_);
    AssemblyResult result = assemble(options, files, object, &listing, &console);
    if (result.load_result != LOAD_OK) return report_load_failure(result.load_result);
    return result.failed() ? EXIT_ASSEMBLY_FAILED : EXIT_CLEAN;
}

}  // namespace

int vexa_main(int argc, char** argv, FILE* out, FILE* err) { return CommandLine(out, err).run(argc, argv); }

}  // namespace vexa
