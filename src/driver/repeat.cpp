// TIMES: one statement, an instruction or data, repeated.
#include <cstring>

#include "driver/assembly.h"
#include "driver/driver.h"
#include "encode/encode.h"
#include "output/output.h"
#include "parse/parse.h"

namespace vexa {

namespace {

// The statement after TIMES's count, as a line of its own in the
// statement's line buffer: the operand text from `p` on, each size mark
// spelled out again. False when it does not fit.
bool rebuild_line(Statement& s, const char* p) {
    const char* end = s.operand_text + s.operand_length;
    char* line = s.line_buffer;
    int k = 0;
    line[k++] = ' ';  // no label
    // The mnemonic apart from its operands, after ES: if that stands first.
    for (int word = 0; word < 2; ++word) {
        while (p < end && is_name_char(*p)) line[k++] = *p++;
        if (*p == ':') line[k++] = *p++;
        line[k++] = ' ';
        if (line[k - 2] != ':') break;
    }
    while (p < end) {
        if (k + 8 > LINE_CAPACITY) return false;
        if (is_quote(*p)) {
            const char* close = closing_quote(p, end);
            const char* stop = close ? close + 1 : end;
            if (k + (stop - p) > LINE_CAPACITY) return false;
            while (p < stop) line[k++] = *p++;
        } else if (*p == SIZE_MARK && p[1]) {
            for (const char* keyword : size_keywords) {
                if (keyword[0] != p[1]) continue;
                for (const char* c = keyword; *c; ++c) line[k++] = *c;
                line[k++] = ' ';
            }
            p += 2;
        } else {
            line[k++] = *p++;
        }
    }
    std::memset(line + k, 0, SCAN_PADDING);
    s.statement_text_length = k;
    return true;
}

// The label of the TIMES line, which splitting the repeated statement clears.
struct KeptLabel {
    char name[LABEL_CAPACITY + 1];
    int length;
    bool colon;
};

// What one copy of the repeated statement leaves for the next: the
// statement's per-copy state cleared, its line split again.
void begin_copy(Statement& s, const KeptLabel& label) {
    s.operand_count = 0;
    s.data_len = 0;
    s.data_run_count = 0;
    s.code_len = 0;
    s.code_prefix = 0;
    s.dst.seg_override = 0;
    s.src.seg_override = 0;
    s.relative_target.width = 0;
    split_line(s);
    std::memcpy(s.label_field, label.name, size_t(label.length) + 1);
    s.label_length = label.length;
    s.label_colon = label.colon;
}

// Repeats the data runs `count` times over, as long as they fit. One run
// is repeated in as many runs as its count needs.
int repeat_runs(Statement& s, int32_t count) {
    constexpr int LARGEST_RUN_COUNT = 255;  // s.data_run_count is a byte
    int runs = s.data_run_count;
    if (runs == 1) {
        DataRun run = s.data_runs[0];
        int64_t total = int64_t(run.repeat) * count;
        int needed = int((total + MAX_DUP_COUNT - 1) / MAX_DUP_COUNT);
        if (needed > LARGEST_RUN_COUNT) return ERR_ILLEGAL_SIZE;
        s.data_run_count = uint8_t(needed > 0 ? needed : 1);
        for (int i = 0; i < s.data_run_count; ++i, total -= MAX_DUP_COUNT) {
            s.data_runs[i] = run;
            s.data_runs[i].repeat = uint16_t(total < MAX_DUP_COUNT ? total : MAX_DUP_COUNT);
        }
        return 0;
    }
    if (count == 0) {
        s.data_run_count = 1;
        s.data_runs[0].repeat = 0;
        return 0;
    }
    if (int64_t(runs) * count > LARGEST_RUN_COUNT || int64_t(runs) * count > MAX_DATA_RUNS) return ERR_ILLEGAL_SIZE;
    for (int32_t copy = 1; copy < count; ++copy) {
        std::memcpy(s.data_runs + copy * runs, s.data_runs, sizeof(DataRun) * size_t(runs));
    }
    s.data_run_count = uint8_t(runs * count);
    return 0;
}

// TIMES count statement: the statement (an instruction or data) count
// times, 0 to 65535. Its bytes become data runs, listed as DUP's are. `$`
// is the statement's address in every copy; a jump's distance is measured
// from each copy's own, which is assembled again at that address.
int assemble_copies(Statement& s, const char* p, Expression count, StatementAssembler assemble) {
    KeptLabel label;
    std::memcpy(label.name, s.label_field, size_t(s.label_length) + 1);
    label.length = s.label_length;
    label.colon = s.label_colon;
    if (!rebuild_line(s, p)) return ERR_LINE_TOO_LONG;
    s.location_used = false;
    begin_copy(s, label);
    const Mnemonic* mnemonic = s.mnemonic;
    if (!mnemonic || mnemonic->handler == directive_times) return ERR_INVALID_OPCODE;
    bool directive = false;
    int result = assemble(s, mnemonic, directive);
    bool data = result == STMT_DB || result == STMT_DW || result == STMT_DD || result == STMT_DQ;
    if (result < 0) return result;
    if (directive && !data) return ERR_INVALID_OPERAND;
    if (!s.location_used) {
        if (data && s.data_len == 0 && s.data_run_count == 0) return result;  // nothing to repeat
        if (!data) {
            s.data_len = uint16_t(instruction_image(s, s.data_buf));
            s.code_len = 0;
        }
        if (s.data_run_count == 0) {
            s.data_runs[0] = DataRun{0, s.data_len, 1, false};
            s.data_run_count = 1;
        }
        if (int error = repeat_runs(s, count.value)) return error;
        return data ? result : STMT_TIMES;
    }
    // Each copy at its own address, all of them in the statement's data.
    Pass& pass = s.pass;
    int32_t start = pass.location_counter;
    uint8_t bytes[DATA_CAPACITY];
    int total = 0;
    int first_error = s.deferred_error;
    for (int32_t copy = 0; copy < count.value; ++copy) {
        if (copy > 0) {
            begin_copy(s, label);
            result = assemble(s, mnemonic, directive);
            if (result < 0) break;
            if (!first_error) first_error = s.deferred_error;
        }
        // A copy of data with DUP has no place here; an instruction takes ten bytes at most.
        if ((data && s.data_run_count) || total + (data ? s.data_len : 10) > DATA_CAPACITY) {
            result = ERR_ILLEGAL_SIZE;
            break;
        }
        int length = s.data_len;
        if (data) {
            std::memcpy(bytes + total, s.data_buf, s.data_len);
        } else {
            length = instruction_image(s, bytes + total);
        }
        total += length;
        pass.location_counter = int32_t(uint32_t(start) + uint32_t(total));
        s.copy_offset = total;
    }
    pass.location_counter = start;
    s.copy_offset = 0;
    if (result < 0) return result;
    std::memcpy(s.data_buf, bytes, size_t(total));
    s.data_len = uint16_t(total);
    s.code_len = 0;
    s.code_prefix = 0;
    s.dst.seg_override = s.src.seg_override = 0;
    // Listed as DUP's are; no copies leave no run.
    s.data_runs[0] = DataRun{0, uint16_t(total), 1, false};
    s.data_run_count = total > 0;
    s.deferred_error = first_error;
    return data ? result : STMT_TIMES;
}

// The value at the start of the operands (a count, a field), which must be
// known when the line is read: 0, or why not.
int read_known_value(Statement& s, const char*& p, Expression& value) {
    if (!*p) return ERR_MISSING_OPERAND;
    if (int error = parse_expression(s, &p, value)) return error;
    if (value.unresolved) return s.pass.pass_index > 0 ? ERR_SYMBOL_NOT_DEFINED : ERR_INVALID_NUMBER;
    return 0;
}

// TIMES count statement.
int assemble_counted(Statement& s, StatementAssembler assemble) {
    const char* p = s.operand_text;
    Expression count;
    if (int error = read_known_value(s, p, count)) return error;
    guess_negative_count(s, count.value);
    if (count.value < 0 || count.value > MAX_TIMES_COUNT) return ERR_INVALID_NUMBER;
    if (*p == ' ') ++p;
    if (!*p) return ERR_MISSING_OPERAND;
    return assemble_copies(s, p, count, assemble);
}

// AT field,statement in an ISTRUC: the statement's bytes after the zeros
// that reach the field's offset in the instance.
int assemble_field(Statement& s, StatementAssembler assemble) {
    const char* p = s.operand_text;
    Expression field;
    if (int error = read_known_value(s, p, field)) return error;
    int32_t padding = field_padding(s, field.value);
    if (padding < 0) return s.pass.instance.empty() ? ERR_SYNTAX : ERR_ORG_ASCENDED;
    if (!*p) {
        s.dst.value = padding;
        return STMT_RESERVE;
    }
    if (*p != ',') return ERR_SYNTAX;
    if (*++p == ' ') ++p;
    if (!*p) return ERR_MISSING_OPERAND;
    Pass& pass = s.pass;
    pass.location_counter += padding;
    Expression once{};
    once.value = 1;
    int result = assemble_copies(s, p, once, assemble);
    pass.location_counter -= padding;
    if (result < 0 || padding == 0) return result;
    if (s.data_run_count == 0) {
        s.data_runs[0] = DataRun{0, s.data_len, 1, false};
        s.data_run_count = 1;
    }
    if (s.data_run_count >= MAX_DATA_RUNS || s.data_len >= DATA_CAPACITY) return ERR_ILLEGAL_SIZE;
    // The zeros before the field, from a zero byte after the statement's own.
    std::memmove(s.data_runs + 1, s.data_runs, sizeof(DataRun) * s.data_run_count);
    s.data_buf[s.data_len] = 0;
    s.data_runs[0] = DataRun{s.data_len, 1, uint16_t(padding), false};
    ++s.data_run_count;
    return result;
}

}  // namespace

void guess_negative_count(Statement& s, int32_t& count) {
    if (count < 0 && s.pass.pass_index == 0 && s.pass.guessed_before && s.assembly.conventions.shortest) {
        s.first_pass_guess = true;
        count = 0;
    }
}

int assemble_times(Statement& s, StatementAssembler assemble) {
    // The line as written stays for the messages: the copies are split from another.
    char line[LINE_CAPACITY];
    int line_length = s.statement_text_length;
    std::memcpy(line, s.line_buffer, size_t(line_length));
    bool field = s.mnemonic && s.mnemonic->opcode == INSTANCE_FIELD;
    int result = field ? assemble_field(s, assemble) : assemble_counted(s, assemble);
    std::memcpy(s.line_buffer, line, size_t(line_length));
    s.line_buffer[line_length] = 0;
    s.statement_text_length = line_length;
    return result;
}


}  // namespace vexa
