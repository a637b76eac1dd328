// The assembler as a library: one call assembles a source and answers the
// image, the listing and the diagnostics as data. The command line, the
// tests and the playground all assemble through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace vexa {

// ---- Source files ------------------------------------------------------------------

// Answers of loading a file.
enum LoadResult : int {
    LOAD_OK = 0,
    LOAD_NOT_FOUND = -1,
    LOAD_NO_MEMORY = -2,
    LOAD_OPEN_FAILED = -3,
    LOAD_READ_FAILED = -4,
};

// Zero bytes after a source's last byte: the line reader reads sixteen
// bytes at a time, and stops at them.
constexpr size_t SOURCE_PADDING = 16;

// A source file's bytes, as loaded once for every pass, followed by at
// least SOURCE_PADDING zero bytes.
class SourceText {
public:
    SourceText() = default;
    SourceText(const SourceText&) = delete;
    SourceText& operator=(const SourceText&) = delete;
    ~SourceText() { release(); }

    const uint8_t* begin() const { return base_; }
    const uint8_t* end() const { return base_ + size_; }
    size_t size() const { return size_; }
    bool loaded() const { return base_ != nullptr; }

    // Takes a copy of `bytes`.
    bool assign(const char* bytes, size_t size);
    // Takes a mapping of `length` bytes, the file's `size` bytes and zeros after them.
    void adopt_mapping(const uint8_t* base, size_t size, size_t length);
    // Takes a block from malloc holding `size` bytes and the padding.
    void adopt_block(uint8_t* block, size_t size);
    void release();

private:
    const uint8_t* base_ = nullptr;
    size_t size_ = 0;
    size_t mapped_length_ = 0;  // 0 for a block from malloc
};

// Where the main source and the files it includes come from.
class SourceFiles {
public:
    virtual ~SourceFiles();
    // Loads the file at `path` into `text`; answers a LoadResult.
    virtual int load(const std::string& path, SourceText& text) = 0;
};

// The files of the file system. A source that an output file would write
// over is read into memory instead of mapped: opening the output empties it.
class FileSystemFiles : public SourceFiles {
public:
    // Paths whose files are written during the assembly.
    std::vector<std::string> written_paths;
    int load(const std::string& path, SourceText& text) override;
};

// Files held in memory, by the name the assembly asks for.
class MemoryFiles : public SourceFiles {
public:
    std::map<std::string, std::string> files;
    int load(const std::string& path, SourceText& text) override;
};

// ---- Outputs -------------------------------------------------------------------------

// Where the object image or the listing goes, in order. Opened before the
// first byte of the pass that writes; when a later pass must write again,
// restarted.
class Sink {
public:
    virtual ~Sink();
    // False when the destination cannot be opened; error_number says why.
    virtual bool open() { return true; }
    // False when the bytes could not be written; error_number says why.
    virtual bool write(const uint8_t* bytes, size_t count) = 0;
    // A gap of `count` bytes that read as zero, written only if bytes follow.
    virtual bool skip(uint64_t count) = 0;
    // Writes what is held back; false when that fails.
    virtual bool close() { return true; }
    // Forgets everything written: the next pass writes it all again.
    virtual void restart() = 0;

    // Bytes in order, as write() takes them: straight into the sink's
    // buffer while it has room.
    [[gnu::always_inline]] bool put(const uint8_t* bytes, size_t count) {
        if (count > size_t(room_end_ - room_)) return write(bytes, count);
        copy_bytes(room_, bytes, count);
        room_ += count;
        return true;
    }

    int error_number = 0;
    std::string name;  // what messages call it: a file's path

protected:
    // The free part of a sink's own buffer, which put() fills; none by default.
    uint8_t* room_ = nullptr;
    uint8_t* room_end_ = nullptr;

private:
    // A statement's few bytes are copied without a call: two overlapping
    // moves of the largest size that fits.
    [[gnu::always_inline]] static void copy_bytes(uint8_t* to, const uint8_t* from, size_t count) {
        if (count > 16) return copy_long(to, from, count);
        if (count >= 8) return copy_pair<uint64_t>(to, from, count);
        if (count >= 4) return copy_pair<uint32_t>(to, from, count);
        if (count == 0) return;
        to[0] = from[0];
        to[count / 2] = from[count / 2];
        to[count - 1] = from[count - 1];
    }
    template <typename Word>
    static void copy_pair(uint8_t* to, const uint8_t* from, size_t count) {
        Word head, tail;
        std::memcpy(&head, from, sizeof head);
        std::memcpy(&tail, from + count - sizeof tail, sizeof tail);
        std::memcpy(to, &head, sizeof head);
        std::memcpy(to + count - sizeof tail, &tail, sizeof tail);
    }
    [[gnu::noinline]] static void copy_long(uint8_t* to, const uint8_t* from, size_t count);
};

// Bytes kept in memory.
class MemorySink : public Sink {
public:
    std::string bytes;
    bool write(const uint8_t* data, size_t count) override;
    bool skip(uint64_t count) override;
    bool close() override;
    void restart() override;

private:
    uint64_t pending_gap_ = 0;
};

// ---- One assembly ----------------------------------------------------------------------

// The warnings, each a bit of AssemblyOptions::warnings, and each with the
// name that -w selects it by.
enum WarningGroup : uint8_t {
    WARN_SIZE = 1,      // "size": an operand size chosen by default
    WARN_OVERFLOW = 2,  // "overflow": a value cut to its field
    WARN_ADDRESS = 4,   // "address": a variable's address where its value is probably meant
    WARN_CS = 8,        // "cs": CS loaded by MOV or POP
};
constexpr uint8_t WARN_ALL = WARN_SIZE | WARN_OVERFLOW | WARN_ADDRESS | WARN_CS;
// The group named `name` ("size"), or 0.
uint8_t warning_group(const std::string& name);
// The name of one group.
const char* warning_group_name(uint8_t group);

// The conventions a source is assembled under: Vexa's own, NASM's (the
// forms NASM gives each instruction), or MASM's. DIALECT_AUTO lets the
// source's first statement of program structure that only NASM or only
// MASM has choose, else Vexa's.
enum Dialect : uint8_t { DIALECT_VEXA, DIALECT_NASM, DIALECT_MASM, DIALECT_AUTO };
// "vexa", "nasm" or "masm".
const char* dialect_name(Dialect dialect);

struct AssemblyOptions {
    std::string source;                      // the main source, as named on the command line
    std::vector<std::string> include_paths;  // directories for INCLUDE, in the order given
    bool listing = false;
    int32_t lines_per_page = 62;  // below 10: no page breaks
    bool list_expansions = true;  // the lines of macros' expansions and repetitions
    uint8_t warnings = WARN_ALL;         // the groups reported
    bool warnings_are_errors = false;    // reported as errors: the assembly fails
    bool symbol_map = false;             // fill AssemblyResult::symbols
    // Names defined before the first line (-D NAME, -D NAME=VALUE), as
    // NAME or NAME=VALUE; a name alone is 1.
    std::vector<std::string> defines;
    Dialect dialect = DIALECT_AUTO;  // --dialect
    // The object's name when the image is an .EXE (a program of MASM's
    // segments), if it differs: the command line derives NAME.EXE as it
    // derives NAME.COM. Empty: the object keeps its name.
    std::string exe_object;
    // --optimize: Vexa's conventions with the shortest forms of jumps,
    // immediates and displacements, and conditional jumps out of reach rewritten.
    bool optimize = false;
    // --cpu=186: the 80186's instructions from the first line, as CPU 186 gives them.
    bool cpu_186 = false;
};

struct Diagnostic {
    enum Severity : uint8_t {
        NOTE,     // "Not found 'END' directive."
        ERROR,    // a statement error
        FATAL,    // a message that stopped the assembly
        WARNING,  // a statement assembled on a guess
    };
    // What a message adds, at a place: why the operand is refused, the name
    // probably meant, the file that included the line.
    struct Note {
        std::string path;  // empty: the diagnostic's own place
        int32_t line;
        int32_t column;
        std::string message;
    };
    Severity severity;
    int pass;          // 1 for the first
    std::string file;  // an included file's name as its INCLUDE wrote it; empty for the main source
    int32_t line;      // the line number in that file; 0 when it belongs to no line
    int32_t column;    // 1-based, in characters of the line; 0 when not known
    int code;          // the ErrorCode of a statement error, else 0
    std::string message;
    std::string source_line;  // the line as reported: without its comment
    // The file the line was read from (the main source as named, an included
    // file as found); empty when it belongs to no line.
    std::string path;
    std::string text;  // the whole line, comment included
    // Its statement's place in its pass; NO_STATEMENT for none.
    uint32_t statement = NO_STATEMENT;
    uint8_t warning = 0;  // the WarningGroup of a warning (also when reported as an error)
    std::vector<Note> notes;
    // A statement of a macro's expansion or a repetition: its line as
    // expanded, and where that line stands in the definition. `line` and
    // `source_line` are then the outermost call's. Empty for a line of a file.
    std::string expanded_line;
    std::string definition_path;
    int32_t definition_line = 0;

    static constexpr uint32_t NO_STATEMENT = UINT32_MAX;
};

// Told as the assembly goes, for a console that shows it live.
class Progress {
public:
    virtual ~Progress();
    virtual void pass_started(int pass) { (void)pass; }
    virtual void reported(const Diagnostic& diagnostic) { (void)diagnostic; }
};

struct AssemblyResult {
    int load_result = LOAD_OK;  // the main source's; nothing was assembled unless LOAD_OK
    int passes = 0;
    bool stopped = false;  // a fatal message ended the assembly
    int errors = 0;        // statement errors reported
    int32_t origin = 0;    // the address of the image's first byte
    bool exe = false;      // the image is an MZ .EXE
    bool cpu_186 = false;  // the 80186's instructions were enabled (CPU 186, .186, --cpu=186)
    std::vector<Diagnostic> diagnostics;
    // The files read: the main source first, then each file included, once.
    std::vector<std::string> files_read;
    // With AssemblyOptions::symbol_map: every name defined, in the order defined.
    struct Use {
        std::string path;
        int32_t line;
    };
    struct Symbol {
        std::string name;
        int32_t value;
        const char* kind;  // "label", "EQU", "PROC", "DB", "DW", "DS"
        Use defined;
        std::vector<Use> uses;  // the lines that read it, in order, once each
    };
    std::vector<Symbol> symbols;
    // The conventions assembled under, and why: a note for the first
    // diagnostic (at the statement that chose them, or at none).
    Dialect dialect = DIALECT_VEXA;
    Diagnostic::Note conventions;
    // Filled by assemble_to_memory only.
    std::string image;
    std::string listing;

    bool failed() const { return stopped || errors > 0; }
};

// Assembles options.source: the image goes to `object` and, with
// options.listing, the listing to `listing`.
AssemblyResult assemble(const AssemblyOptions& options, SourceFiles& files, Sink& object, Sink* listing,
                        Progress* progress = nullptr);

// The same, the image and the listing kept in the result.
AssemblyResult assemble_to_memory(const AssemblyOptions& options, SourceFiles& files, Progress* progress = nullptr);

// Each message once, from the pass that settles it, in the order of the
// lines: a statement's errors of the last pass (those of the first when the
// last had none for it), a duplicate name's report from the first, the
// warnings; notices and fatal stops where they happened.
std::vector<Diagnostic> settled_diagnostics(const AssemblyResult& result);

// Diagnostics as GNU tools write them: "FILE:LINE:COLUMN: error: MESSAGE",
// the line and a caret under the column, then the notes. Columns count
// characters as an editor shows them, a tab reaching the next multiple of
// eight; the line is shown with its tabs so expanded.
std::string gnu_diagnostics(const std::vector<Diagnostic>& diagnostics);
// The note of which conventions apply and why, added to the first diagnostic.
void note_conventions(const AssemblyResult& result, std::vector<Diagnostic>& diagnostics);
// The display column (1-based) of character `column` (1-based) of `line`.
int32_t display_column(const std::string& line, int32_t column);

// The symbol map: every name with its value, kind, definition and uses,
// sorted by name, then by value. `main_source` is named in its heading;
// places in it show their line alone.
std::string symbol_map(const AssemblyResult& result, const std::string& main_source);
// A make rule: `target` depends on every file read; each included file
// gets an empty rule of its own, so that make goes on when it is removed.
std::string make_rule(const std::string& target, const std::vector<std::string>& files_read);

// The text of a message code ("Syntax Error"); "Unknown error" for any other.
const char* error_message(int code);

// The command line: one whole run, printing to `out` and `err`; answers the
// exit status. The words of `argv` are reordered (non-options first).
int vexa_main(int argc, char** argv, FILE* out, FILE* err);

}  // namespace vexa
