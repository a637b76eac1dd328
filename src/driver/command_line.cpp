// The program entry: banner, options, file names, and one assembly.
#include <cstdint>
#include <cstring>

#include "driver/driver.h"
#include "encode/encode.h"
#include "output/output.h"
#include "parse/parse.h"
#include "symbols/symbols.h"

namespace vexa {

char object_path[PATH_BUFFER_SIZE];
char list_path[PATH_BUFFER_SIZE];
int listing_requested;
int32_t lines_per_page;
char source_dir[PATH_BUFFER_SIZE];
char source_name[PATH_BUFFER_SIZE];

namespace {

constexpr int VERSION_MAJOR = 1;
constexpr int VERSION_MINOR = 5;
constexpr int32_t DEFAULT_LINES_PER_PAGE = 62;
constexpr int32_t MIN_LINES_PER_PAGE = 10;
constexpr int32_t NO_PAGE_BREAKS = INT32_MAX;

constexpr const char* usage_lines[] = {
    "  Syntax : Vexa source_path { <options> }\n",
    "  Options : \n",
    "      -o=object_path generate object file as <object_path>\n",
    "              default is <source_file> + \".COM\" if omitted\n",
    "      -l      generate listing file. Its name is source_file + \".LST\"\n",
    "      -l=list_path generate listing file as <list_path>\n",
    "      -p=lines set list file line count per page.(<10 means infinity)\n",
    "\n",
};

// Set by -?: the run ends at once with status 0.
bool usage_requested;

void reset_settings() {
    object_path[0] = 0;
    list_path[0] = 0;
    listing_requested = 0;
    lines_per_page = DEFAULT_LINES_PER_PAGE;
    source_dir[0] = 0;
    source_name[0] = 0;
    usage_requested = false;
}

// Copies an option's value, skipping one '=' and keeping at most 259 characters.
void copy_option_value(char* path, const char* value) {
    if (*value == '=') ++value;
    std::strncpy(path, value, MAX_PATH_CHARS);
    path[MAX_PATH_CHARS] = 0;
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

void set_lines_per_page(const char* value) {
    if (*value == 0) {
        std::fputs("Missing line count in option '-p'. Ignored.\n\n", console_err);
        return;
    }
    if (*value == '=') ++value;
    int32_t lines = read_decimal(value);
    lines_per_page = lines < MIN_LINES_PER_PAGE ? NO_PAGE_BREAKS : lines;
}

const char* last_separator(const char* path) {
    const char* last = nullptr;
    for (const char* p = path; *p; ++p) {
        if (*p == '/' || *p == '\\') last = p;
    }
    return last;
}

void split_source_path(const char* path) {
    const char* separator = last_separator(path);
    if (separator) {
        size_t dir_length = size_t(separator - path) + 1;
        std::memcpy(source_dir, path, dir_length);
        source_dir[dir_length] = 0;
        std::strcpy(source_name, separator + 1);
    } else {
        std::strcpy(source_dir, "./");
        std::strcpy(source_name, path);
    }
}

// The source's directory and name with its extension replaced by `extension`;
// false when that would not fit in a path buffer.
bool derive_path(char* path, const char* extension) {
    const char* dot = std::strrchr(source_name, '.');
    size_t stem_length = dot ? size_t(dot - source_name) : std::strlen(source_name);
    size_t dir_length = std::strlen(source_dir);
    size_t ext_length = std::strlen(extension);
    if (dir_length + stem_length + 1 + ext_length > size_t(MAX_PATH_CHARS)) return false;
    char* p = path;
    std::memcpy(p, source_dir, dir_length);
    p += dir_length;
    std::memcpy(p, source_name, stem_length);
    p += stem_length;
    *p++ = '.';
    std::memcpy(p, extension, ext_length + 1);
    return true;
}

int fail_to_start(const char* message) {
    std::fputs(message, console_err);
    return EXIT_NOT_STARTED;
}

int report_load_failure(int result) {
    switch (result) {
        case LOAD_NOT_FOUND:
            std::fprintf(console_err, "Can't find source file \"%s%s\"\n", source_dir, source_name);
            break;
        case LOAD_NO_MEMORY:
            std::fputs("Not enough memory to load the whole source file\n", console_err);
            break;
        case LOAD_OPEN_FAILED:
            std::fprintf(console_err, "System error : Can't open source file \"%s%s\"\n", source_dir,
                         source_name);
            break;
        default:
            std::fputs("Read error : while loading entire source file.\n", console_err);
            break;
    }
    return EXIT_NOT_STARTED;
}

void reset_run_state(FILE* out, FILE* err) {
    reset_settings();
    reset_diagnostics(out, err);
    release_source();
    symtab_free();
    reset_operands();
    reset_control_transfer();
    reset_mnemonic_lookups();
    reset_listing();
}

}  // namespace

void print_banner() { std::fprintf(console_err, "Vexa Assembler Ver. %d.%02d\n", VERSION_MAJOR, VERSION_MINOR); }

void print_usage() {
    for (const char* line : usage_lines) std::fputs(line, console_err);
}

int parse_option(const char* text) {
    char letter = *text;
    if (letter >= 'A' && letter <= 'Z') letter = char(letter - 'A' + 'a');
    const char* value = letter ? text + 1 : text;
    switch (letter) {
        case '?':
            print_usage();
            usage_requested = true;
            return 1;
        case 'l':
            listing_requested = 1;
            if (*value) copy_option_value(list_path, value);
            return 1;
        case 'o':
            if (*value) copy_option_value(object_path, value);
            return 1;
        case 'p':
            set_lines_per_page(value);
            return 1;
        default:
            return 0;
    }
}

int parse_command_line(int argc, char** argv) {
    if (argc < 2) return 0;
    int arguments = 0;
    bool unknown = false;
    for (int i = 1; i < argc && !usage_requested; ++i) {
        char* word = argv[i];
        if (word[0] != '-') {
            argv[arguments++] = word;
            continue;
        }
        if (parse_option(word + 1) == 0) {
            if (!unknown) print_usage();
            std::fprintf(console_err, "Error : Unknown option \"%s\"\n", word);
            unknown = true;
        }
    }
    return unknown ? -1 : arguments;
}

int vexa_main(int argc, char** argv, FILE* out, FILE* err) {
    reset_run_state(out, err);
    print_banner();
    int arguments = parse_command_line(argc, argv);
    if (usage_requested) return EXIT_CLEAN;
    if (arguments < 0) return EXIT_NOT_STARTED;
    if (arguments == 0) {
        print_usage();
        return fail_to_start("Source file name required.\n");
    }

    const char* source_path = argv[0];
    if (std::strlen(source_path) >= PATH_BUFFER_SIZE) return fail_to_start("Too long path string for source file\n");
    split_source_path(source_path);
    if (object_path[0] == 0 && !derive_path(object_path, "COM")) {
        return fail_to_start("Too long path string for object file\n");
    }
    if (listing_requested && list_path[0] == 0 && !derive_path(list_path, "LST")) {
        return fail_to_start("Too long path string for listing file\n");
    }

    int loaded = load_source(source_path);
    if (loaded != LOAD_OK) return report_load_failure(loaded);
    assemble_file();
    release_source();
    bool failed = assembly_stopped() || reported_error_count() > 0;
    return failed ? EXIT_ASSEMBLY_FAILED : EXIT_CLEAN;
}

}  // namespace vexa
