// Mnemonic dispatch. Only the END directive is known so far; every other
// mnemonic is an invalid operation code.
#include <cstring>

#include "encode/encode.h"

namespace vexa {

uint8_t code_buf[CODE_CAPACITY];
uint8_t code_len;

int dispatch_mnemonic(const char* mnemonic) {
    if (std::strncmp(mnemonic, "END", 3) == 0) return STMT_END;
    return ERR_INVALID_OPCODE;
}

}  // namespace vexa
