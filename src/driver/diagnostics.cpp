// Messages of an assembly as data: statement errors with their line, notices
// and fatal stops, told at once or held until their pass is known to count.
#include <algorithm>
#include <cstring>

#include "driver/assembly.h"
#include "driver/driver.h"
#include "driver/explain.h"

namespace vexa {

namespace {

struct ErrorText {
    int code;
    const char* message;
};

constexpr ErrorText error_texts[] = {
    {0, "No Error"},
    {ERR_SYNTAX, "Syntax Error"},
    {ERR_INVALID_OPCODE, "Invalid Operation Code"},
    {ERR_INVALID_OPERAND, "Invalid Operand"},
    {ERR_INVALID_CHARACTER, "Invalid Character Exist"},
    {ERR_INVALID_NUMBER, "Invalid Number string"},
    {ERR_INVALID_BINARY, "Invalid Binary String"},
    {ERR_INVALID_OCTAL, "Invalid Octal String"},
    {ERR_INVALID_STRING, "Invalid String (Not closed)"},
    {ERR_MISSING_OPERAND, "Missing Operand"},
    {ERR_EXTRA_OPERAND, "Extra Operand Exist"},
    {ERR_DISPLACEMENT_OVERFLOW, "Displacement Overflow"},
    {ERR_ILLEGAL_SIZE, "Illegal Size of Operand"},
    {ERR_LINE_TOO_LONG, "Line Too Long"},
    {ERR_INCLUDE_NOT_FOUND, "Include File Not Found"},
    {ERR_INCLUDE_NESTED, "Include Nested Too Deep"},
    {ERR_ADDRESS_OVERFLOW, "Address Overflow"},
    {ERR_SYMBOL_NOT_DEFINED, "Symbol Not Defined"},
    {ERR_MULTI_DEFINED, "Multi Defined Symbol"},
    {ERR_UNMATCHED_ENDIF, "Unmatched ENDIF"},
    {ERR_UNTERMINATED, "Unterminated Macro"},
    {ERR_NESTED_TOO_DEEP, "Macro Nested Too Deep"},
    {ERR_FORCED, "Forced Error"},
    {ERR_MISSING_ARGUMENT, "Missing Macro Argument"},
    {ERR_OUTSIDE_IMAGE, "Bytes Outside the Image"},
    {ERR_SEGMENT_OPEN, "Segment Not Closed"},
    {ERR_ORG_ASCENDED, "'ORG' directive Ascended"},
};

struct WarningText {
    uint8_t warned;  // StatementWarning
    uint8_t group;   // WarningGroup
    const char* text;
};

constexpr WarningText warning_texts[] = {
    {WARNED_WORD_ASSUMED, WARN_SIZE, "Operand size not specified, WORD assumed"},
    {WARNED_BYTE_ASSUMED, WARN_SIZE, "Operand size not specified, BYTE assumed"},
    {WARNED_VALUE_CUT, WARN_OVERFLOW, "Value does not fit in a word, cut to 16 bits"},
    {WARNED_ADDRESS, WARN_ADDRESS, "Address of a variable used as a value"},
    {WARNED_CS, WARN_CS, "CS loaded directly: only the 8086 and 8088 do it"},
};

struct GroupName {
    uint8_t group;
    const char* name;
};

constexpr GroupName group_names[] = {
    {WARN_SIZE, "size"},
    {WARN_OVERFLOW, "overflow"},
    {WARN_ADDRESS, "address"},
    {WARN_CS, "cs"},
};

const WarningText& text_of(uint8_t warned) {
    for (const WarningText& text : warning_texts) {
        if (text.warned == warned) return text;
    }
    return warning_texts[0];
}

}  // namespace

const char* warning_text(uint8_t warned) { return text_of(warned).text; }

uint8_t warning_group_of(uint8_t warned) { return text_of(warned).group; }

uint8_t warning_group(const std::string& name) {
    for (const GroupName& group : group_names) {
        if (name == group.name) return group.group;
    }
    return 0;
}

const char* warning_group_name(uint8_t group) {
    for (const GroupName& entry : group_names) {
        if (entry.group == group) return entry.name;
    }
    return "";
}

const char* error_message(int code) {
    for (const ErrorText& text : error_texts) {
        if (text.code == code) return text.message;
    }
    return "Unknown error";
}

void Diagnostics::begin_pass(int pass, bool holds) {
    pass_ = pass;
    holding_ = holds;
    dropping_ = false;
    held_.clear();
    statements_in_error_.clear();
}

// A message about the statement's line: where it stands, in which file,
// included from where.
Diagnostic Diagnostics::at_statement(Statement& s, Diagnostic::Severity severity, int code, const char* message) {
    const Assembly& assembly = s.assembly;
    Diagnostic diagnostic{severity, pass_, s.file ? assembly.included[s.file - 1].name : std::string(),
                          s.line_number, 0, code, message,
                          std::string(s.line_buffer, size_t(s.statement_text_length))};
    diagnostic.path = assembly.path_of(s.file);
    diagnostic.text.assign(s.listing_line, size_t(s.listing_line_length));
    // A line whose %defines gave way to their texts is shown with them, so
    // that the column points into it.
    bool substituted = s.statement_text_length > s.listing_line_length ||
                       std::memcmp(s.listing_line, s.line_buffer, size_t(s.statement_text_length)) != 0;
    if (substituted && s.assembly.macros.has_defines()) diagnostic.text = diagnostic.source_line;
    diagnostic.statement = s.index;
    if (s.expansion_depth) add_expansion(s, diagnostic);
    const LineReader& reader = s.pass.reader;
    for (int level = reader.depth() - 1; level >= 0; --level) {
        diagnostic.notes.push_back(Diagnostic::Note{std::string(), 0, 0,
                                                    "included from " + assembly.path_of(reader.file_at(level)) + ":" +
                                                        std::to_string(reader.line_at(level))});
    }
    return diagnostic;
}

// A statement of an expansion: reported at its outermost call, with its
// own line, and where it stands in the definition, with a note for each call.
void Diagnostics::add_expansion(Statement& s, Diagnostic& diagnostic) {
    const Assembly& assembly = s.assembly;
    const MacroEngine& macros = assembly.macros;
    diagnostic.expanded_line = diagnostic.source_line;
    diagnostic.source_line = macros.call_text();
    LinePlace place = macros.line_place();
    diagnostic.definition_path = assembly.path_of(place.file);
    diagnostic.definition_line = place.line;
    // The innermost calls and the outermost: a runaway recursion has hundreds.
    constexpr size_t SHOWN = 8;
    const std::vector<Expansion>& frames = macros.frames();
    for (size_t i = frames.size(); i-- > 0;) {
        if (frames.size() > SHOWN + 1 && i == frames.size() - SHOWN - 1) {
            diagnostic.notes.push_back(Diagnostic::Note{std::string(), 0, 0,
                                                        "... and " + std::to_string(i) + " calls more"});
            i = 0;
        }
        const Expansion& frame = frames[i];
        std::string what = frame.kind == Expansion::MACRO
                               ? "in expansion of macro '" + macros.definition(frame.definition).name + "'"
                               : std::string("in the repetition begun here");
        diagnostic.notes.push_back(Diagnostic::Note{assembly.path_of(frame.call.file), frame.call.line, 0, what});
    }
}

[[gnu::noinline]] void Diagnostics::report(Statement& s, int code) {
    bool written = code == ERR_FORCED && !written_message_.empty();
    report(s, code, written ? written_message_.c_str() : error_message(code));
}

void Diagnostics::report(Statement& s, int code, const char* message) {
    s.pending_message = message;
    ++reported_;
    if (dropping_) return;
    Diagnostic diagnostic = at_statement(s, Diagnostic::ERROR, code, message);
    Explanation explanation = explain_error(s, code);
    diagnostic.column = error_column(s, code, explanation);
    if (!explanation.note.empty()) {
        diagnostic.notes.insert(diagnostic.notes.begin(), Diagnostic::Note{std::string(), 0, 0, explanation.note});
    }
    // From the first error of the first pass that may come from a guess on,
    // its messages wait, in order, until the last pass tells which count. A
    // jump out of reach after a guessed length may reach in the end.
    bool guessed = s.first_pass_guess || (code == ERR_DISPLACEMENT_OVERFLOW && s.pass.guessed_before &&
                                          s.assembly.conventions.shortest);
    if (pass_ == 1 && (guessed || !first_pass_.empty())) return hold(std::move(diagnostic), s.index, guessed);
    note_in_error(s.index);
    tell(std::move(diagnostic));
}

// A pass that holds its messages notes the statements it finds in error.
void Diagnostics::note_in_error(uint32_t statement) {
    if (holding_ && (statements_in_error_.empty() || statements_in_error_.back() != statement)) {
        statements_in_error_.push_back(statement);
    }
}

void Diagnostics::warn(Statement& s, uint8_t warned) {
    if (dropping_ || pass_ == 1) return;
    bool as_errors = s.assembly.options.warnings_are_errors;
    for (const WarningText& text : warning_texts) {
        if (!(warned & text.warned)) continue;
        s.listed_warnings |= text.warned;
        Diagnostic diagnostic =
            at_statement(s, as_errors ? Diagnostic::ERROR : Diagnostic::WARNING, 0, text.text);
        diagnostic.warning = text.group;
        int operand = text.warned == WARNED_VALUE_CUT || text.warned == WARNED_ADDRESS ? s.operand_count - 1 : 0;
        diagnostic.column = operand_column(s, operand);
        std::string note = warning_note(s, text.warned);
        if (!note.empty()) diagnostic.notes.insert(diagnostic.notes.begin(), Diagnostic::Note{std::string(), 0, 0, note});
        if (as_errors) {
            ++reported_;
            note_in_error(s.index);
        }
        tell(std::move(diagnostic));
    }
}

void Diagnostics::warn_written(Statement& s, const std::string& text) {
    const AssemblyOptions& options = s.assembly.options;
    if (dropping_ || pass_ == 1 || !options.warnings) return;
    bool as_errors = options.warnings_are_errors;
    Diagnostic diagnostic = at_statement(s, as_errors ? Diagnostic::ERROR : Diagnostic::WARNING, 0, text.c_str());
    int32_t column = 1;  // at the directive
    while (column <= s.statement_text_length && is_blank(s.line_buffer[column - 1])) ++column;
    diagnostic.column = column;
    if (as_errors) {
        ++reported_;
        note_in_error(s.index);
    }
    tell(std::move(diagnostic));
}

void Diagnostics::note(const std::string& message) {
    Diagnostic diagnostic{Diagnostic::NOTE, pass_, std::string(), 0, 0, 0, message, std::string()};
    diagnostic.path = source_;
    if (pass_ == 1 && !first_pass_.empty()) return hold(std::move(diagnostic), UINT32_MAX, false);
    tell(std::move(diagnostic));
}

void Diagnostics::fatal(const std::string& message) {
    fatal_diagnostic(Diagnostic{Diagnostic::FATAL, pass_, std::string(), 0, 0, 0, message, std::string()});
}

void Diagnostics::fatal_at(Statement& s, const std::string& message, const std::string& note) {
    Diagnostic diagnostic = at_statement(s, Diagnostic::FATAL, 0, "");
    diagnostic.message = message;
    diagnostic.column = label_column(s);
    diagnostic.notes.insert(diagnostic.notes.begin(), Diagnostic::Note{std::string(), 0, 0, note});
    fatal_diagnostic(std::move(diagnostic));
}

void Diagnostics::fatal_diagnostic(Diagnostic&& diagnostic) {
    // A fatal stop makes its pass the last: what was held counts, every
    // first-pass error with it.
    release_first_pass(true);
    holding_ = false;
    for (Diagnostic& held : held_) tell(std::move(held));
    held_.clear();
    tell(std::move(diagnostic));
}

void Diagnostics::drop_pass() {
    held_.clear();
    statements_in_error_.clear();
    holding_ = false;
    dropping_ = true;
}

void Diagnostics::release_pass() {
    release_first_pass(false);
    holding_ = false;
    for (Diagnostic& diagnostic : held_) tell(std::move(diagnostic));
    held_.clear();
}

void Diagnostics::hold(Diagnostic&& diagnostic, uint32_t statement, bool guessed) {
    first_pass_.push_back(FirstPassMessage{std::move(diagnostic), statement, guessed});
}

// With `all`, the errors of guessed statements are told whatever the last
// pass found.
void Diagnostics::release_first_pass(bool all) {
    bool was_holding = holding_;
    holding_ = false;
    for (FirstPassMessage& message : first_pass_) {
        bool still_wrong = all || !message.guessed ||
                           std::binary_search(statements_in_error_.begin(), statements_in_error_.end(),
                                              message.statement);
        if (still_wrong) tell(std::move(message.diagnostic));
    }
    first_pass_.clear();
    holding_ = was_holding;
}

void Diagnostics::tell(Diagnostic&& diagnostic) {
    if (holding_) {
        held_.push_back(std::move(diagnostic));
        return;
    }
    if (diagnostic.severity == Diagnostic::ERROR) {
        ++errors_;
        ++result_.errors;
    }
    if (progress_) progress_->reported(diagnostic);
    result_.diagnostics.push_back(std::move(diagnostic));
}

namespace {

// Within a statement: a duplicate name first, then its errors, its
// warnings, and a fatal stop.
int rank(const Diagnostic& diagnostic) {
    if (diagnostic.code == ERR_MULTI_DEFINED) return 0;
    switch (diagnostic.severity) {
        case Diagnostic::ERROR: return 1;
        case Diagnostic::WARNING: return 2;
        default: return 3;
    }
}

}  // namespace

std::vector<Diagnostic> settled_diagnostics(const AssemblyResult& result) {
    int last = 0;
    for (const Diagnostic& diagnostic : result.diagnostics) last = std::max(last, diagnostic.pass);
    std::vector<uint32_t> in_error_at_last;
    for (const Diagnostic& diagnostic : result.diagnostics) {
        if (diagnostic.pass == last && diagnostic.severity == Diagnostic::ERROR) {
            in_error_at_last.push_back(diagnostic.statement);
        }
    }
    std::sort(in_error_at_last.begin(), in_error_at_last.end());
    std::vector<Diagnostic> settled;
    for (const Diagnostic& diagnostic : result.diagnostics) {
        bool earlier_error = diagnostic.severity == Diagnostic::ERROR && diagnostic.pass != last &&
                             diagnostic.code != ERR_MULTI_DEFINED;
        if (earlier_error &&
            std::binary_search(in_error_at_last.begin(), in_error_at_last.end(), diagnostic.statement)) {
            continue;
        }
        settled.push_back(diagnostic);
    }
    std::stable_sort(settled.begin(), settled.end(), [](const Diagnostic& a, const Diagnostic& b) {
        if (a.statement != b.statement) return a.statement < b.statement;
        return rank(a) < rank(b);
    });
    return settled;
}

}  // namespace vexa
