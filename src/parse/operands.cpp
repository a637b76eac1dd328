// Operand parsing. No operand forms are read yet: every text counts as none.
#include "parse/parse.h"

namespace vexa {

Operand dst;
Operand src;
uint8_t operand_count;

int parse_operands(char*) {
    operand_count = 0;
    return 0;
}

}  // namespace vexa
