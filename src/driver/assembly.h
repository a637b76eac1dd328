// The state of one assembly, in three objects with one lifetime each: the
// Assembly for all its passes, the Pass, and the Statement being assembled.
// Each is created, and reset for the next of its kind, in one place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "driver/assembler.h"
#include "driver/driver.h"
#include "driver/macros.h"
#include "encode/encode.h"
#include "output/output.h"
#include "parse/parse.h"
#include "symbols/symbols.h"

namespace vexa {

struct Assembly;

// What the conventions chosen change in the forms instructions take.
struct Conventions {
    // A jump ahead is short when it reaches (the passes start from the short
    // forms); an immediate or a displacement takes its byte form whenever
    // its value fits, a name's not yet known included.
    bool shortest = false;
    // A conditional jump out of reach becomes the inverted jump over a near JMP.
    bool rewrite_far_conditional = false;
    // NASM's: register-to-register opcodes as NASM codes them (89 D8), a
    // value that is an address keeps its word form, a size keyword before
    // a value sizes the value (PUSH WORD 5, JMP NEAR X), never makes it memory.
    bool nasm = false;
    // MASM's: a variable named without brackets is memory, a character
    // constant has its first character in the highest byte, RET in a far
    // procedure returns far, and a call or jump to a far label is far.
    bool masm = false;
    bool any() const { return shortest || rewrite_far_conditional || nasm || masm; }
};

// What a typed variable's definition holds, for TYPE, LENGTH, SIZE,
// LENGTHOF and SIZEOF.
struct VariableShape {
    uint32_t bytes;
    uint16_t leading_dup;  // the count of the DUP it begins with, or 1
    uint32_t structure = 0;  // an instance of MASM's STRUC: its bytes, its TYPE
};

// One pass over the source: where it stands, what it has open, and whether
// it is the pass that writes.
struct Pass {
    int32_t pass_index = 0;  // 0 in the first pass
    int32_t location_counter = 0;
    // The address of the image's first byte: what a first ORG before any byte set.
    int32_t image_origin = 0;
    // `$$`: where the section, the ABSOLUTE space or the STRUC being
    // assembled begins (the image's origin when the source has no sections).
    int32_t section_start = 0;
    // The section being assembled, by its place in Assembly::sections, or
    // NO_SECTION in an ABSOLUTE space or a STRUC; and each section's location
    // counter as the pass left it (from the first SECTION or ABSOLUTE on).
    int section = 0;
    std::vector<int32_t> section_counters;
    // Nothing assembled here is written: an ABSOLUTE space, a STRUC, a
    // section of no bytes (.bss): only addresses are reserved.
    bool writes_nothing = false;
    // The STRUC being defined (its name, empty for none) and the section it
    // interrupted; the ISTRUC being filled and where its instance begins.
    std::string structure;
    int structure_interrupted = 0;
    int32_t structure_resumes_at = 0;
    std::string instance;
    int32_t instance_start = 0;
    // MASM's segments: the one being assembled (NO_SECTION outside them),
    // each one's location counter as the pass left it (UNENTERED before the
    // pass enters it) and the highest it reached, the segments opened by
    // NAME SEGMENT and not closed, innermost last, and what ASSUME says each
    // segment register (ES, CS, SS, DS) holds: a frame, or NO_FRAME.
    int segment = NO_SECTION;
    std::vector<int32_t> segment_counters;
    std::vector<int32_t> segment_reached;
    std::vector<int> open_segments;
    int16_t assumed[4] = {NO_FRAME, NO_FRAME, NO_FRAME, NO_FRAME};
    // MASM's STRUC being defined (its place in Assembly::structures plus
    // one, 0 for none), and where the segment it interrupted stood.
    int masm_structure = 0;
    int structure_segment = NO_SECTION;
    int32_t structure_counter = 0;
    bool structure_writes_nothing = false;
    // Statements read so far in this pass, replayed ones included.
    uint32_t statement_count = 0;
    // The 80186's instructions are assembled (CPU 186, .186, --cpu=186).
    bool cpu_186 = false;
    LineReader reader;
    OpenProcedures procedures;
    // Prefixes written alone on their lines (REP, then MOVSB on the next)
    // wait for the statement they go with.
    const Mnemonic* waiting_repeat = nullptr;  // REP, REPE, REPZ, REPNE, REPNZ
    const Mnemonic* waiting_lock = nullptr;
    bool prefixes_wait = false;
    bool segment_end_passed = false;
    // A pass after the first writes the image and the listing, and tells its
    // messages, until a label or EQU takes another value than in the pass
    // before: then the next pass does.
    bool writes = false;
    bool values_changed = false;
    // EQUs whose value came from names still unsettled, and EQUs that were
    // so in the pass before and are settled now: while both happen, another
    // pass may settle more; when only the first does, their names never
    // get a value (A EQU B with B EQU A).
    bool equ_unsettled = false;
    bool equ_settled = false;
    // The last pass allowed: a value that changes stops the assembly.
    bool last_allowed = false;
    // Statements keep a long form once they needed it (see Statement::long_forms).
    bool keeps_long_forms = false;
    // A statement so far read a name not known yet or still unsettled: in
    // the first pass, the addresses from there on may still move.
    bool guessed_before = false;
    // The last label that does not begin with a dot or @@: the owner of the
    // local labels after it (.LOOP is OWNER.LOOP).
    char label_owner[SYMBOL_NAME_LIMIT + 1];
    int owner_length = 0;
    // Anonymous labels (@@:) defined so far: @B is the last, @F the next.
    uint32_t anonymous_labels = 0;
    // The IF blocks open, and the ENDIFs they wait for.
    OpenConditions conditions;
    // A name of `=` was read before its first assignment in this pass: it
    // read the value the pass before ended with.
    bool assigned_read_early = false;
};

// The statement being assembled: its line, its fields and operands, and
// the bytes it makes. One object serves every statement of an assembly;
// begin() clears what each must find cleared.
struct Statement {
    Statement(Assembly& owner, Pass& current) : assembly(owner), pass(current) {}
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Assembly& assembly;
    Pass& pass;

    // Its line: as read (line_buffer), as listed (from the source) and as
    // reported (without its comment). `file` is 0 for the main source.
    char line_buffer[LINE_CAPACITY + SCAN_PADDING];
    int statement_text_length = 0;
    const char* listing_line = nullptr;
    int listing_line_length = 0;
    uint16_t file = 0;
    int32_t line_number = 0;
    // How far the line's bytes as read (in the source) stand from their copy
    // in line_buffer: up to the line's end they are the same, and the vector
    // paths read them there.
    std::ptrdiff_t source_distance = 0;
    // Its place among the statements of a pass.
    uint32_t index = 0;
    // The file an INCLUDE statement found.
    uint16_t included_file = 0;
    // Expansions its line stands in (a macro's call, a repetition), or 0
    // for a line read from a file.
    uint8_t expansion_depth = 0;

    // Its fields (split_line).
    char label_field[LABEL_CAPACITY + SCAN_PADDING];  // upper case, terminated
    int label_length = 0;
    // Why the word in the label's place names no label (a reserved word, a
    // name no operand can read), or 0.
    int label_error = 0;
    char mnemonic_field[MNEMONIC_CHARS + 1];
    // The mnemonic the field spells, or null.
    const Mnemonic* mnemonic = nullptr;
    // A prefix written before the mnemonic on its line (REP MOVSB), or empty.
    char prefix_field[MNEMONIC_CHARS + 1];
    char operand_text[OPERAND_CAPACITY + SCAN_PADDING];
    // Characters in operand_text: its quoted strings may hold zero bytes.
    int operand_length = 0;
    // Where the operands begin in line_buffer, as written (INCLUDE reads them so).
    int operands_at = 0;
    // A zero byte stands in the statement outside its quoted strings (in a
    // string or a comment it is a character like any other), at this column.
    bool zero_byte_in_statement = false;
    int zero_byte_column = 0;

    // Its operands.
    Operand dst;
    Operand src;
    Operand third;  // IMUL's immediate (IMUL AX,BX,10)
    uint8_t operand_count = 0;
    // SHORT stood before one of its operands: only jumps accept it.
    bool short_target_named = false;
    // A segment:offset pair was read: only a far jump's or call's target may be one.
    bool segment_pair_named = false;
    // Under MASM's conventions an operand refused for what it names (a
    // variable of another size, one no segment register reaches, a code
    // label as a value): 0 or 1, its error the statement's; -1 for none.
    int8_t refused_operand = -1;

    // The instruction's bytes, without any prefix.
    uint8_t code_buf[CODE_CAPACITY];
    uint8_t code_len = 0;
    // A REP or LOCK prefix written on the instruction's line, or 0: it goes
    // before the segment override and the instruction's bytes.
    uint8_t code_prefix = 0;
    // The bytes of a DB or DW statement, and its runs when it has DUP.
    uint8_t data_buf[DATA_CAPACITY];
    uint16_t data_len = 0;
    DataRun data_runs[MAX_DATA_RUNS];
    uint8_t data_run_count = 0;
    // The count of the DUP its data begins with, or 1.
    uint16_t leading_dup = 1;
    // Its label was written with a colon: a data name so written has no type.
    bool label_colon = false;
    // Its bytes depend on their address: it encodes a distance, or pads.
    bool location_used = false;
    // Where the copy of a TIMES statement being assembled stands from the
    // statement's start: `$` is the statement's address in every copy.
    int32_t copy_offset = 0;
    // A segment register written as a word before the instruction (ES MOVSB,
    // ES: LODSB): its override prefix, or 0.
    uint8_t prefix_segment = 0;
    // Segment values in its bytes, which the loader of an .EXE relocates:
    // the frame of the instruction's last word, or NO_FRAME; the words of
    // its data (by their place in data_buf) and their frames.
    int16_t code_fixup = NO_FRAME;
    struct DataFixup {
        uint16_t at;
        int16_t frame;
    };
    static constexpr int MAX_DATA_FIXUPS = 32;
    DataFixup data_fixups[MAX_DATA_FIXUPS];
    uint8_t data_fixup_count = 0;

    // An error of operand parsing or of a DB/DW item list, held until the
    // handler's answer is known.
    int deferred_error = 0;
    // The last message reported for it, for its listing.
    const char* pending_message = nullptr;
    // Guesses its encoder made (StatementWarning bits), and those reported,
    // for its listing.
    uint8_t warnings = 0;
    uint8_t listed_warnings = 0;
    // The listing's address column: the location counter at its start, the
    // new address after an ORG; advanced across a long data statement's rows.
    int32_t statement_address = 0;

    // It used a value the first pass can only guess: a name not (yet)
    // defined or whose value may change, an empty data item, a jump target
    // that reads as the forward placeholder. Such a statement is assembled
    // again in the later passes.
    bool first_pass_guess = false;
    // The symbol hint of its first name not (yet) defined, or 0: a later pass
    // looks it up ahead. Kept in the first pass only.
    uint64_t unresolved_name_hint = 0;
    // A jump or call that a later pass may encode from its target's value.
    RelativeTarget relative_target{};
    // Take the longest form wherever a value chooses the length (word
    // displacements and immediates, near jumps): once values have changed for
    // a few passes, so that lengths only grow and the passes end.
    bool long_forms = false;
    // An 80186 form refused because the 80186's instructions are not
    // enabled: what the 8086 lacks ("PUSH of an immediate"), or null.
    const char* needs_186 = nullptr;

    // Clears what a statement starts without.
    void begin(uint32_t place) {
        index = place;
        operand_count = 0;
        data_len = 0;
        data_run_count = 0;
        code_len = 0;
        code_prefix = 0;
        dst.seg_override = 0;
        src.seg_override = 0;
        deferred_error = 0;
        pending_message = nullptr;
        warnings = 0;
        listed_warnings = 0;
        first_pass_guess = false;
        unresolved_name_hint = 0;
        relative_target.width = 0;
        code_fixup = NO_FRAME;
        data_fixup_count = 0;
        refused_operand = -1;
        long_forms = false;
        needs_186 = nullptr;
        location_used = false;
        expansion_depth = 0;
    }
    // The address of its first byte: `$`.
    int32_t location() const;
};

// One assembly, for all its passes: what it was asked to do, its sources,
// its symbols, its outputs, its messages, and the record of its first pass.
struct Assembly {
    Assembly(const AssemblyOptions& asked, SourceFiles& source_files, Sink& object, Sink* listing_sink,
             AssemblyResult& answer, Progress* progress)
        : options(asked),
          files(source_files),
          result(answer),
          image(object),
          object_sink(object),
          listing(asked.listing ? listing_sink : nullptr, asked.lines_per_page),
          diagnostics(answer, progress, asked.source),
          progress(progress),
          statement(*this, pass) {}
    Assembly(const Assembly&) = delete;
    Assembly& operator=(const Assembly&) = delete;

    const AssemblyOptions& options;
    SourceFiles& files;
    AssemblyResult& result;

    // Each file read, loaded once for every pass, by its path; the main
    // source first. A file that could not be loaded has no text.
    struct LoadedText {
        std::string path;
        std::unique_ptr<SourceText> text;
    };
    std::vector<LoadedText> texts;
    // The files included, by their number less one: the name as an INCLUDE
    // statement wrote it (its lines' messages show it), and its text.
    struct IncludedFile {
        std::string name;
        int text;
    };
    std::vector<IncludedFile> included;
    // The path a file was read from, by its number (0 the main source).
    const std::string& path_of(uint16_t file) const {
        return texts[file ? size_t(included[file - 1].text) : 0].path;
    }

    SymbolTable symbols;
    StatementRecord record;
    ForwardJumps forward_jumps;
    // Statements in a pass (as the first pass counted them), and the length
    // of each in the pass before and in this one, by its place, once lengths
    // must not shrink (see Statement::long_forms).
    uint32_t statement_total = 0;
    std::vector<uint8_t> previous_lengths;
    std::vector<uint8_t> current_lengths;
    // With a symbol map: where each name was defined (first pass), and each
    // use of one by the pass now running, in order.
    struct Place {
        int position;  // in the symbol table
        uint16_t file;
        int32_t line;
    };
    std::vector<Place> definitions;
    std::vector<Place> uses;
    // Some line defines or names a local or anonymous label: their names
    // depend on the lines before, so no line is replayed.
    bool local_labels = false;
    // Some line is conditional, or a macro, a repetition or a %define
    // makes lines: which lines are assembled depends on the lines before, so
    // no line is replayed.
    bool conditional = false;
    // The shape of each typed variable, by its symbol's position.
    std::unordered_map<int, VariableShape> variables;
    const VariableShape* variable_shape(int position) const {
        auto found = variables.find(position);
        return found == variables.end() ? nullptr : &found->second;
    }
    // The names -D defined before the first line, by position.
    std::vector<int> predefined;
    // The names of `=`, by position, with the value each had when the pass began.
    std::vector<std::pair<int, int32_t>> assigned;
    // Statements whose label the first pass found defined already, in order:
    // reported there, and the name keeps its first value in every pass.
    std::vector<uint32_t> duplicate_labels;

    ComImage image;
    Sink& object_sink;
    bool outputs_opened = false;
    Listing listing;
    Diagnostics diagnostics;
    Progress* progress;
    bool stopped = false;  // a fatal message ended it
    // Some pass's code went beyond the segment's end (Address Overflow).
    bool segment_end_passed = false;

    // The sections of a NASM program, from the first SECTION or ABSOLUTE on
    // (.text first), by their first appearance; the layout of the image
    // places them by the sizes the pass before found.
    struct Section {
        std::string name;  // upper case
        uint32_t align;
        bool nobits;
        int32_t base;  // its first address in this pass
        int32_t size;  // its bytes as the pass before ended
    };
    std::vector<Section> sections;

    // MASM's segments, by their first appearance, and groups (segments.cpp).
    // A segment's offsets count from its frame: its group's first byte, or
    // its own paragraph. The layout places them by the sizes the pass
    // before found.
    struct Segment {
        std::string name;        // upper case
        std::string class_name;  // upper case, without its quotes
        uint32_t align = 16;
        bool stack = false;      // combined as STACK: SS:SP of the .EXE
        int32_t at = -1;         // SEGMENT AT paragraph: nothing written, no relocation
        int group = -1;
        int32_t base = 0;        // its first byte's place in the image
        int32_t size = 0;        // its bytes as the pass before ended
    };
    struct Group {
        std::string name;
        int32_t base = 0;  // its frame's first byte: a paragraph
    };
    std::vector<Segment> segments;
    std::vector<Group> groups;
    // What each name of MASM's segments is in (Segment index), or for a
    // segment's or a group's own name its frame; by symbol position.
    std::unordered_map<int, int16_t> symbol_segments;
    uint8_t model = 0;            // MemoryModel
    uint32_t model_statement = 0;  // the .MODEL line's place in a pass
    bool segment_order = false;   // DOSSEG or .MODEL: DOS's order of segments
    // The image is an MZ .EXE (decided by the first pass): its relocations
    // (written by the pass that writes), entry point and stack.
    bool exe = false;
    struct Relocation {
        uint16_t segment;  // the paragraph of the frame it is in
        uint16_t offset;
    };
    std::vector<Relocation> relocations;
    struct EntryPoint {
        int16_t frame = NO_FRAME;
        int32_t offset = 0;
        bool given = false;
    } entry;
    // Where .STARTUP stands, the entry point when END names none.
    EntryPoint startup;
    // MASM's structures (NAME STRUC ... NAME ENDS): the bytes of their
    // fields' defaults, and each field's place, length and item size.
    struct MasmStructure {
        std::string name;
        std::vector<uint8_t> image;
        struct Field {
            int32_t offset;
            int32_t length;
            uint8_t width;
        };
        std::vector<Field> fields;
    };
    std::vector<MasmStructure> structures;
    // Some name is in a segment, or a structure exists: names are read
    // for their segments and fields.
    bool masm_names = false;
    // The statement (by its place in the pass) that made the last instance
    // of a structure, and the structure's bytes: its name's TYPE.
    uint32_t instance_statement = UINT32_MAX;
    uint32_t instance_bytes = 0;

    // The conventions assembled under, and the statement that chose them
    // (line 0: the command line or the default).
    Dialect dialect = DIALECT_VEXA;
    Conventions conventions;
    struct DialectChoice {
        uint16_t file = 0;
        int32_t line = 0;
        std::string word;
    } dialect_choice;

    Pass pass;
    Statement statement;
    MacroEngine macros;
};

// The conventions assembled under, and why, in the result.
void explain_conventions(const Assembly& assembly, AssemblyResult& result);
// Sets the conventions of `dialect` (with --optimize for Vexa's).
void set_dialect(Assembly& assembly, Dialect dialect);
// The statement is one of NASM's or MASM's program structure: without
// --dialect, the first such statement of the first pass chooses the
// conventions of the whole source.
void note_structure(Statement& s, Dialect dialect);

inline int32_t Statement::location() const { return pass.location_counter; }

// Fills the result's symbols from the table, the definitions and the uses.
void map_symbols(Assembly& assembly);

// Beyond the segment the location counter goes on counting, so that later
// statements keep their addresses; beyond 32 bits it wraps.
inline void advance_location(Pass& pass, int64_t count) {
    pass.location_counter = int32_t(uint32_t(pass.location_counter) + uint32_t(count));
}

// Inline: every statement's bytes pass here.
[[gnu::always_inline]] inline int emit_bytes(Assembly& assembly, const uint8_t* bytes, size_t count) {
    Pass& pass = assembly.pass;
    if (pass.writes && !assembly.image.write(pass.location_counter, bytes, count)) return -1;
    advance_location(pass, int64_t(count));
    return 0;
}

}  // namespace vexa
