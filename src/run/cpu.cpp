// The 8086 processor: decoding and executing instructions.
#include <cstring>

#include "run/run.h"

namespace vexa {

void reset_machine(Machine& machine) {
    std::memset(&machine, 0, sizeof machine);
    machine.flags = 0xF002;
    machine.limit = DEFAULT_INSTRUCTION_LIMIT;
}

void step_instruction(Machine& machine) { (void)machine; }

Ending run_machine(Machine& machine, uint64_t count) {
    (void)count;
    return machine.ending;
}

}  // namespace vexa
