// End-to-end case files: a command line, input files and every expected output.
//
//   # free comment lines
//   --- args                  words of the command line after the program name
//   --- file NAME             an input file
//   --- stdout | stderr       the exact console output
//   --- exit                  the exit status
//   --- object NAME           the object file, as hexadecimal bytes
//   --- text NAME             any other output file, exactly
//   --- listing NAME          a listing: each line ends in CR LF, <FF> stands
//                             for a form feed, and a last line of <FF> alone
//                             ends the file without a line end
//   --- absent NAME           a file that must not exist afterwards
//
// A text section is its lines, each ended by a newline. Adding the word
// `escaped` to a file, stdout, stderr or text header joins its lines without
// newlines and reads the escapes \n \r \t \f \0 \\ and \xHH instead.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vexa_test {

struct NamedContent {
    std::string name;
    std::string bytes;
    bool binary = false;  // compared and shown as hexadecimal bytes
};

struct CaseFile {
    std::vector<std::string> args;
    std::vector<NamedContent> inputs;
    std::optional<std::string> out;
    std::optional<std::string> err;
    std::optional<int> exit_status;
    std::vector<NamedContent> expected_files;
    std::vector<std::string> absent_files;
};

// Reads a case file; a malformed one yields a message in `error`.
CaseFile parse_case_file(const std::string& text, std::string& error);

std::string unescape(const std::string& text);
std::string to_hex(const std::string& bytes);

}  // namespace vexa_test
