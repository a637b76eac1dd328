// Messages of an assembly as data: statement errors with their line, notices
// and fatal stops, told at once or held until their pass is known to count.
#include <algorithm>

#include "driver/assembly.h"
#include "driver/driver.h"

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
    {ERR_ORG_ASCENDED, "'ORG' directive Ascended"},
};

}  // namespace

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

void Diagnostics::report(Statement& s, int code, int32_t column) {
    const char* message = error_message(code);
    s.pending_message = message;
    ++reported_;
    if (dropping_) return;
    const std::string& file = s.file ? s.assembly.included[s.file - 1].name : std::string();
    Diagnostic diagnostic{Diagnostic::ERROR, pass_, file, s.line_number, column, code, message,
                          std::string(s.line_buffer, size_t(s.statement_text_length))};
    // From the first error of the first pass that may come from a guess on,
    // its messages wait, in order, until the last pass tells which count.
    if (pass_ == 1 && (s.first_pass_guess || !first_pass_.empty())) {
        return hold(std::move(diagnostic), s.index, s.first_pass_guess);
    }
    if (holding_ && (statements_in_error_.empty() || statements_in_error_.back() != s.index)) {
        statements_in_error_.push_back(s.index);
    }
    tell(std::move(diagnostic));
}

void Diagnostics::note(const std::string& message) {
    Diagnostic diagnostic{Diagnostic::NOTE, pass_, std::string(), 0, 0, 0, message, std::string()};
    if (pass_ == 1 && !first_pass_.empty()) return hold(std::move(diagnostic), UINT32_MAX, false);
    tell(std::move(diagnostic));
}

void Diagnostics::fatal(const std::string& message) {
    // A fatal stop makes its pass the last: what was held counts, every
    // first-pass error with it.
    release_first_pass(true);
    holding_ = false;
    for (Diagnostic& diagnostic : held_) tell(std::move(diagnostic));
    held_.clear();
    tell(Diagnostic{Diagnostic::FATAL, pass_, std::string(), 0, 0, 0, message, std::string()});
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

}  // namespace vexa
