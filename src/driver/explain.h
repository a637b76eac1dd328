// What a statement's message adds to its text: the column it points at and
// a note on why, or on what was probably meant.
#pragma once

#include <cstdint>
#include <string>

namespace vexa {

struct Statement;

struct Explanation {
    int operand = -1;    // the operand at fault (0 the first), or -1
    int32_t column = 0;  // 1-based, when a word inside an operand is at fault
    std::string note;    // empty when there is nothing to add
};

// Why the statement's operands are refused with `code`, or the mnemonic or
// name probably meant.
Explanation explain_error(const Statement& s, int code);
// The 1-based column the message points at.
int32_t error_column(const Statement& s, int code, const Explanation& explanation);
// Where the label, or the line's first word, begins (1-based).
int32_t label_column(const Statement& s);
// Where operand `index` begins (the operands, or the mnemonic, when it has none).
int32_t operand_column(const Statement& s, int index);
// The statement's StatementWarning bits that stand: of the groups enabled,
// and an address only where the name is a variable of the register's size.
uint8_t checked_warnings(const Statement& s);
// What a warning's note adds.
std::string warning_note(const Statement& s, uint8_t warned);
// The phase error's note on the name whose value changed.
std::string phase_note(const std::string& name, int32_t before, int32_t now, int pass);

}  // namespace vexa
