// The two passes over the source and what happens to each statement.
#include <cerrno>
#include <cstring>

#include "driver/driver.h"
#include "encode/encode.h"
#include "output/output.h"
#include "parse/parse.h"
#include "symbols/symbols.h"

namespace vexa {

int32_t pass_index;
int32_t line_number;
int32_t location_counter;
int32_t statement_address;
int32_t image_origin;
int deferred_error;
FILE* object_file;
FILE* listing_file;
const char* listing_line;
int listing_line_length;

namespace {

// How a pass's statement loop ended.
enum class LoopEnd { SOURCE_END, END_DIRECTIVE, STOPPED };

bool stopped;

void fatal(const char* message) {
    std::fputs(message, console_err);
    stopped = true;
}

void report_write_error() {
    std::fprintf(console_err, "Object file write error. (%d)\n", object_error_number);
    stopped = true;
}

// Closes what is open. The object file's buffered bytes reach the disk only
// now, so a failure here is a write error like any other.
void close_files() {
    flush_listing();
    if (listing_file) std::fclose(listing_file);
    listing_file = nullptr;
    if (object_file && close_object_file() != 0 && !stopped) report_write_error();
}

// The listing's own buffer holds many lines between two writes to the file
// system (the library's choice of size is the file system's block). The
// object file keeps the library's buffer: its failed writes are reported as
// soon as the library finds them.
constexpr size_t LISTING_BUFFER_BYTES = 64 * 1024;
char listing_buffer[LISTING_BUFFER_BYTES];

FILE* open_output(const char* path, char* buffer, size_t size) {
    FILE* file = std::fopen(path, "wb");
    if (file) std::setvbuf(file, buffer, _IOFBF, size);
    return file;
}

bool open_files() {
    object_file = open_output(object_path, nullptr, BUFSIZ);
    if (!object_file) {
        std::fprintf(console_err, "Can't open object file \"%s\". (%d)\n", object_path, errno);
        stopped = true;
        return false;
    }
    if (listing_requested) {
        listing_file = open_output(list_path, listing_buffer, sizeof listing_buffer);
        if (!listing_file) {
            int error_number = errno;
            close_files();
            std::fprintf(console_err, "Can't open listing file \"%s\". (%d)\n", list_path, error_number);
            stopped = true;
            return false;
        }
    }
    return true;
}

// Defines the line's label with `value` in the first pass, checks it in the
// second. Answers false when the assembly must stop.
bool label_step(int32_t value) {
    if (pass_index == 0) {
        int added = symtab_add(label_field, label_length, value);
        if (added == SYMTAB_PRESENT) report_error(ERR_MULTI_DEFINED);
        if (added == SYMTAB_NO_MEMORY) fatal("Not enough memory for Symbol table.\n");
        return added != SYMTAB_NO_MEMORY;
    }
    int32_t first_pass_value;
    if (symtab_find(label_field, label_length, &first_pass_value) < 0) {
        fatal("System error : Symbol table corrupted.\n");
        return false;
    }
    if (first_pass_value != value) {
        fatal("Phase error : Symbol value is different between passes.\n");
        return false;
    }
    return true;
}

// Outcome of acting on a handler's answer.
enum class Action { DONE, STOP, WRITE_FAILED };

Action emitted(int emit_result) { return emit_result < 0 ? Action::WRITE_FAILED : Action::DONE; }

Action act_on_org(int32_t target) {
    if (target < location_counter) {
        report_error(ERR_ORG_ASCENDED);
        return Action::DONE;
    }
    statement_address = target;
    if (location_counter == 0) {
        location_counter = target;  // sets the image's origin, writes nothing
        image_origin = target;
        return Action::DONE;
    }
    if (target == location_counter) {
        report_error(ERR_INVALID_NUMBER);
        return Action::DONE;
    }
    return emitted(emit_gap(int64_t(target) - location_counter));
}

Action act_on_result(int result, int fields) {
    switch (result) {
        case 0:
            if (deferred_error) report_error(deferred_error);
            return emitted(emit_code(code_len));
        case STMT_DB:
        case STMT_DW:
            if (deferred_error) report_error(deferred_error);
            return emitted(emit_data_image());
        case STMT_DS:
            if (dst.value > 0) return emitted(emit_gap(dst.value));
            report_error(ERR_INVALID_NUMBER);
            return Action::DONE;
        case STMT_EQU:
            if (!(fields & FIELD_LABEL)) {
                report_error(ERR_SYMBOL_NOT_DEFINED);
                return Action::DONE;
            }
            return label_step(dst.value) ? Action::DONE : Action::STOP;
        case STMT_ORG:
            return act_on_org(dst.value);
        case STMT_END:
        case STMT_ENDP:
            if (deferred_error) report_error(deferred_error);
            return Action::DONE;
        default:
            report_error(result);
            return Action::DONE;
    }
}

void clear_statement_state() {
    operand_count = 0;
    data_len = 0;
    data_run_count = 0;
    code_len = 0;
    code_prefix = 0;
    dst.seg_override = 0;
    src.seg_override = 0;
    first_pass_guess = false;
    unresolved_name_hint = 0;
    relative_target.width = 0;
}

// The operand text is one name, which a record can hold.
bool is_plain_name(const char* text) {
    constexpr int LONGEST = 31;
    if (is_digit(text[0])) return false;
    int length = 0;
    while (is_name_char(text[length]) && length <= LONGEST) ++length;
    return length > 0 && length <= LONGEST && text[length] == 0;
}

// A jump or call whose one operand is a name not defined yet, and nothing
// else the first pass had to guess: the second pass can encode it from the
// name's value.
bool resolves_by_target(Replay replay) {
    return replay == REPLAY_CODE && relative_target.width && unresolved_name_hint && operand_count == 1 &&
           !short_target_named && !prefix_field[0] && !code_prefix && is_plain_name(operand_text);
}

// A prefix on the instruction's line joins the instruction's bytes; a
// directive takes none.
int add_line_prefix(int result, const Mnemonic& instruction) {
    if (result < 0) return result;
    if (result > 0) return ERR_INVALID_OPERAND;
    return apply_line_prefix(*find_mnemonic(prefix_field), instruction);
}

// Dispatches the mnemonic, parsing the operands only when the handler asks,
// then dispatches it again. The mnemonic is looked up once for both calls,
// and the first call is spared when its answer is known to be that request.
int assemble_statement(bool& directive) {
    const Mnemonic* mnemonic = find_mnemonic_field(mnemonic_field);
    if (!mnemonic) return ERR_INVALID_OPCODE;
    directive = is_directive(*mnemonic);
    int result = reads_operands_first(*mnemonic) ? ERR_MISSING_OPERAND : mnemonic->handler(*mnemonic);
    if (result == ERR_MISSING_OPERAND) {
        deferred_error = parse_operands(operand_text);
        // SHORT belongs to the jumps, before a target they can take.
        if (short_target_named) {
            if (!takes_short_target(*mnemonic)) return ERR_INVALID_OPERAND;
            if (deferred_error && deferred_error != ERR_SYMBOL_NOT_DEFINED) return deferred_error;
        }
        result = mnemonic->handler(*mnemonic);
    }
    return prefix_field[0] ? add_line_prefix(result, *mnemonic) : result;
}

// What became of one line: whether the pass goes on, and how the second
// pass may replay the line.
struct LineOutcome {
    bool goes_on;
    LoopEnd end;  // when it does not
    Replay replay;
};

constexpr LineOutcome next_line(Replay replay) { return {true, LoopEnd::SOURCE_END, replay}; }
constexpr LineOutcome stop_after_line(LoopEnd end) { return {false, end, REPLAY_NONE}; }

// Only an instruction, or data without DUP, is replayed: the other
// directives act on the assembly, not only on the image.
Replay replay_of(int result, bool directive) {
    if (deferred_error) return REPLAY_NONE;
    if (result == 0 && !directive) return REPLAY_CODE;
    bool plain_data = (result == STMT_DB || result == STMT_DW) && data_run_count == 0;
    return plain_data ? REPLAY_DATA : REPLAY_NONE;
}

LineOutcome assemble_line(int read, const LineMarks& marks) {
    if (read == READ_TOO_LONG) {
        report_error(ERR_LINE_TOO_LONG);
        list_statement();
        return next_line(REPLAY_NONE);
    }
    int fields = split_line(marks);
    if (fields == 0) {
        list_statement();
        return next_line(REPLAY_NO_BYTES);
    }
    if (fields == FIELD_LABEL) {
        if (!label_step(location_counter)) return stop_after_line(LoopEnd::STOPPED);
        list_statement();
        return next_line(REPLAY_NO_BYTES);
    }

    bool directive = false;
    int result = assemble_statement(directive);
    Replay replay = replay_of(result, directive);
    // In the second pass the label step can only stop the assembly, and the
    // statement's own error may be the reason (an EQU of a name never
    // defined): that error is reported first.
    bool failed_with_label = pass_index == 1 && result < 0 && (fields & FIELD_LABEL);
    if (failed_with_label) report_error(result);
    // The label takes the statement's first address, after its operands were read.
    bool names_no_label = result == STMT_EQU || result == STMT_ENDP;
    if ((fields & FIELD_LABEL) && !names_no_label && !label_step(location_counter)) {
        return stop_after_line(LoopEnd::STOPPED);
    }
    Action action = failed_with_label ? Action::DONE : act_on_result(result, fields);
    if (action == Action::STOP) return stop_after_line(LoopEnd::STOPPED);
    list_statement();
    deferred_error = 0;
    if (action == Action::WRITE_FAILED) {
        report_write_error();
        return stop_after_line(LoopEnd::STOPPED);
    }
    if (result == STMT_END) return stop_after_line(LoopEnd::END_DIRECTIVE);
    return next_line(replay);
}

// The second pass writes and lists a line the first pass recorded, as
// assembling it again would.
LineOutcome replay_line(Replay replay) {
    int written = 0;
    if (replay == REPLAY_CODE) written = emit_code(code_len);
    if (replay == REPLAY_DATA) written = emit_data_image();
    list_statement();
    if (written < 0) {
        report_write_error();
        return stop_after_line(LoopEnd::STOPPED);
    }
    return next_line(replay);
}

LoopEnd run_statement_loop() {
    for (;;) {
        // Without a listing, the lines replayed are not even read.
        if (pass_index == 1 && !listing_file && replay_unlisted_lines() < 0) {
            report_write_error();
            return LoopEnd::STOPPED;
        }
        clear_statement_state();
        const uint8_t* line_start = source.cursor;
        listing_line = reinterpret_cast<const char*>(line_start);
        size_t line_bytes = 0;
        Replay replay = pass_index == 1 ? replay_statement(&line_bytes) : REPLAY_NONE;
        statement_address = location_counter;
        if (replay != REPLAY_NONE) {
            // Only listed: the line is not read.
            listing_line_length = int(listed_length(line_start));
            skip_source(line_bytes);
            ++line_number;
            LineOutcome outcome = replay_line(replay);
            if (!outcome.goes_on) return outcome.end;
            continue;
        }
        LineMarks marks;
        int read = read_line(line_buffer, LINE_CAPACITY, &marks);
        if (read == READ_END) return LoopEnd::SOURCE_END;
        // A line cut short is listed as cut.
        listing_line_length = int(marks.end - line_buffer);
        ++line_number;

        int errors_before = reported_error_count();
        LineOutcome outcome = assemble_line(read, marks);
        if (pass_index == 0) {
            bool reported = reported_error_count() != errors_before;
            Replay replay = reported ? REPLAY_NONE : !first_pass_guess ? outcome.replay
                          : resolves_by_target(outcome.replay) ? REPLAY_TARGET : REPLAY_NONE;
            record_statement(replay, size_t(source.cursor - line_start));
        }
        if (!outcome.goes_on) return outcome.end;
    }
}

// Runs one pass; answers false when the assembly stopped.
bool run_pass() {
    if (pass_index == 1 && !open_files()) return false;
    std::fprintf(console_out, "Pass %d\n", pass_index + 1);
    std::fflush(console_out);
    pending_message = nullptr;
    rewind_source();
    deferred_error = 0;
    location_counter = 0;
    image_origin = 0;
    line_number = 0;
    reset_procedures();
    if (pass_index == 1) begin_replay();

    LoopEnd end = run_statement_loop();
    if (end == LoopEnd::STOPPED) return false;
    if (pass_index == 0 && end == LoopEnd::SOURCE_END) {
        std::fputs("Not found 'END' directive.\n", console_err);
    }
    if (pass_index == 1) close_files();
    return !stopped;
}

// About one label in ten lines of twenty-odd characters: the index sized
// for them at once is not rebuilt as a large program's labels arrive.
uint32_t expected_symbols() {
    size_t guess = size_t(source.end - source.base) / 256;
    return guess < UINT32_MAX ? uint32_t(guess) : UINT32_MAX;
}

}  // namespace

void assemble_file() {
    stopped = false;
    image_origin = 0;
    reset_statement_record();
    object_file = nullptr;
    listing_file = nullptr;
    if (symtab_init(expected_symbols()) != 0) {
        fatal("Not enough memory for Symbol table.\n");
    } else {
        for (pass_index = 0; pass_index < 2 && run_pass(); ++pass_index) {
        }
    }
    close_files();
    symtab_free();
    reset_statement_record();
}

bool assembly_stopped() { return stopped; }

}  // namespace vexa
