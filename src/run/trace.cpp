// The line --trace writes before each instruction.
#include "run/trace.h"

#include <algorithm>
#include <cstdio>

#include "isa/disassemble.h"

namespace vexa {

namespace {

constexpr int WINDOW = 16;  // bytes read at CS:IP; prefixes beyond them are not shown

// The table of forms the trace decodes by: the machine's processor's.
DecodeProcessor trace_processor(const Machine& machine) {
    return machine.processor == CPU_186 ? DECODE_186 : DECODE_8086;
}

// Whether CS:IP holds a service's trap, which the processor runs as the service.
bool at_service_trap(const Machine& machine, const uint8_t* window) {
    uint16_t ip = machine.ip;
    return machine.services && machine.segs[SEG_CS] == BIOS_SEGMENT && ip < 0x200 && (ip & 1) == 0 &&
           window[0] == SERVICE_TRAP;
}

}  // namespace

size_t format_trace_line(const Machine& machine, char* line, size_t room) {
    const uint16_t* r = machine.regs;
    const uint16_t* s = machine.segs;
    uint8_t window[WINDOW];
    for (int i = 0; i < WINDOW; ++i) window[i] = machine.memory[physical_address(s[SEG_CS], uint16_t(machine.ip + i))];

    // The instruction as the processor takes it, every prefix before it
    // included: a prefix no one line holds with the others is a statement
    // of its own, shown before the rest.
    char text[2 * sizeof Disassembly::text];
    int length = 0;
    if (at_service_trap(machine, window)) {
        length = 2;
        std::snprintf(text, sizeof text, "service of INT %02XH", window[1]);
    } else {
        size_t used = 0;
        text[0] = 0;
        while (length < WINDOW) {
            Disassembly d = disassemble(window + length, size_t(WINDOW - length), uint16_t(machine.ip + length),
                                        trace_processor(machine));
            if (d.length == 0) break;
            int written = std::snprintf(text + used, sizeof text - used, "%s%s", used ? " " : "", d.text);
            used = written < 0 ? used : std::min(sizeof text - 1, used + size_t(written));
            length += d.length;
            if (!d.prefix) break;
        }
    }
    char bytes[3 * WINDOW] = {};
    for (int i = 0; i < length; ++i) std::snprintf(bytes + 3 * i, 4, "%02X ", window[i]);
    if (length > 0) bytes[3 * length - 1] = 0;

    int written = std::snprintf(
        line, room,
        "%04X:%04X  %-*s  %-*s  AX=%04X BX=%04X CX=%04X DX=%04X SP=%04X BP=%04X SI=%04X DI=%04X "
        "DS=%04X ES=%04X SS=%04X FL=%04X",
        s[SEG_CS], machine.ip, TRACE_BYTES_WIDTH, bytes, TRACE_TEXT_WIDTH, text, r[REG_AX], r[REG_BX], r[REG_CX],
        r[REG_DX], r[REG_SP], r[REG_BP], r[REG_SI], r[REG_DI], s[SEG_DS], s[SEG_ES], s[SEG_SS], machine.flags);
    if (written < 0) return 0;
    return size_t(written) < room ? size_t(written) : room - 1;
}

}  // namespace vexa
