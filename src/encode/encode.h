// Instruction encoding: mnemonic dispatch and the bytes of each instruction.
#pragma once

#include <cstdint>

#include "driver/driver.h"
#include "parse/parse.h"

namespace vexa {

constexpr int CODE_CAPACITY = 8;

// The current instruction's bytes, without any segment-override prefix.
extern uint8_t code_buf[CODE_CAPACITY];
extern uint8_t code_len;

// Selects the handler of `mnemonic` (upper case, at most 8 characters) and
// answers 0 with the bytes in code_buf, a StatementCode, or an ErrorCode.
int dispatch_mnemonic(const char* mnemonic);

}  // namespace vexa
