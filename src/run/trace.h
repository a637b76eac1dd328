// The line --trace writes before each instruction: its address, bytes and
// text, then the registers.
#pragma once

#include <cstddef>

#include "run/run.h"

namespace vexa {

// The columns: the bytes have room for a prefix, a segment override and
// six bytes; the text for the longest instruction.
constexpr int TRACE_BYTES_WIDTH = 8 * 3 - 1;
constexpr int TRACE_TEXT_WIDTH = 44;
constexpr size_t TRACE_LINE_CAPACITY = 512;

// The line for the instruction at CS:IP, without a line end, into `line`
// (cut to `room`, at least 1). Answers the length written.
size_t format_trace_line(const Machine& machine, char* line, size_t room);

}  // namespace vexa
