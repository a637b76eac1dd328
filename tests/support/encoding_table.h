// Encoding tables: one statement per row with its expected bytes or error,
// and the same instruction in NASM syntax for the encoding oracle.
//
//   # comment
//   --- options           command-line options for every row (--dialect=nasm)
//   --- before            source lines assembled before every row (no bytes)
//   --- after             source lines assembled after every row (no bytes)
//   --- nasm              NASM lines before every NASM twin (e.g. org 100h)
//   --- rows
//           ADD AX,BX     | 03 C3                          | add ax, bx
//           ADD AL,256    | error: Illegal Size of Operand
//           X DB 1,,2     | 01 FF 02 error: Symbol Not Defined | -
//
// The expected column holds the object bytes, then optionally `error:` and
// the message of the last report. A twin of `-` means the row has none.
#pragma once

#include <string>
#include <vector>

namespace vexa_test {

struct EncodingRow {
    int line_number;  // in the table file
    std::string source;
    std::string bytes;  // expected object file
    std::string error;  // expected last message, empty for none
    std::string nasm;   // empty when the row has no twin
};

struct EncodingTable {
    std::vector<std::string> options;
    std::string before;
    std::string after;
    std::vector<EncodingRow> rows;
};

EncodingTable parse_encoding_table(const std::string& text, std::string& error);
// The table in the file at `path`, parsed.
EncodingTable read_encoding_table(const std::string& path, std::string& error);

// Every table (*.enc) below `cases_dir`, as paths relative to it, sorted.
std::vector<std::string> find_encoding_tables(const std::string& cases_dir);

}  // namespace vexa_test
