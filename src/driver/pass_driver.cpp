// The passes over the source and what happens to each statement.
//
// The first pass computes every statement's address and defines every name;
// it records how a later pass may replay each statement. Every later pass
// assembles again what it must, checks each name's value against the pass
// before, and writes the image and the listing, until a label or EQU takes
// another value: then that pass writes nothing more, and the next one runs
// with the values it learned. A pass in which no value changes is the last.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/assembly.h"
#include "driver/driver.h"
#include "driver/explain.h"
#include "encode/encode.h"
#include "output/output.h"
#include "parse/parse.h"
#include "symbols/symbols.h"

namespace vexa {

namespace {

// Passes at most; in the last, a value that still changes stops the
// assembly with the phase error.
constexpr int MAX_PASSES = 100;
// After this many passes a statement's length never shrinks (a form once
// needed is kept), so that the passes end; the pass before records lengths.
// The shortest forms shrink longer, as NASM's passes do, to NASM's image.
constexpr int PASSES_BEFORE_LONG_FORMS = 4;
constexpr int SHORTEST_PASSES_BEFORE_LONG_FORMS = 12;

int passes_before_long_forms(const Assembly& assembly) {
    return assembly.conventions.shortest ? SHORTEST_PASSES_BEFORE_LONG_FORMS : PASSES_BEFORE_LONG_FORMS;
}
// Only the second pass replays the first pass's record: its names hold the
// first pass's values, which the recorded statements were assembled with,
// and a line replayed where the first pass stood keeps its label's value.
constexpr int REPLAYING_PASS = 1;
constexpr int SHORT_JUMP_LENGTH = 2;

// How a pass's statement loop ended.
enum class LoopEnd { SOURCE_END, END_DIRECTIVE, STOPPED };

void stop(Assembly& assembly, const std::string& message) {
    assembly.diagnostics.fatal(message);
    assembly.stopped = true;
}

std::string with_error_number(const char* format, const std::string& name, int error_number) {
    char text[600];
    std::snprintf(text, sizeof text, format, name.c_str(), error_number);
    return text;
}

void report_write_error(Assembly& assembly) {
    char text[64];
    std::snprintf(text, sizeof text, "Object file write error. (%d)", assembly.image.error_number());
    stop(assembly, text);
}

void report(Statement& s, int code) { s.assembly.diagnostics.report(s, code); }

// The image's last bytes: a NASM program's sections, MASM's segments as an
// .EXE or (the tiny model) a .COM from 100H.
bool finish_image(Assembly& assembly) {
    if (assembly.segments.empty()) return assembly.image.finish(assembly.pass.image_origin, image_end(assembly));
    if (assembly.exe) {
        if (!assembly.entry.given) {
            stop(assembly, "The .EXE has no entry point: END names the label it starts at.");
            return true;
        }
        if (write_exe_image(assembly)) return true;
        if (assembly.object_sink.error_number == 0) {
            stop(assembly, assembly.relocations.size() > 0xFFFF ? "The .EXE has more relocations than its header counts (65535)."
                                                                : "The .EXE does not fit in the 8086's 640 KiB.");
            return true;
        }
        return false;
    }
    if (assembly.image.kept_start() < size_t(COM_ORIGIN)) {
        stop(assembly, "A .COM's bytes begin at 100H: the PSP takes the place of those before it.");
        return true;
    }
    return assembly.image.finish(COM_ORIGIN, int64_t(assembly.image.kept_end()));
}

// Writes what the outputs hold back and closes them. The object file's last
// bytes reach the disk only now, so a failure here is a write error like any
// other.
void close_outputs(Assembly& assembly) {
    if (!assembly.outputs_opened) return;
    assembly.outputs_opened = false;
    if (!assembly.segments.empty() && assembly.listing.requested() && !assembly.stopped) {
        assembly.listing.list_text("\n" + segment_table(assembly));
    }
    assembly.listing.flush();
    if (assembly.listing.requested()) assembly.listing.close();
    bool written = finish_image(assembly);
    if ((!written || !assembly.object_sink.close()) && !assembly.stopped) report_write_error(assembly);
}

// The first pass that writes opens the outputs; a later one starts them over.
bool open_outputs(Assembly& assembly) {
    // A NASM program's image is laid out as NASM lays it out: its sections'
    // bytes at their addresses, reserved room written as zeros.
    if (!assembly.segments.empty()) {
        assembly.image.lay_out(true, size_t(LARGEST_PROGRAM));  // MASM's segments, in an .EXE or a .COM
    } else {
        assembly.image.lay_out(!assembly.sections.empty() || assembly.dialect == DIALECT_NASM);
    }
    assembly.image.restart();
    assembly.relocations.clear();
    if (assembly.outputs_opened) {
        assembly.object_sink.restart();
        assembly.listing.restart();
        return true;
    }
    Sink& object = assembly.object_sink;
    if (assembly.exe && !assembly.options.exe_object.empty()) object.name = assembly.options.exe_object;
    if (!object.open()) {
        stop(assembly, with_error_number("Can't open object file \"%s\". (%d)", object.name, object.error_number));
        return false;
    }
    assembly.outputs_opened = true;
    if (!assembly.listing.open()) {
        Sink& listing = *assembly.listing.sink();
        close_outputs(assembly);
        stop(assembly, with_error_number("Can't open listing file \"%s\". (%d)", listing.name, listing.error_number));
        return false;
    }
    return true;
}

// A value differs from the pass before: this pass is not the last. It writes
// and tells nothing more; the next pass runs with what it learned.
void value_changed(Assembly& assembly) {
    Pass& pass = assembly.pass;
    if (pass.values_changed) return;
    pass.values_changed = true;
    pass.writes = false;
    assembly.diagnostics.drop_pass();
}

// The kind of a name given a type by LABEL.
uint8_t label_type_kind(uint8_t size) {
    switch (size) {
        case SIZE_BYTE: return SYMBOL_LABEL_BYTE | SYMBOL_TYPED;
        case SIZE_WORD: return SYMBOL_LABEL_WORD | SYMBOL_TYPED;
        case SIZE_DWORD: return SYMBOL_LABEL_DWORD | SYMBOL_TYPED;
        case SIZE_FAR: return SYMBOL_LABEL_FAR;
        default: return SYMBOL_LABEL;
    }
}

// What the statement's label names, by what the statement answered. A data
// name written without a colon is a variable of its items' type.
uint8_t label_kind(const Statement& s, int result) {
    bool runs = s.data_run_count != 0;
    // Under MASM's conventions a data name is a variable with a colon too.
    uint8_t typed = s.label_colon && !s.assembly.conventions.masm ? 0 : SYMBOL_TYPED;
    switch (result) {
        case STMT_EQU: return SYMBOL_EQU;
        case STMT_DS: return SYMBOL_DS;
        case STMT_DB: return uint8_t(SYMBOL_DB | typed | (s.data_len == 1 && !runs ? SYMBOL_ONE_VALUE : 0));
        case STMT_DW: return uint8_t(SYMBOL_DW | typed | (s.data_len == 2 && !runs ? SYMBOL_ONE_VALUE : 0));
        case STMT_DD: return uint8_t(SYMBOL_DD | typed);
        case STMT_DQ: return uint8_t(SYMBOL_DQ | typed);
        case STMT_LABEL: return label_type_kind(s.dst.size);
        default:
            if (!s.mnemonic || s.mnemonic->handler != directive_proc) return SYMBOL_LABEL;
            return s.pass.procedures.count > 0 && s.pass.procedures.far[s.pass.procedures.count - 1] ? SYMBOL_FAR_PROC
                                                                                                   : SYMBOL_PROC;
    }
}

// A typed variable's shape, for TYPE, LENGTH, SIZE, LENGTHOF and SIZEOF.
void note_variable(Statement& s, int position) {
    uint8_t kind = s.assembly.symbols.kind_at(position);
    int type = variable_type(kind);
    if (type == 0) return;
    bool labelled = symbol_kind(kind) >= SYMBOL_LABEL_BYTE;
    s.assembly.variables[position] = labelled ? VariableShape{uint32_t(type), 1}
                                              : VariableShape{uint32_t(data_image_length(s)), s.leading_dup};
    if (s.index == s.assembly.instance_statement) [[unlikely]] {
        s.assembly.variables[position].structure = s.assembly.instance_bytes;
    }
}

// A name in an ABSOLUTE space or a STRUC is a number; a field of MASM's
// STRUC keeps its type.
uint8_t number_kind(const Pass& pass, uint8_t kind) {
    if (!pass.masm_structure || !(kind & SYMBOL_TYPED)) return SYMBOL_EQU;
    switch (variable_type(kind)) {
        case 1: return SYMBOL_FIELD_BYTE | SYMBOL_TYPED;
        case 2: return SYMBOL_FIELD_WORD | SYMBOL_TYPED;
        case 4: return SYMBOL_FIELD_DWORD | SYMBOL_TYPED;
        default: return SYMBOL_EQU;
    }
}

// Defines the line's label with `value` in the first pass (a value from a
// guess may change in a later pass), checks it in a later one. Answers
// false when the assembly must stop.
bool label_step(Statement& s, int32_t value, uint8_t kind, bool guessed = false) {
    Assembly& assembly = s.assembly;
    SymbolTable& symbols = assembly.symbols;
    Pass& pass = s.pass;
    // A name in an ABSOLUTE space or a STRUC is a number, not an address in the image.
    if (pass.section == NO_SECTION && symbol_kind(kind) != SYMBOL_ASSIGNED) kind = number_kind(pass, kind);
    if (pass.pass_index == 0) {
        int added = symbols.add(s.label_field, s.label_length, value, guessed, kind);
        if (added == SYMTAB_PRESENT) {
            report(s, ERR_MULTI_DEFINED);
            assembly.duplicate_labels.push_back(s.index);
        }
        if (added == SYMTAB_NO_MEMORY) {
            stop(assembly, "Not enough memory for Symbol table.");
            return false;
        }
        if (added == SYMTAB_ADDED && assembly.options.symbol_map) {
            assembly.definitions.push_back(Assembly::Place{symbols.last_added(), s.file, s.line_number});
        }
        if (added == SYMTAB_ADDED) note_variable(s, symbols.last_added());
        if (added == SYMTAB_ADDED && pass.segment != NO_SECTION) {
            assembly.symbol_segments[symbols.last_added()] = int16_t(pass.segment);
        }
        return true;
    }
    const std::vector<uint32_t>& duplicates = assembly.duplicate_labels;
    if (std::binary_search(duplicates.begin(), duplicates.end(), s.index)) return true;
    int position = symbols.find(s.label_field, s.label_length, nullptr);
    if (position < 0) {
        stop(assembly, "System error : Symbol table corrupted.");
        return false;
    }
    uint8_t this_pass = uint8_t(pass.pass_index + 1);
    bool defined_again = symbols.defined_in(position) == this_pass;  // a name defined twice
    if (guessed) pass.equ_unsettled = true;
    if (symbols.is_unsettled(position) != guessed) {
        if (!guessed) pass.equ_settled = true;
        symbols.set_unsettled(position, guessed);
    }
    note_variable(s, position);
    if (pass.segment != NO_SECTION) [[unlikely]] assembly.symbol_segments[position] = int16_t(pass.segment);
    // An EQU found to be an address, or a number, after all: the statements
    // before it chose their forms by what it was.
    if (symbol_kind(kind) == SYMBOL_EQU && ((symbols.kind_at(position) ^ kind) & SYMBOL_ADDRESS)) {
        symbols.set_kind(position, uint8_t(symbols.kind_at(position) ^ SYMBOL_ADDRESS));
        value_changed(assembly);
    }
    if (symbols.value_at(position) == value) {
        symbols.set_defined_in(position, this_pass);
        return true;
    }
    if (defined_again || pass.last_allowed) {
        std::string name(s.label_field, size_t(s.label_length));
        assembly.diagnostics.fatal_at(s, "Phase error : Symbol value is different between passes.",
                                      phase_note(name, symbols.value_at(position), value, pass.pass_index + 1));
        assembly.stopped = true;
        return false;
    }
    symbols.set_value(position, value);
    symbols.set_defined_in(position, this_pass);
    value_changed(assembly);
    return true;
}

}  // namespace

bool define_label(Statement& s, int32_t value, uint8_t kind) { return label_step(s, value, kind); }

namespace {

// NAME = value: the name takes the value from here on, in every pass. A
// name defined otherwise cannot be assigned.
bool assign_step(Statement& s, int32_t value) {
    Assembly& assembly = s.assembly;
    SymbolTable& symbols = assembly.symbols;
    int position = symbols.find(s.label_field, s.label_length, nullptr);
    if (position < 0) {
        if (symbols.add(s.label_field, s.label_length, value, false, SYMBOL_ASSIGNED) == SYMTAB_NO_MEMORY) {
            stop(assembly, "Not enough memory for Symbol table.");
            return false;
        }
        position = symbols.last_added();
        assembly.assigned.emplace_back(position, value);
        if (assembly.options.symbol_map) assembly.definitions.push_back(Assembly::Place{position, s.file, s.line_number});
    } else if (symbol_kind(symbols.kind_at(position)) != SYMBOL_ASSIGNED) {
        report(s, ERR_MULTI_DEFINED);
        return true;
    }
    symbols.set_value(position, value);
    symbols.set_defined_in(position, uint8_t(s.pass.pass_index + 1));
    return true;
}

// A name of `=` read before its first assignment read the value the pass
// before ended with: when that has changed, the pass was not the last.
bool assigned_values_changed(const Assembly& assembly) {
    for (const auto& [position, start] : assembly.assigned) {
        if (assembly.symbols.value_at(position) != start) return true;
    }
    return false;
}

// Before the statement's operands are read: an anonymous label is counted
// (@@: JMP @B jumps to itself), and an ordinary label becomes the owner of
// the local labels after it (FOO: JMP .X goes to FOO.X). EQU, `=` and ENDP
// name no label here.
void prepare_label(Statement& s) {
    Pass& pass = s.pass;
    if (is_local_label(s.label_field)) {
        s.assembly.local_labels = true;
        if (s.label_length == 2 && s.label_field[1] == '@') ++pass.anonymous_labels;
        return;
    }
    MnemonicHandler handler = s.mnemonic ? s.mnemonic->handler : nullptr;
    if (handler == directive_equ || handler == directive_assign || handler == directive_endp) return;
    // A name a macro made for its expansion (LOCAL, %%name) owns no local label.
    if (s.label_field[0] == '?' && s.label_field[1] == '?') return;
    // Once the first pass has met no local label, no later pass needs an owner.
    if (pass.pass_index > 0 && !s.assembly.local_labels) return;
    // A name too long for a symbol owns no local label.
    pass.owner_length = s.label_length <= SYMBOL_NAME_LIMIT ? s.label_length : 0;
    std::memcpy(pass.label_owner, s.label_field, size_t(pass.owner_length));
}

// A local or anonymous label under its full name; false (reported) when it
// has none: a local label before any ordinary one.
bool expand_label(Statement& s) {
    if (!is_local_label(s.label_field)) return true;
    char full[SYMBOL_NAME_LIMIT + 1];
    int length = full_label_name(s, s.label_field, s.label_length, full);
    if (length == 0) {
        report(s, ERR_SYMBOL_NOT_DEFINED);
        return false;
    }
    std::memcpy(s.label_field, full, size_t(length));
    s.label_field[length] = 0;
    s.label_length = length;
    return true;
}

// Outcome of acting on a handler's answer.
enum class Action { DONE, STOP, WRITE_FAILED };

Action emitted(int emit_result) { return emit_result < 0 ? Action::WRITE_FAILED : Action::DONE; }

Action act_on_org(Statement& s, int32_t target) {
    Assembly& assembly = s.assembly;
    Pass& pass = s.pass;
    if (target < pass.location_counter) {
        report(s, ERR_ORG_ASCENDED);
        return Action::DONE;
    }
    s.statement_address = target;
    if (pass.location_counter == 0) {
        pass.location_counter = target;  // the image's origin: nothing is written
        pass.image_origin = target;
        if (pass.section == 0) pass.section_start = target;
        return Action::DONE;
    }
    if (target == pass.location_counter) {
        report(s, ERR_INVALID_NUMBER);
        return Action::DONE;
    }
    return emitted(emit_gap(assembly, int64_t(target) - pass.location_counter));
}

// Under NASM's conventions an EQU of an address is an address.
uint8_t equ_kind(const Statement& s) {
    return uint8_t(SYMBOL_EQU | (s.assembly.conventions.nasm && is_address_value(s.dst) ? SYMBOL_ADDRESS : 0));
}

// Bytes where nothing is written (an ABSOLUTE space, a STRUC, .bss): their
// room is reserved; zeros are all data may hold there.
uint8_t instruction_length(const Statement& s);

[[gnu::noinline]] Action reserve_instead(Statement& s, int result) {
    if (s.pass.masm_structure) {
        // A structure's field: its offset counts on, nothing reaches the image.
        keep_field(s, result);
        advance_location(s.pass, result == 0 ? instruction_length(s) : data_image_length(s));
        return Action::DONE;
    }
    bool code = result == 0;
    int64_t length = code ? instruction_length(s) : result == STMT_INCBIN ? s.dst.value : data_image_length(s);
    bool zeros = !code && result != STMT_INCBIN;
    for (int i = 0; zeros && i < s.data_len; ++i) zeros = s.data_buf[i] == 0;
    if (!zeros) report(s, ERR_OUTSIDE_IMAGE);
    return emitted(emit_gap(s.assembly, length));
}

// RESB and its kin, INCBIN.
[[gnu::noinline]] Action act_on_reservation(Statement& s, int result) {
    if (result == STMT_RESERVE) return emitted(emit_gap(s.assembly, s.dst.value));
    if (s.pass.writes_nothing) return reserve_instead(s, result);
    return emitted(emit_included_bytes(s.assembly, s));
}

// MASM's words that define or use the name before them themselves (NAME
// SEGMENT, NAME ENDS, NAME GROUP, NAME STRUC): refused, they define no label.
bool names_label_itself(const Statement& s) {
    const Mnemonic* mnemonic = s.mnemonic;
    if (!mnemonic || s.label_colon) return false;
    return mnemonic->handler == directive_masm_structure ||
           ((mnemonic->handler == directive_section || mnemonic->handler == directive_struc) && s.label_length > 0 &&
            (mnemonic->opcode == SEGMENT_WORD || mnemonic->opcode == STRUCTURE_BEGIN));
}

// The statement's segment values become relocations of the .EXE.
[[gnu::noinline]] void relocate(Statement& s) {
    uint8_t segment = s.dst.seg_override ? s.dst.seg_override : s.src.seg_override;
    int prefixes = (s.code_prefix != 0) + (segment != 0);
    if (int error = note_relocations(s, prefixes)) {
        // The operand holding the segment's value, for the message's column.
        s.refused_operand = int8_t(s.operand_count == 2 && (s.src.value_marks & VALUE_SEGMENT) ? 1 : 0);
        report(s, error);
    }
}

[[gnu::always_inline]] inline Action act_on_result(Statement& s, int result, int fields) {
    Assembly& assembly = s.assembly;
    switch (result) {
        case 0:
            if (s.deferred_error) report(s, s.deferred_error);
            if (s.pass.writes_nothing) [[unlikely]] return reserve_instead(s, result);
            if (s.code_fixup != NO_FRAME) [[unlikely]] relocate(s);
            return emitted(emit_code(assembly, s));
        case STMT_DB:
        case STMT_DW:
        case STMT_DD:
        case STMT_DQ:
        case STMT_TIMES:
        case STMT_ALIGN:
            if (s.deferred_error) report(s, s.deferred_error);
            if (s.pass.writes_nothing) [[unlikely]] return reserve_instead(s, result);
            if (s.data_fixup_count | (s.code_fixup != NO_FRAME)) [[unlikely]] relocate(s);
            return emitted(emit_data_image(assembly, s));
        case STMT_RESERVE:
        case STMT_INCBIN:
            return act_on_reservation(s, result);
        case STMT_ASSIGN:
            if (!(fields & FIELD_LABEL)) {
                report(s, ERR_SYNTAX);
                return Action::DONE;
            }
            return assign_step(s, s.dst.value) ? Action::DONE : Action::STOP;
        case STMT_LABEL:
            return Action::DONE;
        case STMT_NO_EFFECT:
        case STMT_NAMED:
            return assembly.stopped ? Action::STOP : Action::DONE;  // a name it defined stopped it
        case STMT_DS:
            if (s.dst.value > 0) return emitted(emit_gap(assembly, s.dst.value));
            report(s, ERR_INVALID_NUMBER);
            return Action::DONE;
        case STMT_EQU:
            if (!(fields & FIELD_LABEL)) {
                report(s, ERR_SYMBOL_NOT_DEFINED);
                return Action::DONE;
            }
            // In a later pass, a value from names still unsettled: if this
            // pass is the last, they never settle.
            if (s.pass.pass_index > 0 && s.first_pass_guess) report(s, ERR_SYMBOL_NOT_DEFINED);
            return label_step(s, s.dst.value, equ_kind(s), s.first_pass_guess) ? Action::DONE : Action::STOP;
        case STMT_ORG:
            return act_on_org(s, s.dst.value);
        case STMT_END:
        case STMT_ENDP:
            if (s.deferred_error) report(s, s.deferred_error);
            return Action::DONE;
        case STMT_INCLUDE:
            return Action::DONE;
        default:
            report(s, result);
            return Action::DONE;
    }
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
// else the first pass had to guess: a later pass can encode it from the
// name's value.
bool resolves_by_target(const Statement& s, Replay replay) {
    return replay == REPLAY_CODE && s.relative_target.width && s.unresolved_name_hint && s.operand_count == 1 &&
           !s.short_target_named && !s.prefix_field[0] && !s.code_prefix && is_plain_name(s.operand_text);
}

// What a prefix makes of the answer of the statement it stands before: a
// directive, or an instruction it does not go with, is an invalid operand.
// END and ENDP still end what they end.
int answer_with_prefix(Statement& s, int result, bool directive, const Mnemonic& prefix,
                       const Mnemonic& instruction) {
    if (result < 0) return result;
    if (result == STMT_END || result == STMT_ENDP) {
        if (!s.deferred_error) s.deferred_error = ERR_INVALID_OPERAND;
        return result;
    }
    if (directive) return ERR_INVALID_OPERAND;
    return check_line_prefix(prefix, instruction);
}

// A prefix on the instruction's line joins the instruction's bytes.
int add_line_prefix(Statement& s, int result, bool directive, const Mnemonic& instruction) {
    const Mnemonic& prefix = *find_mnemonic(s.prefix_field);
    result = answer_with_prefix(s, result, directive, prefix, instruction);
    if (result == 0) s.code_prefix = prefix.opcode;
    return result;
}

void forget_waiting_prefixes(Pass& pass) {
    pass.waiting_repeat = nullptr;
    pass.waiting_lock = nullptr;
    pass.prefixes_wait = false;
}

// For a statement that is a prefix alone on its line (REP, then MOVSB on
// the next), or follows one: the prefix waits for the statement it goes
// with, which answers for it as for a prefix on its line; labels, blank
// lines and SEG may stand between. Both are assembled again in the later
// passes, where the prefix waits again. `mnemonic` is null for a statement
// without a known one.
int answer_waiting_prefixes(Statement& s, int result, bool directive, const Mnemonic* mnemonic) {
    Pass& pass = s.pass;
    s.first_pass_guess = true;
    if (mnemonic && result == 0 && mnemonic->handler == prefix_statement) {
        (is_lock_prefix(*mnemonic) ? pass.waiting_lock : pass.waiting_repeat) = mnemonic;
        pass.prefixes_wait = true;
        return result;
    }
    if (mnemonic && mnemonic->handler == seg_prefix) return result;
    for (const Mnemonic* prefix : {pass.waiting_lock, pass.waiting_repeat}) {
        if (prefix && mnemonic) result = answer_with_prefix(s, result, directive, *prefix, *mnemonic);
    }
    forget_waiting_prefixes(pass);
    return result;
}

// A segment register written as a word before an instruction is the
// override of its memory operand, or a prefix before it (CS XLAT).
int add_segment_word(Statement& s, int result, bool directive) {
    if (result < 0) return result;
    if (directive) return ERR_INVALID_OPERAND;
    // A jump or call measures its target from its own first byte, which the
    // prefix would move; one through memory takes the override.
    const Mnemonic* mnemonic = s.mnemonic;
    bool transfer = mnemonic && (takes_short_target(*mnemonic) || takes_far_target(*mnemonic));
    if (transfer && s.dst.kind != KIND_MEMORY) return ERR_INVALID_OPERAND;
    bool source = s.operand_count == 2 && s.src.kind == KIND_MEMORY;
    Operand& memory = source ? s.src : s.dst;
    if (s.operand_count > 0 && memory.kind == KIND_MEMORY && memory.seg_override) {
        return memory.seg_override == s.prefix_segment ? result : ERR_SYNTAX;  // two overrides
    }
    (s.operand_count > 0 && memory.kind == KIND_MEMORY ? memory : s.dst).seg_override = s.prefix_segment;
    return result;
}

// A segment:offset pair is only the one target of a far jump or call.
bool pair_is_target(const Statement& s, const Mnemonic& mnemonic) {
    return takes_far_target(mnemonic) && s.operand_count == 1 && s.dst.kind == KIND_IMMEDIATE &&
           s.dst.size == SIZE_DWORD;
}

// Dispatches the mnemonic, parsing the operands only when the handler asks,
// then dispatches it again. The mnemonic is looked up once for both calls,
// and the first call is spared when its answer is known to be that request.
int assemble_repeated_statement(Statement& s, const Mnemonic* mnemonic, bool& directive);

// Inlined where every statement is assembled; TIMES reaches it through
// assemble_repeated_statement.
[[gnu::always_inline]] inline int assemble_statement(Statement& s, const Mnemonic* mnemonic, bool& directive) {
    if (!mnemonic) return s.zero_byte_in_statement ? ERR_INVALID_CHARACTER : ERR_INVALID_OPCODE;
    directive = is_directive(*mnemonic);
    if (mnemonic->handler == directive_times) return assemble_times(s, assemble_repeated_statement);
    int result = reads_operands_first(*mnemonic) ? ERR_MISSING_OPERAND : mnemonic->handler(*mnemonic, s);
    if (result == ERR_MISSING_OPERAND) {
        s.deferred_error = parse_operands(s);
        // SHORT belongs to the jumps, before a target they can take.
        if (s.short_target_named) {
            if (!takes_short_target(*mnemonic)) return ERR_INVALID_OPERAND;
            if (s.deferred_error && s.deferred_error != ERR_SYMBOL_NOT_DEFINED) return s.deferred_error;
        }
        if (s.segment_pair_named && !pair_is_target(s, *mnemonic)) return ERR_INVALID_OPERAND;
        // What an operand names refused it under MASM's conventions: that is the statement's error.
        if (s.deferred_error && s.refused_operand >= 0) [[unlikely]] return s.deferred_error;
        result = mnemonic->handler(*mnemonic, s);
    }
    if (s.prefix_segment) result = add_segment_word(s, result, directive);
    return s.prefix_field[0] ? add_line_prefix(s, result, directive, *mnemonic) : result;
}

// The statement a TIMES line repeats.
[[gnu::noinline]] int assemble_repeated_statement(Statement& s, const Mnemonic* mnemonic, bool& directive) {
    return assemble_statement(s, mnemonic, directive);
}

// The bytes an instruction takes, its prefixes included.
uint8_t instruction_length(const Statement& s) {
    uint8_t segment = s.dst.seg_override ? s.dst.seg_override : s.src.seg_override;
    return uint8_t(s.code_len + (s.code_prefix != 0) + (segment != 0));
}

// Once lengths must not shrink, an instruction shorter than in the pass
// before is assembled again with its long forms. Its line is split again:
// the first try changed the operand text.
int keep_length(Statement& s, const LineMarks& marks, const Mnemonic* mnemonic, int result, bool& directive) {
    Assembly& assembly = s.assembly;
    if (result != 0 || directive || s.index >= assembly.previous_lengths.size() ||
        instruction_length(s) >= assembly.previous_lengths[s.index]) {
        return result;
    }
    uint32_t index = s.index;
    s.begin(index);
    split_line(s, marks);
    s.long_forms = true;
    return assemble_statement(s, mnemonic, directive);
}

// What became of one line: whether the pass goes on, and how a later pass
// may replay the line.
struct LineOutcome {
    bool goes_on;
    LoopEnd end;  // when it does not
    Replay replay;
};

constexpr LineOutcome next_line(Replay replay) { return {true, LoopEnd::SOURCE_END, replay}; }
constexpr LineOutcome stop_after_line(LoopEnd end) { return {false, end, REPLAY_NONE}; }

// Only an instruction, or data without DUP, is replayed: the other
// directives act on the assembly, not only on the image.
Replay replay_of(const Statement& s, int result, bool directive) {
    if (s.deferred_error) return REPLAY_NONE;
    if (result == 0 && !directive) return REPLAY_CODE;
    bool data = result == STMT_DB || result == STMT_DW || result == STMT_DD || result == STMT_DQ;
    bool plain_data = data && s.data_run_count == 0;
    return plain_data ? REPLAY_DATA : REPLAY_NONE;
}

void list(Statement& s) {
    Assembly& assembly = s.assembly;
    if (s.pass.writes && assembly.listing.requested() && (!s.expansion_depth || assembly.options.list_expansions)) {
        assembly.listing.list_statement(s);
    }
}

// The lengths of this pass, once the next must not let them shrink.
void note_length(Statement& s, int result, bool directive) {
    std::vector<uint8_t>& lengths = s.assembly.current_lengths;
    if (s.index < lengths.size()) lengths[s.index] = result == 0 && !directive ? instruction_length(s) : 0;
}

// Once lengths must not shrink, an instruction in error keeps the bytes it
// took in the pass before (as a gap), so that its error cannot move the
// labels after it back and forth.
Action keep_place(Statement& s) {
    Assembly& assembly = s.assembly;
    if (s.index >= assembly.previous_lengths.size() || assembly.previous_lengths[s.index] == 0) return Action::DONE;
    uint8_t length = assembly.previous_lengths[s.index];
    assembly.current_lengths[s.index] = length;
    return emitted(emit_gap(assembly, length));
}

// NASM's directives in brackets ([BITS 16], [ORG 100H], [SECTION .TEXT]):
// the line split again without them. Any other line keeps its fields.
[[gnu::noinline]] int split_bracketed_directive(Statement& s, int fields) {
    if (!unbracket_directive(s)) return fields;
    fields = split_line(s);  // from the line as changed, not from the source
    if (s.mnemonic && s.mnemonic->handler == directive_org) note_structure(s, DIALECT_NASM);
    return fields;
}

// A line of the macro family (MACRO, %define, a call...): handled by the
// macro engine, and listed.
[[gnu::noinline]] bool take_macro_line(Statement& s, int& fields, LineOutcome& outcome) {
    MacroEngine::Taken taken = s.assembly.macros.take_line(s, fields);
    if (taken == MacroEngine::Taken::NOT_MINE) return false;
    // A label before a call or a repetition names the address it begins at.
    bool labelled = taken == MacroEngine::Taken::CALLED ||
                    (s.mnemonic && s.mnemonic->handler == directive_macro && s.mnemonic->opcode != MW_MACRO);
    if (labelled && (fields & FIELD_LABEL) && s.label_colon) {
        prepare_label(s);
        if (expand_label(s) && !label_step(s, s.pass.location_counter, SYMBOL_LABEL)) {
            outcome = stop_after_line(LoopEnd::STOPPED);
            return true;
        }
    }
    list(s);
    outcome = next_line(REPLAY_NONE);
    return true;
}

// A line read with a message of its own, or collected into a definition:
// only listed.
[[gnu::noinline]] LineOutcome take_unsplit_line(Statement& s, int read) {
    if (read == READ_COLLECTED) {
        s.assembly.macros.collect(s);
    } else {
        forget_waiting_prefixes(s.pass);
        report(s, read == READ_TOO_LONG ? ERR_LINE_TOO_LONG : ERR_NESTED_TOO_DEEP);
    }
    list(s);
    return next_line(REPLAY_NONE);
}

[[gnu::always_inline]] inline LineOutcome assemble_line(Statement& s, int read, const LineMarks& marks) {
    Assembly& assembly = s.assembly;
    Pass& pass = s.pass;
    if (read < 0) [[unlikely]] return take_unsplit_line(s, read);
    int fields = split_line(s, marks);
    if (fields == 0) {
        list(s);
        return next_line(REPLAY_NO_BYTES);
    }
    // IF and its kin, and the lines of a branch not assembled, are only listed.
    bool may_be_conditional = pass.conditions.depth > 0 || s.mnemonic_field[0] == '%' ||
                              (s.mnemonic && s.mnemonic->handler == directive_condition) ||
                              ((fields & FIELD_LABEL_ERROR) && s.label_field[0] == '%');
    if (may_be_conditional && take_condition_line(s, fields)) {
        list(s);
        return next_line(REPLAY_NONE);
    }
    // MACRO and its kin, %macro, %define..., and the calls of the macros defined.
    bool may_be_macro = may_be_conditional || assembly.macros.active() ||
                        (s.mnemonic && s.mnemonic->handler == directive_macro);
    LineOutcome taken;
    if (may_be_macro && take_macro_line(s, fields, taken)) return taken;
    if (fields & FIELD_LABEL_ERROR) fields = split_bracketed_directive(s, fields);
    if (fields & FIELD_LABEL_ERROR) {
        // A reserved word or a name no operand could read, as a label: the
        // statement is not assembled.
        forget_waiting_prefixes(pass);
        report(s, s.label_error);
        list(s);
        return next_line(REPLAY_NONE);
    }
    if (fields & FIELD_LABEL) prepare_label(s);
    if (fields == FIELD_LABEL) {
        if (expand_label(s) && !label_step(s, pass.location_counter, SYMBOL_LABEL)) {
            return stop_after_line(LoopEnd::STOPPED);
        }
        list(s);
        return next_line(REPLAY_NO_BYTES);
    }

    int reported_before = assembly.diagnostics.reported();
    bool directive = false;
    const Mnemonic* mnemonic = s.mnemonic;
    int result = 0;
    if (!mnemonic && !assembly.structures.empty()) [[unlikely]] {
        result = masm_structure_instance(s);
        if (result != 0 && s.label_length > 0) fields |= FIELD_LABEL;  // VAR POINT <>: the name before the structure's
    }
    if (result == 0) result = assemble_statement(s, mnemonic, directive);
    if (pass.keeps_long_forms) result = keep_length(s, marks, mnemonic, result, directive);
    if (pass.prefixes_wait || (mnemonic && mnemonic->handler == prefix_statement)) {
        result = answer_waiting_prefixes(s, result, directive, mnemonic);
    }
    note_length(s, result, directive);
    Replay replay = replay_of(s, result, directive);
    // In a later pass the label step can only stop the assembly, and the
    // statement's own error may be the reason (an EQU of a name never
    // defined): that error is reported first.
    if ((fields & FIELD_LABEL) && !expand_label(s)) fields &= ~FIELD_LABEL;
    bool failed_with_label = pass.pass_index > 0 && result < 0 && (fields & FIELD_LABEL);
    if (failed_with_label) report(s, result);
    // The label takes the statement's first address, after its operands were read.
    bool names_no_label = result == STMT_EQU || result == STMT_ENDP || result == STMT_ASSIGN || result == STMT_NAMED ||
                          (result < 0 && names_label_itself(s));
    if ((fields & FIELD_LABEL) && !names_no_label && !label_step(s, pass.location_counter, label_kind(s, result))) {
        return stop_after_line(LoopEnd::STOPPED);
    }
    Action action = failed_with_label ? Action::DONE : act_on_result(s, result, fields);
    if (action == Action::STOP) return stop_after_line(LoopEnd::STOPPED);
    if (result == ERR_DISPLACEMENT_OVERFLOW && assembly.conventions.shortest) {
        // A short jump out of reach keeps its two bytes, as in NASM's
        // passes: its error moves no label after it.
        action = emitted(emit_gap(assembly, SHORT_JUMP_LENGTH));
    } else if (result < 0 && pass.keeps_long_forms && !directive) {
        action = keep_place(s);
    }
    // Guesses an encoder made: told by the passes after the first; the first
    // only keeps such a statement from being replayed.
    if (s.warnings & ~NAMED_VARIABLE) {
        s.warnings = result >= 0 ? checked_warnings(s) : 0;
        if (s.warnings) assembly.diagnostics.warn(s, s.warnings);
    }
    // The first statement that passes the segment's end answers for it,
    // unless it has reported something else.
    if (uint32_t(pass.location_counter) > uint32_t(SEGMENT_END) && passes_segment_end(assembly) &&
        assembly.diagnostics.reported() == reported_before) {
        report(s, ERR_ADDRESS_OVERFLOW);
    }
    if (result == STMT_END && pass.conditions.depth > 0) report(s, ERR_UNTERMINATED);  // an IF never closed
    list(s);
    if (action == Action::WRITE_FAILED) {
        report_write_error(assembly);
        return stop_after_line(LoopEnd::STOPPED);
    }
    if (result == STMT_INCLUDE) {
        const Assembly::IncludedFile& file = assembly.included[s.included_file - 1];
        pass.reader.include(*assembly.texts[size_t(file.text)].text, s.included_file);
    }
    if (result == STMT_END) return stop_after_line(LoopEnd::END_DIRECTIVE);
    return next_line(replay);
}

// A later pass writes and lists a line the first pass recorded, as
// assembling it again would.
LineOutcome replay_line(Statement& s, Replay replay) {
    Assembly& assembly = s.assembly;
    int written = 0;
    if (replay == REPLAY_CODE) written = emit_code(assembly, s);
    if (replay == REPLAY_DATA) written = emit_data_image(assembly, s);
    list(s);
    if (written < 0) {
        report_write_error(assembly);
        return stop_after_line(LoopEnd::STOPPED);
    }
    return next_line(replay);
}

// The line just read or skipped, as the statement's.
void take_line_place(Statement& s, const LineReader& reader) {
    s.file = reader.file();
    s.line_number = reader.line_number();
}

// An included file has ended: a definition or an IF it opened and left
// open ends with it.
[[gnu::noinline]] void close_file_blocks(Assembly& assembly) {
    Pass& pass = assembly.pass;
    int depth = pass.reader.depth();
    bool open = assembly.macros.drop_collection_below(depth);
    OpenConditions& conditions = pass.conditions;
    while (conditions.depth > 0 && conditions.blocks[conditions.depth - 1].file_depth > depth) {
        --conditions.depth;
        open = true;
    }
    if (!open) return;
    split_line(assembly.statement);  // the file's last line, perhaps collected unsplit
    report(assembly.statement, ERR_UNTERMINATED);
}

// A line read once macros are about: a line of a definition being
// collected is READ_COLLECTED; in any other the %defines' names give way to
// their texts (the listing keeps the line as written).
[[gnu::noinline]] int take_read_line(Assembly& assembly, Statement& s, LineMarks& marks, int read) {
    MacroEngine& macros = assembly.macros;
    if (read == READ_TOO_LONG || read == READ_EXPANSION_LIMIT) return read;
    if (macros.collecting()) return READ_COLLECTED;
    if (macros.has_defines()) marks = macros.substitute_defines(s, marks);
    return read;
}

// The next line of the expansions open, or READ_NOT_YET when the file read
// now has it.
[[gnu::noinline]] int read_expanded_line(Assembly& assembly, Statement& s, LineMarks& marks) {
    Pass& pass = assembly.pass;
    MacroEngine& macros = assembly.macros;
    while (macros.expanding(pass.reader.depth())) {
        int read = macros.read(pass, s.line_buffer, LINE_CAPACITY, marks);
        if (read == READ_END) continue;
        int depth = macros.depth();
        s.expansion_depth = uint8_t(depth < 255 ? depth : 255);
        return read;
    }
    return READ_NOT_YET;
}

// The next line: of the expansion open, or of the file read now.
[[gnu::always_inline]] inline int read_next_line(Assembly& assembly, Statement& s, LineMarks& marks) {
    MacroEngine& macros = assembly.macros;
    for (;;) {
        if (macros.active()) [[unlikely]] {
            int read = read_expanded_line(assembly, s, marks);
            if (read != READ_NOT_YET) return read;
        }
        int read = assembly.pass.reader.read(s.line_buffer, LINE_CAPACITY, marks);
        if (read == READ_FILE_END) [[unlikely]] {
            close_file_blocks(assembly);
            continue;
        }
        return read;
    }
}

LoopEnd run_statement_loop(Assembly& assembly) {
    Pass& pass = assembly.pass;
    Statement& s = assembly.statement;
    // A symbol map needs every use of every name: nothing is replayed.
    // Local labels take their owner from the lines before: every line is read.
    // Under other conventions than Vexa's own, lengths may change from pass to pass.
    bool replays = REPLAY_PATHS && pass.pass_index == REPLAYING_PASS && !assembly.options.symbol_map &&
                   !assembly.local_labels && !assembly.conditional && !assembly.conventions.any() &&
                   assembly.sections.empty() && assembly.segments.empty();
    for (;;) {
        // Without a listing, the lines replayed are not even read.
        if (replays && !assembly.listing.requested() && assembly.record.replay_unlisted_lines(assembly) < 0) {
            report_write_error(assembly);
            return LoopEnd::STOPPED;
        }
        s.begin(pass.statement_count);
        size_t line_bytes = 0;
        Replay replay = replays ? assembly.record.replay(s, &line_bytes) : REPLAY_NONE;
        s.statement_address = pass.location_counter;
        if (replay != REPLAY_NONE) {
            // Only listed: the line is not read.
            const uint8_t* line = pass.reader.skip(line_bytes);
            ++pass.statement_count;
            take_line_place(s, pass.reader);
            s.listing_line = reinterpret_cast<const char*>(line);
            s.listing_line_length = int(listed_length(line, line_bytes));
            LineOutcome outcome = replay_line(s, replay);
            if (!outcome.goes_on) return outcome.end;
            continue;
        }
        LineMarks marks;
        int read = read_next_line(assembly, s, marks);
        if (read == READ_END) return LoopEnd::SOURCE_END;
        ++pass.statement_count;
        take_line_place(s, pass.reader);
        const uint8_t* line_start = pass.reader.line_start();
        size_t read_bytes = pass.reader.line_bytes();
        // A line cut short is listed and reported as cut.
        s.listing_line = s.expansion_depth ? assembly.macros.line_text() : reinterpret_cast<const char*>(line_start);
        s.listing_line_length = int(marks.end - s.line_buffer);
        s.statement_text_length = s.listing_line_length;
        // Once macros are about, a line may be collected, or hold %defines.
        if (assembly.macros.active()) [[unlikely]] read = take_read_line(assembly, s, marks, read);

        int reported_before = assembly.diagnostics.reported();
        LineOutcome outcome = assemble_line(s, read, marks);
        if (pass.pass_index == 0 && REPLAY_PATHS) {
            bool reported = assembly.diagnostics.reported() != reported_before || (s.warnings & ~NAMED_VARIABLE);
            Replay recorded = reported ? REPLAY_NONE : !s.first_pass_guess ? outcome.replay
                            : resolves_by_target(s, outcome.replay) ? REPLAY_TARGET : REPLAY_NONE;
            assembly.record.record(s, recorded, read_bytes, line_start);
        }
        if (!outcome.goes_on) return outcome.end;
    }
}

// Sets the pass up: where it stands, what it tells, whether it writes.
bool begin_pass(Assembly& assembly, int index) {
    Pass& pass = assembly.pass;
    pass = Pass{};
    pass.pass_index = index;
    pass.reader.begin(*assembly.texts[0].text);
    pass.writes = index > 0;
    pass.last_allowed = index == MAX_PASSES - 1;
    const int long_forms_from = passes_before_long_forms(assembly);
    pass.keeps_long_forms = index >= long_forms_from;
    pass.cpu_186 = assembly.options.cpu_186;
    assembly.result.cpu_186 = pass.cpu_186;
    begin_segments(assembly);
    if (index >= long_forms_from - 1) {
        assembly.previous_lengths.swap(assembly.current_lengths);
        assembly.current_lengths.assign(assembly.statement_total, 0);
    }
    if (index == REPLAYING_PASS) assembly.record.begin_replay();
    assembly.macros.begin_pass();
    for (int position : assembly.predefined) assembly.symbols.set_defined_in(position, uint8_t(index + 1));
    for (auto& [position, start] : assembly.assigned) start = assembly.symbols.value_at(position);
    if (index > 0 && !open_outputs(assembly)) return false;
    assembly.uses.clear();
    assembly.diagnostics.begin_pass(index + 1, index > 0);
    assembly.result.passes = index + 1;
    if (assembly.progress) assembly.progress->pass_started(index + 1);
    return true;
}

// The names -D gave, as EQUs before the first line: 1, or the value given
// (a decimal number, wrapping to 32 bits). False when the table is full.
bool define_names(Assembly& assembly) {
    for (const std::string& definition : assembly.options.defines) {
        size_t equals = definition.find('=');
        std::string name = definition.substr(0, equals);
        for (char& c : name) c = to_upper(c);
        int32_t value = equals == std::string::npos ? 1 : int32_t(std::strtoll(definition.c_str() + equals + 1, nullptr, 10));
        int added = assembly.symbols.add(name.c_str(), int(name.size()), value, false, SYMBOL_EQU);
        if (added == SYMTAB_NO_MEMORY) {
            stop(assembly, "Not enough memory for Symbol table.");
            return false;
        }
        if (added == SYMTAB_ADDED) assembly.predefined.push_back(assembly.symbols.last_added());
    }
    return true;
}

// About one label in ten lines of twenty-odd characters: the index sized
// for them at once is not rebuilt as a large program's labels arrive.
uint32_t expected_symbols(size_t source_bytes) {
    size_t guess = source_bytes / 256;
    return guess < UINT32_MAX ? uint32_t(guess) : UINT32_MAX;
}

}  // namespace

void run_passes(Assembly& assembly) {
    const SourceText& main = *assembly.texts[0].text;
    if (assembly.symbols.init(expected_symbols(main.size())) != 0) {
        stop(assembly, "Not enough memory for Symbol table.");
        return;
    }
    if (!define_names(assembly)) return;
    set_dialect(assembly, assembly.options.dialect == DIALECT_AUTO ? DIALECT_VEXA : assembly.options.dialect);
    if (REPLAY_PATHS) assembly.record.begin(main.size());
    for (int index = 0; index < MAX_PASSES; ++index) {
        if (!begin_pass(assembly, index)) break;
        LoopEnd end = run_statement_loop(assembly);
        if (end == LoopEnd::STOPPED) break;
        if (end == LoopEnd::SOURCE_END && (assembly.pass.conditions.depth > 0 || assembly.macros.collecting())) {
            stop(assembly, "Unterminated Macro");  // an IF or a MACRO never closed, and no END
            break;
        }
        // Sections grown or shrunk move those after them: another pass places their names.
        bool sections_moved = lay_out_sections(assembly);
        bool segments_moved = lay_out_segments(assembly);
        bool moved = (sections_moved || segments_moved) && !assembly.pass.last_allowed;
        if (index == 0) {
            assembly.statement_total = assembly.pass.statement_count;
            // NASM's programs have no END.
            if (end == LoopEnd::SOURCE_END && assembly.dialect != DIALECT_NASM) {
                assembly.diagnostics.note("Not found 'END' directive.");
            }
            continue;
        }
        const Pass& pass = assembly.pass;
        bool settles_more = pass.equ_unsettled && pass.equ_settled && !pass.last_allowed;
        bool read_stale = pass.assigned_read_early && !pass.last_allowed && assigned_values_changed(assembly);
        if (!pass.values_changed && !settles_more && !read_stale && !moved) {
            assembly.diagnostics.release_pass();
            break;
        }
        if (settles_more || read_stale || (moved && !pass.values_changed)) assembly.diagnostics.drop_pass();
    }
    assembly.result.origin = assembly.pass.image_origin;
    assembly.result.exe = assembly.exe;
    explain_conventions(assembly, assembly.result);
    close_outputs(assembly);
    for (const Assembly::LoadedText& text : assembly.texts) {
        if (text.text && text.text->loaded()) assembly.result.files_read.push_back(text.path);
    }
    if (assembly.options.symbol_map) map_symbols(assembly);
}

}  // namespace vexa
