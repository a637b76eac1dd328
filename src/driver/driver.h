// Driver: result codes, the lines of the sources, the passes, the
// diagnostics, the directives and the record of the first pass.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "driver/assembler.h"

// The vector paths (sixteen bytes at a time) and the replay of the first
// pass's record make the assembler fast; a build with VEXA_PLAIN_PATHS leaves
// them out, so that the tests can check the plain paths give the same.
#if defined(__SSE2__) && !defined(VEXA_PLAIN_PATHS)
#define VEXA_VECTOR_PATHS 1
#else
#define VEXA_VECTOR_PATHS 0
#endif

namespace vexa {

#ifdef VEXA_PLAIN_PATHS
constexpr bool REPLAY_PATHS = false;
#else
constexpr bool REPLAY_PATHS = true;
#endif

struct Assembly;
struct Operand;
struct Statement;
struct Mnemonic;

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
    ERR_INCLUDE_NOT_FOUND = -115,
    ERR_INCLUDE_NESTED = -116,
    ERR_ADDRESS_OVERFLOW = -117,
    ERR_SYMBOL_NOT_DEFINED = -120,
    ERR_MULTI_DEFINED = -121,
    ERR_UNMATCHED_ENDIF = -122,  // ELSE, ELSEIF or ENDIF with no IF open
    ERR_UNTERMINATED = -123,     // an IF still open at END
    ERR_NESTED_TOO_DEEP = -124,  // IF blocks beyond OpenConditions::MAX
    ERR_FORCED = -125,           // .ERR, .ERRE, .ERRNZ, %error
    ERR_MISSING_ARGUMENT = -126, // a macro's call without an argument it needs
    ERR_OUTSIDE_IMAGE = -127,    // bytes in an ABSOLUTE space, a STRUC or .bss
    ERR_SEGMENT_OPEN = -128,     // END with a segment of MASM's not closed
    ERR_ORG_ASCENDED = -200,
};

// Answers of the directive handlers: what the pass driver must do.
enum StatementCode : int {
    STMT_DS = 100,
    STMT_DB = 101,
    STMT_DW = 102,
    STMT_DD = 103,
    STMT_DQ = 104,
    STMT_TIMES = 105,   // an instruction repeated: its bytes are data runs
    STMT_ALIGN = 106,   // padding in data runs
    STMT_EQU = 110,
    STMT_ASSIGN = 111,  // NAME = value
    STMT_LABEL = 112,   // NAME LABEL type
    STMT_ORG = 120,
    STMT_END = 121,
    STMT_ENDP = 122,     // closes a procedure: its name is not a label
    STMT_INCLUDE = 130,  // reads the lines of the file it names next
    STMT_NO_EFFECT = 131,  // LOCALS: what it asks for is always so
    STMT_RESERVE = 132,  // RESB and its kin: dst.value bytes that read as zero
    STMT_INCBIN = 133,   // a file's bytes (see directive_incbin)
    STMT_NAMED = 134,    // a directive that defined or used the name before it itself (SEGMENT, GROUP)
};

// Exit statuses of one run.
constexpr int EXIT_CLEAN = 0;
constexpr int EXIT_NOT_STARTED = 1;
constexpr int EXIT_ASSEMBLY_FAILED = 2;

// ---- Lines ----------------------------------------------------------------------

// A line has at most 4,096 bytes, its comment included; a longer one is
// reported and cut.
constexpr int LONGEST_LINE_CHARS = 4096;
constexpr int LINE_CAPACITY = LONGEST_LINE_CHARS + 2;

// read answers: no line (end of the main source), or a line cut after its
// first capacity - 2 characters because it was longer.
constexpr int READ_END = -1;
constexpr int READ_TOO_LONG = -2;
// An included file has ended: the next line is the including file's.
constexpr int READ_FILE_END = -3;

// Where a line in a buffer ends, and where its first semicolon, its first
// and last quote characters and its first zero byte stand before that end
// (null where there are none); a backquote is marked as a single quote. The
// text may be read sixteen bytes at a time from any of its characters.
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

// The characters of the line at `line`, `line_bytes` long with its line end:
// what the listing shows of a line that is not read.
size_t listed_length(const uint8_t* line, size_t line_bytes);

// The lines of the main source and of the files it includes, the file read
// now innermost. A file read to its end gives way to the one that included it.
class LineReader {
public:
    // Included files below the main source.
    static constexpr int MAX_DEPTH = 16;

    void begin(const SourceText& main);
    // Copies the next line and its terminator into `buffer` in whole 16-byte
    // blocks (the buffer holds `capacity` bytes rounded up to a multiple of
    // 16), marking it as it goes: its length plus one, READ_TOO_LONG for a
    // line cut short, READ_END at the main source's end.
    // READ_FILE_END when an included file has ended (once for each).
    int read(char* buffer, int capacity, LineMarks& marks);
    // Steps over the next line, `bytes` long with its line end, unread (a
    // statement replayed); answers where it begins.
    const uint8_t* skip(size_t bytes);
    // Reads `text` next, until its end; false when that would be too deep.
    bool include(const SourceText& text, uint16_t file);
    // True when `text` is being read: including it again would never end.
    bool is_reading(const SourceText& text) const;

    // Files included below the main source, now.
    int depth() const { return depth_; }
    // The line last read or skipped: its file (0 the main source), its
    // number, where it began and its length with its line end.
    uint16_t file() const { return levels_[depth_].file; }
    int32_t line_number() const { return levels_[depth_].line_number; }
    // The same for each level from 0 (the main source) to depth(): where
    // each file stands, its INCLUDE line for those below.
    uint16_t file_at(int level) const { return levels_[level].file; }
    int32_t line_at(int level) const { return levels_[level].line_number; }
    const uint8_t* line_start() const { return line_start_; }
    size_t line_bytes() const { return line_bytes_; }

private:
    struct Level {
        const SourceText* text;
        const uint8_t* cursor;
        int32_t line_number;
        uint16_t file;
    };
    // Gives way to the including file where the one read now has no line left.
    void leave_finished_files();

    Level levels_[MAX_DEPTH + 1];
    int depth_ = 0;
    const uint8_t* line_start_ = nullptr;
    size_t line_bytes_ = 0;
};

// ---- Diagnostics ------------------------------------------------------------------

// Guesses an encoder made for a statement, each a bit of Statement::warnings:
// reported as warnings in the last pass.
enum StatementWarning : uint8_t {
    WARNED_WORD_ASSUMED = 0x01,  // an unsized memory operand taken as a word
    WARNED_BYTE_ASSUMED = 0x02,  // ... as a byte
    WARNED_VALUE_CUT = 0x04,     // a word immediate outside -32768..65535
    WARNED_ADDRESS = 0x08,       // a name's value as an immediate into a register: checked by the driver
    WARNED_CS = 0x10,            // MOV CS,... or POP CS
    // No warning: an operand read a DB or DW of one value, which WARNED_ADDRESS needs.
    NAMED_VARIABLE = 0x80,
};
// The text of one StatementWarning, as reported: "Warning : TEXT" in the
// listing, or TEXT as an error's message.
const char* warning_text(uint8_t warned);
// The WarningGroup of one StatementWarning.
uint8_t warning_group_of(uint8_t warned);

// Every message of an assembly, in order. The statement errors of the first
// pass are told at once, up to the first that may come from a guess; from
// there on they wait for the last pass. Those of a later pass are held
// until the pass is known to be the last, and dropped when it is not.
// Warnings are told by the passes after the first only.
class Diagnostics {
public:
    Diagnostics(AssemblyResult& result, Progress* progress, const std::string& source)
        : result_(result), progress_(progress), source_(source) {}

    void begin_pass(int pass, bool holds);
    // The statement's error: its line and the message.
    void report(Statement& s, int code);
    // The message the next "Forced Error" reports instead, as the source
    // wrote it (.ERR <text>, %error "text"); empty for none.
    void set_written_message(const char* text, size_t length) { written_message_.assign(text, length); }
    // The statement's warnings (StatementWarning bits already checked and
    // enabled), after a pass after the first assembled it.
    void warn(Statement& s, uint8_t warned);
    // A warning the source wrote (%warning "text"), told by the last pass.
    void warn_written(Statement& s, const std::string& text);
    // A notice or a fatal stop: one line of its own.
    void note(const std::string& message);
    void fatal(const std::string& message);
    // A fatal stop at the statement's line, with a note.
    void fatal_at(Statement& s, const std::string& message, const std::string& note);
    // The pass turned out not to be the last: what it held is dropped, and
    // it reports nothing more.
    void drop_pass();
    // The pass is the last: what the first pass and this one held is told.
    // An error of the first pass on a statement that used a guessed value
    // is told only if the last pass finds the statement in error too.
    void release_pass();
    // Statement errors of the assembly so far.
    int error_count() const { return errors_; }
    // Statement errors of the current statement so far (any pass).
    int reported() const { return reported_; }
    // A name probably meant is looked for among the symbols this many times
    // at most in an assembly, so that many errors cannot make it slow.
    bool may_suggest() { return suggestions_ > 0 && suggestions_-- > 0; }
    // The mnemonics suggested for the words misspelled so far: a word is
    // often misspelled on many lines.
    std::unordered_map<std::string, std::string>& mnemonic_suggestions() { return mnemonic_suggestions_; }

private:
    // A first-pass message, kept until the last pass is known.
    struct FirstPassMessage {
        Diagnostic diagnostic;
        uint32_t statement;
        bool guessed;
    };
    Diagnostic at_statement(Statement& s, Diagnostic::Severity severity, int code, const char* message);
    void add_expansion(Statement& s, Diagnostic& diagnostic);
    void report(Statement& s, int code, const char* message);
    void fatal_diagnostic(Diagnostic&& diagnostic);
    void note_in_error(uint32_t statement);
    void tell(Diagnostic&& diagnostic);
    void hold(Diagnostic&& diagnostic, uint32_t statement, bool guessed);
    void release_first_pass(bool all);

    AssemblyResult& result_;
    Progress* progress_;
    const std::string& source_;  // the main source's path, for notices about it
    std::vector<FirstPassMessage> first_pass_;
    std::vector<Diagnostic> held_;
    std::vector<uint32_t> statements_in_error_;  // of the pass holding, in order
    int pass_ = 0;
    bool holding_ = false;
    bool dropping_ = false;
    int errors_ = 0;
    int reported_ = 0;
    int suggestions_ = 30;
    std::string written_message_;  // the last message the source wrote, for its listing
    std::unordered_map<std::string, std::string> mnemonic_suggestions_;
};

// ---- Directives ------------------------------------------------------------------

// The bytes of a DB or DW statement: as many as a line has characters.
constexpr int DATA_CAPACITY = LONGEST_LINE_CHARS;

// A statement with DUP is made of runs of data_buf, each written `repeat`
// times in order; a run of `?` items only is reserved like DS, not written.
// Without DUP there are no runs: the image is data_buf itself.
struct DataRun {
    uint16_t start;
    uint16_t length;
    uint16_t repeat;
    bool reserved;
};
// A DUP at the outermost level takes at least seven characters (`1DUP(0)`)
// and adds two runs at most, so a line never fills s.data_runs.
constexpr int MAX_DATA_RUNS = 2 * (LINE_CAPACITY / 7) + 1;
constexpr int32_t MAX_DUP_COUNT = 65535;
constexpr int32_t MAX_TIMES_COUNT = 65535;

// Bytes in the image of the statement's data.
int64_t data_image_length(const Statement& s);

int parse_db_list(Statement& s, char* text);
int parse_dw_list(Statement& s, char* text);

// The procedures opened by PROC and not yet closed, innermost last.
struct OpenProcedures {
    static constexpr int MAX = 16;
    std::string names[MAX];  // a name may be a line long
    bool far[MAX] = {};      // PROC FAR: its RET returns far
    int count = 0;
};

// Directive handlers, reached like instructions through the mnemonic trie.
int directive_db(const Mnemonic&, Statement&);
int directive_dw(const Mnemonic&, Statement&);
int directive_dd(const Mnemonic&, Statement&);
int directive_dq(const Mnemonic&, Statement&);
int directive_times(const Mnemonic&, Statement&);
int directive_align(const Mnemonic&, Statement&);
int directive_even(const Mnemonic&, Statement&);
int directive_label(const Mnemonic&, Statement&);
int directive_locals(const Mnemonic&, Statement&);
// IF, IFDEF, ELSE, ENDIF and their kin (NASM's %if... as the same words):
// handled before any other statement, by take_condition_line.
int directive_condition(const Mnemonic&, Statement&);

// MACRO, ENDM, REPT, IRP, IRPC, FOR, FORC, LOCAL, EXITM and PURGE: handled
// before any other statement, by the macro engine.
int directive_macro(const Mnemonic&, Statement&);

// NASM's program structure (structure.cpp). BITS 16 (opcode 0) and USE16.
enum StructureWord : uint8_t { BITS_WIDTH, USE16, STRUCTURE_BEGIN, STRUCTURE_END, INSTANCE_BEGIN, INSTANCE_END,
                               INSTANCE_FIELD, SEGMENT_WORD };
int directive_bits(const Mnemonic&, Statement&);
int directive_cpu(const Mnemonic&, Statement&);
// The 80186's instructions from this statement on (CPU 186, .186), or the 8086's only.
int select_processor(Statement& s, bool with_186);
// SECTION and SEGMENT: each section has its own location counter, and the
// image lays them out as NASM lays out a flat binary (lay_out_sections).
int directive_section(const Mnemonic&, Statement&);
int directive_absolute(const Mnemonic&, Statement&);
// RESB, RESW, RESD, RESQ: the item's bytes in the opcode's extension.
int directive_reserve(const Mnemonic&, Statement&);
// INCBIN: the file's text in included_file, the bytes skipped in
// src.value, the count in dst.value.
int directive_incbin(const Mnemonic&, Statement&);
int emit_included_bytes(Assembly& assembly, const Statement& s);
// The text of the binary file `name`, found as INCLUDE finds files, or -1.
int find_binary_file(Statement& s, const std::string& name);
int directive_struc(const Mnemonic&, Statement&);
int directive_istruc(const Mnemonic&, Statement&);
// The zeros before an AT line's data to reach the field at `offset` of the
// ISTRUC open; -1 without one.
int32_t field_padding(const Statement& s, int32_t offset);
// A NASM directive written in brackets ([BITS 16], [ORG 100H]): the
// brackets become blanks in the statement's line. False for any other line.
bool unbracket_directive(Statement& s);
// GLOBAL and EXTERN: a flat image has no linker.
int directive_linker(const Mnemonic&, Statement&);
// MASM's program structure (segments.cpp), each word by its opcode: it
// chooses MASM's conventions.
enum MasmWord : uint8_t {
    MASM_ENDS, MASM_ASSUME, MASM_GROUP, MASM_MODEL, MASM_DOSSEG, MASM_CODE, MASM_DATA, MASM_DATA_UNINIT,
    MASM_CONST, MASM_STACK, MASM_STARTUP, MASM_EXIT, MASM_CPU_8086, MASM_CPU_186, MASM_CPU_PROTECTED, MASM_LISTING, MASM_JUMPS,
};
int directive_masm_structure(const Mnemonic&, Statement&);
// NAME SEGMENT [align] [combine] ['class']: MASM's segment, opened (or
// opened again, where it goes on).
int masm_segment(Statement& s);
// TITLE, SUBTTL, PAGE, NAME, %OUT and JUMPS: words a following DB or EQU
// makes names (NAME DB 'x').
bool is_listing_word(const Mnemonic& mnemonic);
enum MemoryModel : uint8_t { MODEL_NONE, MODEL_TINY, MODEL_SMALL, MODEL_COMPACT, MODEL_MEDIUM, MODEL_LARGE, MODEL_HUGE };
// The first byte of a .COM (the PSP takes the 256 before it), and the most
// a program's memory may take, its PSP included: 640 KiB.
constexpr int32_t COM_ORIGIN = 0x100;
constexpr int64_t LARGEST_PROGRAM = 0xA0000;
// A frame: a segment by its index, or a group from GROUP_FRAME on.
constexpr int16_t GROUP_FRAME = 0x1000;
// The frame a segment's offsets count from: its group's, or its own; a
// group's frame is its own.
int16_t frame_of_segment(const Assembly& assembly, int segment);
// The paragraph of a frame in the image (the loader adds the program's).
uint16_t frame_paragraph(const Assembly& assembly, int16_t frame);
// The loader adds the program's segment to the frame's paragraph (not to
// that of a SEGMENT AT): NO_FRAME for none, or the frame itself.
int16_t relocated_frame(const Assembly& assembly, int16_t frame);
// FRAME:NAME (DGROUP:MSG, OFFSET DATA:MSG): NAME's offset in that frame,
// its group's or its segment's; 0, or ERR_INVALID_OPERAND when NAME's
// segment is in neither.
int offset_in_frame(const Assembly& assembly, int segment, int16_t frame, int32_t& value);
// A new pass starts outside every segment, its counters unentered.
void begin_segments(Assembly& assembly);
// The segments placed for the next pass from this one's sizes, DOS's
// order or their classes' first appearance: true when one moved.
bool lay_out_segments(Assembly& assembly);
// The override a memory operand naming a variable needs, from ASSUME: 0,
// or ERR_INVALID_OPERAND when no segment register reaches its segment.
int reach_segment(Statement& s, Operand& operand);
// The statement's segment values go to the .EXE's relocations (in the
// pass that writes); a .COM has none: 0, or ERR_INVALID_OPERAND.
int note_relocations(Statement& s, int prefixes);
// END's label: the .EXE's entry point. 0, or an error.
int note_entry_point(Statement& s);
// MASM's STRUC: NAME STRUC opens one (from directive_struc), NAME ENDS
// closes it (STMT_NAMED, or 0 when NAME is no structure open); a field's
// default bytes are kept by the first pass; NAME <...> is an instance.
int masm_structure_begin(Statement& s);
int masm_structure_end(Statement& s);
void keep_field(Statement& s, int result);
// The instance a statement whose mnemonic is a structure's name makes
// (VAR POINT <1,2>): STMT_DB with its bytes, or 0 when it is none.
int masm_structure_instance(Statement& s);
// An .EXE's header and load module, written to the object's sink at the end.
bool write_exe_image(Assembly& assembly);
// The listing's table of segments and groups.
std::string segment_table(const Assembly& assembly);
// The sections placed for the next pass from this one's sizes: true when
// one moved (the next pass must run). The end of the bytes the image holds.
bool lay_out_sections(Assembly& assembly);
int64_t image_end(const Assembly& assembly);
// Defines the statement's label (in label_field) with `value`, as a label
// on its line is defined; false when the assembly must stop.
bool define_label(Statement& s, int32_t value, uint8_t kind);
constexpr int NO_SECTION = -1;

// .ERR, .ERRE expr, .ERRNZ expr and %error: an error the source asks for,
// "Forced Error" or the text written (.ERR <text>, %error "text").
int directive_forced_error(const Mnemonic&, Statement&);
enum ForcedError : uint8_t { FORCED_ALWAYS, FORCED_IF_ZERO, FORCED_IF_NOT_ZERO };

// The kinds of conditional line, in the opcode of their mnemonic rows.
enum ConditionKind : uint8_t {
    COND_IF, COND_IFE, COND_IFDEF, COND_IFNDEF, COND_IFB, COND_IFNB, COND_IFIDN, COND_IFIDNI, COND_IFDIF,
    COND_ELSEIF, COND_ELSEIFDEF, COND_ELSEIFNDEF, COND_ELSE, COND_ENDIF,
};

// The IF blocks open in a pass, innermost last.
struct OpenConditions {
    static constexpr int MAX = 64;
    struct Block {
        bool assembles;     // the lines of the branch now are assembled
        bool branch_taken;  // a branch of the block has been (so the rest are not)
        bool outer;         // the block's own lines are assembled (it stands in an assembled branch)
        bool else_seen;
        uint8_t file_depth;  // files included where it opened
    };
    Block blocks[MAX];
    int depth = 0;
    bool assembles() const { return depth == 0 || blocks[depth - 1].assembles; }
};

// A conditional line, or a line inside a branch not assembled: handles it
// and answers true (the line is then only listed), or answers false for
// any other line. `fields` is what split_line answered for it.
bool take_condition_line(Statement& s, int fields);
int directive_assign(const Mnemonic&, Statement&);
int directive_ds(const Mnemonic&, Statement&);
int directive_equ(const Mnemonic&, Statement&);
int directive_org(const Mnemonic&, Statement&);
int directive_end(const Mnemonic&, Statement&);
int directive_proc(const Mnemonic&, Statement&);
int directive_endp(const Mnemonic&, Statement&);
int directive_include(const Mnemonic&, Statement&);

// Assembles a statement whose line is split (the pass driver's).
using StatementAssembler = int (*)(Statement& s, const Mnemonic* mnemonic, bool& directive);

// TIMES count statement: the statement's bytes `count` times, as data runs
// (STMT_TIMES for an instruction, the data directive's answer for data).
int assemble_times(Statement& s, StatementAssembler assemble);
// Under the shortest forms, a count that comes out negative in the first
// pass after a guessed length (TIMES 510-($-$$) ...) is taken as 0 there;
// the passes after tell.
void guess_negative_count(Statement& s, int32_t& count);

// ---- The first pass's record ------------------------------------------------------

// How a later pass may treat a line instead of assembling it again: not at
// all (it is assembled), or as a line without bytes, or by writing the
// instruction's or the data statement's bytes the first pass recorded, or,
// for a jump or call to a name the first pass had not yet seen (the
// relative_target it noted), by encoding it from the name's value; it is
// assembled again if the name is still not defined or out of reach.
enum Replay : int { REPLAY_NONE, REPLAY_NO_BYTES, REPLAY_CODE, REPLAY_DATA, REPLAY_TARGET };

// The record of the first pass, statement by statement, replayed by the
// passes after it as long as they stand where the first stood.
class StatementRecord {
public:
    StatementRecord() = default;
    StatementRecord(const StatementRecord&) = delete;
    StatementRecord& operator=(const StatementRecord&) = delete;
    ~StatementRecord();

    // Sized from the main source: its lines are mostly twice as long as their records.
    void begin(size_t source_bytes);
    // First pass: how the statement `s` just assembled, `line_bytes` of its
    // source with its line end, may be replayed; `line` is where it began.
    void record(const Statement& s, Replay replay, size_t line_bytes, const uint8_t* line);
    // A later pass: the records are read in order from their start.
    void begin_replay();
    // The next line's replay, asked before the line is read; REPLAY_CODE and
    // REPLAY_DATA restore its bytes into `s` (a jump or call resolved by its
    // target answers REPLAY_CODE). A line replayed has its length in the
    // source, with its line end, in `*line_bytes`.
    Replay replay(Statement& s, size_t* line_bytes);
    // Without a listing: replays the lines from here to the next one that
    // must be assembled again, writing their bytes; negative when a write
    // failed (the line that failed is the last replayed).
    int replay_unlisted_lines(Assembly& assembly);

private:
    struct Reassembly {
        uint64_t hint;        // of the first name not defined in the first pass, or 0
        const uint8_t* line;  // where the line begins
    };
    bool make_room();
    void note_reassembly(const Statement& s, const uint8_t* line);
    void prefetch_names_ahead(const Assembly& assembly);
    Replay replay_target(Statement& s, const uint8_t* at, size_t* line_bytes);
    bool diverged(int32_t location);

    uint8_t* bytes_ = nullptr;
    uint32_t used_ = 0;
    uint32_t capacity_ = 0;
    uint32_t first_capacity_ = 0;
    uint32_t cursor_ = 0;      // the next record a later pass reads
    bool usable_ = true;       // false once the record could not grow
    bool diverged_ = false;    // the pass stands elsewhere than the first
    bool checking_ = false;    // a reassembled statement's end is to be compared
    int32_t expected_location_ = 0;

    // Each statement assembled again, in order, so that a later pass fetches
    // its line and the symbol it will look up a few statements ahead.
    Reassembly* hints_ = nullptr;
    uint32_t hint_count_ = 0;
    uint32_t hint_capacity_ = 0;
    uint32_t hint_cursor_ = 0;
    bool hints_usable_ = true;
};

// ---- The passes ------------------------------------------------------------------

// Runs the passes of an assembly, until a pass changes no label's or EQU's
// value, or a fatal message stops it.
void run_passes(Assembly& assembly);

}  // namespace vexa
