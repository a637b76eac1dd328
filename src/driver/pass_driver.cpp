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
        set_location(target);  // the image's origin: nothing is written
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

// What a prefix makes of the answer of the statement it stands before: a
// directive, or an instruction it does not go with, is an invalid operand.
// END and ENDP still end what they end.
int answer_with_prefix(int result, bool directive, const Mnemonic& prefix, const Mnemonic& instruction) {
    if (result < 0) return result;
    if (result == STMT_END || result == STMT_ENDP) {
        if (!deferred_error) deferred_error = ERR_INVALID_OPERAND;
        return result;
    }
    if (directive) return ERR_INVALID_OPERAND;
    return check_line_prefix(prefix, instruction);
}

// A prefix on the instruction's line joins the instruction's bytes.
int add_line_prefix(int result, bool directive, const Mnemonic& instruction) {
    const Mnemonic& prefix = *find_mnemonic(prefix_field);
    result = answer_with_prefix(result, directive, prefix, instruction);
    if (result == 0) code_prefix = prefix.opcode;
    return result;
}

// Prefixes written alone on their lines (REP, then MOVSB on the next) wait
// for the statement they go with, which answers for them as for a prefix
// on its line. Labels, blank lines and SEG may stand between.
struct WaitingPrefixes {
    const Mnemonic* repeat;  // REP, REPE, REPZ, REPNE, REPNZ
    const Mnemonic* lock;
};
WaitingPrefixes waiting_prefixes;
bool prefixes_wait;

void forget_waiting_prefixes() {
    waiting_prefixes = WaitingPrefixes{};
    prefixes_wait = false;
}

// For a statement that is a prefix alone or follows one. It is assembled
// again in the second pass, where the prefix waits again. `mnemonic` is
// null for a statement without a known one.
int answer_waiting_prefixes(int result, bool directive, const Mnemonic* mnemonic) {
    first_pass_guess = true;
    if (mnemonic && result == 0 && mnemonic->handler == prefix_statement) {
        (is_lock_prefix(*mnemonic) ? waiting_prefixes.lock : waiting_prefixes.repeat) = mnemonic;
        prefixes_wait = true;
        return result;
    }
    if (mnemonic && mnemonic->handler == seg_prefix) return result;
    for (const Mnemonic* prefix : {waiting_prefixes.lock, waiting_prefixes.repeat}) {
        if (prefix && mnemonic) result = answer_with_prefix(result, directive, *prefix, *mnemonic);
    }
    forget_waiting_prefixes();
    return result;
}

// A segment:offset pair is only the one target of a far jump or call.
bool pair_is_target(const Mnemonic& mnemonic) {
    return takes_far_target(mnemonic) && operand_count == 1 && dst.kind == KIND_IMMEDIATE && dst.size == SIZE_DWORD;
}

// Dispatches the mnemonic, parsing the operands only when the handler asks,
// then dispatches it again. The mnemonic is looked up once for both calls,
// and the first call is spared when its answer is known to be that request.
int assemble_statement(const Mnemonic* mnemonic, bool& directive) {
    if (!mnemonic) return zero_byte_in_statement ? ERR_INVALID_CHARACTER : ERR_INVALID_OPCODE;
    directive = is_directive(*mnemonic);
    int result = reads_operands_first(*mnemonic) ? ERR_MISSING_OPERAND : mnemonic->handler(*mnemonic);
    if (result == ERR_MISSING_OPERAND) {
        deferred_error = parse_operands(operand_text);
        // SHORT belongs to the jumps, before a target they can take.
        if (short_target_named) {
            if (!takes_short_target(*mnemonic)) return ERR_INVALID_OPERAND;
            if (deferred_error && deferred_error != ERR_SYMBOL_NOT_DEFINED) return deferred_error;
        }
        if (segment_pair_named && !pair_is_target(*mnemonic)) return ERR_INVALID_OPERAND;
        result = mnemonic->handler(*mnemonic);
    }
    return prefix_field[0] ? add_line_prefix(result, directive, *mnemonic) : result;
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
        forget_waiting_prefixes();
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

    int errors_before = reported_error_count();
    bool directive = false;
    const Mnemonic* mnemonic = find_mnemonic_field(mnemonic_field);
    int result = assemble_statement(mnemonic, directive);
    if (prefixes_wait || (mnemonic && mnemonic->handler == prefix_statement)) {
        result = answer_waiting_prefixes(result, directive, mnemonic);
    }
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
    // The first statement that passes the segment's end answers for it,
    // unless it has reported something else.
    if (uint32_t(location_counter) > uint32_t(SEGMENT_END) && passes_segment_end() &&
        reported_error_count() == errors_before) {
        report_error(ERR_ADDRESS_OVERFLOW);
    }
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
            listing_line_length = int(listed_length(line_start, line_bytes));
            skip_source(line_bytes);
            ++line_number;
            LineOutcome outcome = replay_line(replay);
            if (!outcome.goes_on) return outcome.end;
            continue;
        }
        LineMarks marks;
        int read = read_line(line_buffer, LINE_CAPACITY, &marks);
        if (read == READ_END) return LoopEnd::SOURCE_END;
        // A line cut short is listed and reported as cut.
        listing_line_length = int(marks.end - line_buffer);
        statement_text_length = listing_line_length;
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
    reset_segment_end();
    forget_waiting_prefixes();
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
