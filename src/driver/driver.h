// Driver: the program entry, command line and file names, the source buffer,
// the two passes, diagnostics and the directives' data.
#pragma once

#include <cstdint>
#include <cstdio>

namespace vexa {

// ---- Result codes shared by every subsystem -------------------------------

// Statement errors: negative codes returned up to the pass driver.
enum ErrorCode : int {
    ERR_SYNTAX = -100,
    ERR_INVALID_OPCODE = -101,
    ERR_INVALID_OPERAND = -102,
    ERR_INVALID_CHARACTER = -103,
    ERR_INVALID_NUMBER = -104,
    ERR_INVALID_BINARY = -105,
    ERR_INVALID_OCTAL = -106,
    ERR_INVALID_STRING = -107,
    ERR_MISSING_OPERAND = -110,
    ERR_EXTRA_OPERAND = -111,
    ERR_DISPLACEMENT_OVERFLOW = -112,
    ERR_ILLEGAL_SIZE = -113,
    ERR_LINE_TOO_LONG = -114,
    ERR_ADDRESS_OVERFLOW = -117,
    ERR_SYMBOL_NOT_DEFINED = -120,
    ERR_MULTI_DEFINED = -121,
    ERR_ORG_ASCENDED = -200,
};

// Answers of the directive handlers: what the pass driver must do.
enum StatementCode : int {
    STMT_DS = 100,
    STMT_DB = 101,
    STMT_DW = 102,
    STMT_EQU = 110,
    STMT_ORG = 120,
    STMT_END = 121,
    STMT_ENDP = 122,  // closes a procedure: its name is not a label
};

// ---- Program entry and settings (command line) -----------------------------

// Exit statuses of one run.
constexpr int EXIT_CLEAN = 0;
constexpr int EXIT_NOT_STARTED = 1;
constexpr int EXIT_ASSEMBLY_FAILED = 2;

constexpr int MAX_PATH_CHARS = 259;
constexpr int PATH_BUFFER_SIZE = MAX_PATH_CHARS + 1;

extern char object_path[PATH_BUFFER_SIZE];
extern char list_path[PATH_BUFFER_SIZE];
extern int listing_requested;
extern int32_t lines_per_page;
extern char source_dir[PATH_BUFFER_SIZE];
extern char source_name[PATH_BUFFER_SIZE];

// One whole run of the program: prints to `out` and `err`, returns the exit
// status. Every module-level variable is reset first, so a process may call it
// any number of times. The words of `argv` are reordered (non-options first).
int vexa_main(int argc, char** argv, FILE* out, FILE* err);

void print_banner();
void print_usage();
int parse_command_line(int argc, char** argv);
int parse_option(const char* text);

// ---- Source buffer -----------------------------------------------------------

enum LoadResult : int {
    LOAD_OK = 0,
    LOAD_NOT_FOUND = -1,
    LOAD_NO_MEMORY = -2,
    LOAD_OPEN_FAILED = -3,
    LOAD_READ_FAILED = -4,
};

// read_line answers: no line (end of source), or a line cut after its first
// capacity - 2 characters because it was longer.
constexpr int READ_END = -1;
constexpr int READ_TOO_LONG = -2;

struct SourceBuffer {
    const uint8_t* base;
    const uint8_t* end;
    const uint8_t* cursor;
};
extern SourceBuffer source;

int load_source(const char* path);
void rewind_source();
// Steps over `bytes` of the source: lines whose text is not needed.
inline void skip_source(size_t bytes) { source.cursor += bytes; }
// The characters of the line at `line`, `line_bytes` long with its line end:
// what the listing shows of a line that is not read.
size_t listed_length(const uint8_t* line, size_t line_bytes);
// Where a line in a buffer ends, and where its first semicolon, its first
// and last quote characters and its first zero byte stand before that end
// (null where there are none). The text may be read sixteen bytes at a time
// from any of its characters.
struct LineMarks {
    const char* text;  // the same bytes where they were read from, the source or the line
    char* end;
    char* semicolon;
    const char* single_quote;
    const char* double_quote;
    const char* last_single_quote;
    const char* last_double_quote;
    const char* zero;
};
// The marks of a zero-terminated line.
LineMarks mark_line(char* line);
// Copies the next line and its terminator into `buffer` in whole 16-byte
// blocks: the buffer holds `capacity` bytes rounded up to a multiple of 16.
// `marks`, when given, receives the line's marks, found as it is copied.
int read_line(char* buffer, int capacity, LineMarks* marks = nullptr);
void release_source();

// ---- Pass driver ----------------------------------------------------------------

constexpr int LINE_CAPACITY = 128;

extern int32_t pass_index;
extern int32_t line_number;
extern int32_t location_counter;
extern int32_t statement_address;
// The address of the image's first byte: what a first ORG before any byte set.
extern int32_t image_origin;
extern int deferred_error;
extern FILE* object_file;
extern FILE* listing_file;
// The current line's text as the listing shows it: in the source, up to its
// end or a zero byte, at most LINE_CAPACITY - 2 characters.
extern const char* listing_line;
extern int listing_line_length;

void assemble_file();
// True when an assembly was cut short by a fatal message.
bool assembly_stopped();

// ---- First-pass record -----------------------------------------------------------

// How the second pass may treat a line instead of assembling it again: not
// at all (it is assembled), or as a line without bytes, or by writing the
// instruction's or the data statement's bytes the first pass recorded, or,
// for a jump or call to a name the first pass had not yet seen (the
// relative_target it noted), by encoding it from the name's value; it is
// assembled again if the name is still not defined or out of reach.
enum Replay : int { REPLAY_NONE, REPLAY_NO_BYTES, REPLAY_CODE, REPLAY_DATA, REPLAY_TARGET };

void reset_statement_record();
// First pass: how the line just assembled, `line_bytes` of the source with
// its line end, may be replayed.
void record_statement(Replay replay, size_t line_bytes);
// Second pass: the records are read in order from its start.
void begin_replay();
// The next line's replay, asked before the line is read; REPLAY_CODE and
// REPLAY_DATA restore its bytes (a jump or call resolved by its target
// answers REPLAY_CODE). A line replayed has its length in the
// source, with its line end, in `*line_bytes`.
Replay replay_statement(size_t* line_bytes);
// Second pass without a listing: replays the lines from here to the next one
// that must be assembled again, writing their bytes as emit_code does;
// negative when a write failed (the line that failed is the last replayed).
int replay_unlisted_lines();

// ---- Diagnostics ----------------------------------------------------------------

extern FILE* console_out;
extern FILE* console_err;
extern const char* pending_message;

void report_error(int code);
const char* error_message(int code);
// Number of statement errors reported since the run began (both passes).
int reported_error_count();
void reset_diagnostics(FILE* out, FILE* err);

// ---- Directives ------------------------------------------------------------------

// The bytes of the current DB or DW statement.
constexpr int DATA_CAPACITY = 128;
extern uint8_t data_buf[DATA_CAPACITY];
extern uint8_t data_len;

// A statement with DUP is made of runs of data_buf, each written `repeat`
// times in order; a run of `?` items only is reserved like DS, not written.
// Without DUP there are no runs: the image is data_buf itself.
struct DataRun {
    uint8_t start;
    uint8_t length;
    uint16_t repeat;
    bool reserved;
};
constexpr int MAX_DATA_RUNS = 64;  // more than the DUP items of a line can need
constexpr int32_t MAX_DUP_COUNT = 65535;
extern DataRun data_runs[MAX_DATA_RUNS];
extern uint8_t data_run_count;
// Bytes in the image of the current DB or DW statement.
int64_t data_image_length();
// Emits that image; negative when the object file could not be written.
int emit_data_image();

int parse_db_list(char* text);
int parse_dw_list(char* text);

// Directive handlers, reached like instructions through the mnemonic trie.
struct Mnemonic;
int directive_db(const Mnemonic&);
int directive_dw(const Mnemonic&);
int directive_ds(const Mnemonic&);
int directive_equ(const Mnemonic&);
int directive_org(const Mnemonic&);
int directive_end(const Mnemonic&);
int directive_proc(const Mnemonic&);
int directive_endp(const Mnemonic&);
// Forgets the procedures opened in an earlier pass.
void reset_procedures();

}  // namespace vexa
