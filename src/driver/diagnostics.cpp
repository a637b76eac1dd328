// Statement error reports: the two-line console report and the message kept
// for the listing.
#include "driver/driver.h"
#include "parse/parse.h"

namespace vexa {

FILE* console_out;
FILE* console_err;
const char* pending_message;

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
    {ERR_ADDRESS_OVERFLOW, "Address Overflow"},
    {ERR_SYMBOL_NOT_DEFINED, "Symbol Not Defined"},
    {ERR_MULTI_DEFINED, "Multi Defined Symbol"},
    {ERR_ORG_ASCENDED, "'ORG' directive Ascended"},
};

int error_count;

}  // namespace

const char* error_message(int code) {
    for (const ErrorText& text : error_texts) {
        if (text.code == code) return text.message;
    }
    return "Unknown error";
}

void report_error(int code) {
    std::fprintf(console_err, "%06d : ", line_number);
    std::fwrite(line_buffer, 1, size_t(statement_text_length), console_err);
    std::fputc('\n', console_err);
    pending_message = error_message(code);
    std::fprintf(console_err, "\t%s\n", pending_message);
    ++error_count;
}

int reported_error_count() { return error_count; }

void reset_diagnostics(FILE* out, FILE* err) {
    console_out = out;
    console_err = err;
    pending_message = nullptr;
    error_count = 0;
}

}  // namespace vexa
