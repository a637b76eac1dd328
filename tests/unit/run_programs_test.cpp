// Whole programs, assembled in-process and run on the interpreter with the
// services: the way back through a replaced vector, flags answered through
// IRET, endings and their texts.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "run/run.h"
#include "support/run_vexa.h"

namespace {

using namespace vexa;

struct ProgramCase {
    const char* what;
    const char* body;  // the lines after ORG 100H
    std::string input;
    std::string printed;
    Ending ending;
    int exit_code;
    const char* description;
    const char* tail = "";
    uint64_t limit = 100000;
};

void collect(void* context, const uint8_t* bytes, size_t count) {
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes), count);
}

std::string assemble(const char* body, std::string& messages) {
    vexa_test::ScratchDir dir;
    dir.write("PROG.ASM", std::string("        ORG 100H\n") + body + "        END\n");
    vexa_test::RunResult result = vexa_test::run_vexa(dir, {"PROG.ASM"});
    messages = result.exit_status ? result.err : "";
    return dir.read("PROG.COM");
}

constexpr const char* LINE_BACK = R"(
        MOV DX,OFFSET BUF
        MOV AH,0AH
        INT 21H
        MOV BL,[BUF+1]
        MOV BH,0
        MOV BYTE PTR [BX+BUF+2],'$'
        MOV DX,OFFSET BUF+2
        MOV AH,09H
        INT 21H
        MOV AX,4C00H
        INT 21H
BUF     DB 20,0
        DB 22 DUP(0)
)";

constexpr const char* HOOK_CHAINS = R"(
        MOV AX,3521H
        INT 21H
        MOV [OLD],BX
        MOV [OLD+2],ES
        MOV DX,OFFSET HOOK
        MOV AX,2521H
        INT 21H
        MOV DL,'a'
        MOV AH,02H
        INT 21H
        MOV AX,4C00H
        INT 21H
HOOK:   CMP AH,02H
        JNE PASS
        SUB DL,20H
PASS:   JMP DWORD PTR [CS:OLD]
OLD     DW 0,0
)";

constexpr const char* POLL_KEY = R"(
        MOV DL,0FFH
        MOV AH,06H
        INT 21H
        JZ NONE
        MOV DL,AL
        MOV AH,02H
        INT 21H
        MOV AX,4C01H
        INT 21H
NONE:   MOV AX,4C02H
        INT 21H
)";

constexpr const char* KEY_AND_SCAN_CODE = R"(
        MOV AH,00H
        INT 16H
        PUSH AX
        MOV DL,AL
        MOV AH,02H
        INT 21H
        POP AX
        MOV AL,AH
        MOV AH,4CH
        INT 21H
)";

constexpr const char* PRINT_TAIL = R"(
        MOV BL,[80H]
        MOV BH,0
        MOV BYTE PTR [BX+81H],'$'
        MOV DX,81H
        MOV AH,09H
        INT 21H
        RET
)";

constexpr const char* OWN_DIVIDE_HANDLER = R"(
        MOV DX,OFFSET ON_DIVIDE
        MOV AX,2500H
        INT 21H
        XOR CX,CX
        DIV CX
ON_DIVIDE:
        MOV AX,4C03H
        INT 21H
)";

TEST(Programs, RunWithServices) {
    const ProgramCase cases[] = {
        {"RET reaches INT 20H", "        MOV DL,'x'\n        MOV AH,02H\n        INT 21H\n        RET\n", "", "x",
         ENDING_EXIT, 0, "the program exited with code 0"},
        {"the exit code", "        MOV AX,4C07H\n        INT 21H\n", "", "", ENDING_EXIT, 7,
         "the program exited with code 7"},
        {"function 09H", "        MOV DX,OFFSET M\n        MOV AH,09H\n        INT 21H\n        RET\nM DB 'Hi',0DH,0AH,'$'\n",
         "", "Hi\r\n", ENDING_EXIT, 0, ""},
        {"teletype output", "        MOV AX,0E41H\n        INT 10H\n        INT 20H\n", "", "A", ENDING_EXIT, 0, ""},
        {"a line read and printed back", LINE_BACK, "hello\r\nrest", "hello\rhello", ENDING_EXIT, 0, ""},
        {"the last line without its end", LINE_BACK, "bye", "bye\rbye", ENDING_EXIT, 0, ""},
        {"a replaced vector chains to the service", HOOK_CHAINS, "", "A", ENDING_EXIT, 0, ""},
        {"ZF clear through IRET: a key", POLL_KEY, "k", "k", ENDING_EXIT, 1, ""},
        {"ZF set through IRET: no key", POLL_KEY, "", "", ENDING_EXIT, 2, ""},
        {"a key and its scan code", KEY_AND_SCAN_CODE, "a", "a", ENDING_EXIT, 0x1E, ""},
        {"the command tail", PRINT_TAIL, "", " one two", ENDING_EXIT, 0, "", " one two"},
        {"reading past the input", "L:      MOV AH,01H\n        INT 21H\n        JMP L\n", "ab\n", "ab\r",
         ENDING_NO_INPUT, 0, "the program waits for input and none is left"},
        {"an unsupported function", "        MOV AH,3DH\n        INT 21H\n", "", "", ENDING_UNSUPPORTED, 0,
         "INT 21H function 3DH is not supported"},
        {"an unsupported vector", "        INT 05H\n", "", "", ENDING_UNSUPPORTED, 0, "INT 05H is not supported"},
        {"INTO and INT 3 without handlers go on", "        MOV AL,7FH\n        ADD AL,1\n        INTO\n        INT 3\n"
         "        MOV AX,4C04H\n        INT 21H\n", "", "", ENDING_EXIT, 4, ""},
        {"an undefined instruction", "        NOP\n        DB 0C4H,0C3H\n", "", "", ENDING_UNSUPPORTED, 0,
         "undefined instruction C4H at 1000:0101"},
        {"an undefined instruction after a prefix", "        DB 2EH,0FEH,0F8H\n", "", "", ENDING_UNSUPPORTED, 0,
         "undefined instruction FEH at 1000:0100"},
        {"HLT", "        NOP\n        HLT\n", "", "", ENDING_HALT, 0, "the program halted (HLT) at 1000:0101"},
        {"an endless loop", "L:      JMP L\n", "", "", ENDING_LIMIT, 0, "the instruction limit of 1000 was reached",
         "", 1000},
        {"division by zero", "        MOV AX,1\n        MOV BL,0\n        DIV BL\n", "", "", ENDING_DIVIDE_ERROR, 0,
         "divide error at 1000:0105: division by zero or a quotient too large"},
        {"a quotient too large", "        MOV DX,1\n        MOV CX,1\n        DIV CX\n", "", "", ENDING_DIVIDE_ERROR, 0,
         "divide error at 1000:0106: division by zero or a quotient too large"},
        {"the program's own divide error handler", OWN_DIVIDE_HANDLER, "", "", ENDING_EXIT, 3, ""},
    };
    for (const ProgramCase& c : cases) {
        std::string messages;
        std::string image = assemble(c.body, messages);
        ASSERT_EQ(messages, "") << c.what;
        auto machine = std::make_unique<Machine>();
        ASSERT_TRUE(load_com_program(*machine, reinterpret_cast<const uint8_t*>(image.data()), image.size(), c.tail));
        std::string printed;
        machine->output = {&printed, collect};
        machine->input.bytes = reinterpret_cast<const uint8_t*>(c.input.data());
        machine->input.length = c.input.size();
        machine->limit = c.limit;
        EXPECT_EQ(run_machine(*machine, c.limit + 1), c.ending) << c.what << ": " << describe_ending(*machine);
        EXPECT_EQ(machine->ending, c.ending) << c.what;
        EXPECT_EQ(printed, c.printed) << c.what;
        if (c.ending == ENDING_EXIT) {
            EXPECT_EQ(machine->exit_code, c.exit_code) << c.what;
        }
        if (*c.description) {
            EXPECT_STREQ(describe_ending(*machine), c.description) << c.what;
        }
    }
}

TEST(Programs, TheLimitCountsInstructions) {
    std::string messages;
    std::string image = assemble("L:      INC AX\n        JMP L\n", messages);
    auto machine = std::make_unique<Machine>();
    ASSERT_TRUE(load_com_program(*machine, reinterpret_cast<const uint8_t*>(image.data()), image.size(), ""));
    machine->limit = 1001;
    EXPECT_EQ(run_machine(*machine, 600), ENDING_NONE) << "a slice that ran out";
    EXPECT_EQ(run_machine(*machine, 600), ENDING_LIMIT);
    EXPECT_EQ(machine->executed, 1001u);
    EXPECT_EQ(machine->regs[REG_AX], 501) << "INC AX ran every other instruction";
}

}  // namespace
