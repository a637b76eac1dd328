// Which spellings reach a mnemonic handler, and which are invalid.
#include <gtest/gtest.h>

#include <cstring>

#include "encode/encode.h"
#include "support/test_assembly.h"

namespace {

using namespace vexa;

// Every mnemonic the assembler accepts, with the slot that must serve it.
const char* const accepted[][2] = {
    {"AAA", "AAA"}, {"AAD", "AAD"}, {"AAM", "AAM"}, {"AAS", "AAS"}, {"ADC", "ADC"}, {"ADD", "ADD"},
    {"AND", "AND"}, {"CALL", "CAL"}, {"CBW", "CBW"}, {"CLC", "CLC"}, {"CLD", "CLD"}, {"CLI", "CLI"},
    {"CMC", "CMC"}, {"CMP", "CMP"}, {"CMPS", "CMP"}, {"CMPSB", "CMP"}, {"CMPSW", "CMP"}, {"CWD", "CWD"},
    {"DAA", "DAA"}, {"DAS", "DAS"}, {"DB", "DB"}, {"DEC", "DEC"}, {"DIV", "DIV"}, {"DS", "DS"},
    {"DW", "DW"}, {"END", "END"}, {"EQU", "EQU"}, {"ESC", "ESC"}, {"HLT", "HLT"}, {"IDIV", "IDI"},
    {"IMUL", "IMU"}, {"IN", "IN"}, {"INC", "INC"}, {"INCLUDE", "INC"}, {"INT", "INT"}, {"INTO", "INT"}, {"IRET", "IRE"},
    {"JA", "JA"}, {"JAE", "JAE"}, {"JB", "JB"}, {"JBE", "JBE"}, {"JC", "JC"}, {"JCXZ", "JCX"},
    {"JE", "JE"}, {"JG", "JG"}, {"JGE", "JGE"}, {"JL", "JL"}, {"JLE", "JLE"}, {"JMP", "JMP"},
    {"JNA", "JNA"}, {"JNAE", "JNA"}, {"JNB", "JNB"}, {"JNBE", "JNB"}, {"JNC", "JNC"}, {"JNE", "JNE"},
    {"JNG", "JNG"}, {"JNGE", "JNG"}, {"JNL", "JNL"}, {"JNLE", "JNL"}, {"JNO", "JNO"}, {"JNP", "JNP"},
    {"JNS", "JNS"}, {"JNZ", "JNZ"}, {"JO", "JO"}, {"JP", "JP"}, {"JPE", "JPE"}, {"JPO", "JPO"},
    {"JS", "JS"}, {"JZ", "JZ"}, {"LAHF", "LAH"}, {"LDS", "LDS"}, {"LEA", "LEA"}, {"LES", "LES"},
    {"LOCK", "LOC"}, {"LODS", "LOD"}, {"LODSB", "LOD"}, {"LODSW", "LOD"}, {"LOOP", "LOO"},
    {"LOOPE", "LOO"}, {"LOOPZ", "LOO"}, {"LOOPNE", "LOO"}, {"LOOPNZ", "LOO"}, {"MOV", "MOV"},
    {"MOVS", "MOV"}, {"MOVSB", "MOV"}, {"MOVSW", "MOV"}, {"MUL", "MUL"}, {"NEG", "NEG"}, {"NOP", "NOP"},
    {"NOT", "NOT"}, {"OR", "OR"}, {"ORG", "ORG"}, {"OUT", "OUT"}, {"POP", "POP"}, {"POPF", "POP"},
    {"PUSH", "PUS"}, {"PUSHF", "PUS"}, {"RCL", "RCL"}, {"RCR", "RCR"}, {"REP", "REP"}, {"REPE", "REP"},
    {"REPZ", "REP"}, {"REPNE", "REP"}, {"REPNZ", "REP"}, {"RET", "RET"}, {"RETF", "RET"}, {"RETN", "RET"},
    {"ROL", "ROL"}, {"ROR", "ROR"}, {"SAHF", "SAH"}, {"SAL", "SAL"}, {"SAR", "SAR"}, {"SBB", "SBB"},
    {"SCAS", "SCA"}, {"SCASB", "SCA"}, {"SCASW", "SCA"}, {"SEG", "SEG"}, {"SHL", "SHL"}, {"SHR", "SHR"},
    {"STC", "STC"}, {"STD", "STD"}, {"STI", "STI"}, {"STOS", "STO"}, {"STOSB", "STO"}, {"STOSW", "STO"},
    {"SUB", "SUB"}, {"TEST", "TES"}, {"WAIT", "WAI"}, {"XCHG", "XCH"}, {"XLAT", "XLA"}, {"XOR", "XOR"},
    {"ENDP", "END"}, {"EQUATE", "EQU"}, {"ORGAN", "ORG"}, {"ORGX", "ORG"},
    {"MACRO", "MAC"}, {"ENDM", "END"}, {"REPT", "REP"}, {"IRP", "IRP"}, {"IRPC", "IRP"}, {"FOR", "FOR"},
    {"FORC", "FOR"}, {"LOCAL", "LOC"}, {"EXITM", "EXI"}, {"PURGE", "PUR"},
    {"ABSOLUTE", "ABS"}, {"AT", "AT"}, {"BITS", "BIT"}, {"CPU", "CPU"}, {"ENDSTRUC", "END"}, {"IEND", "IEN"},
    {"INCBIN", "INC"}, {"ISTRUC", "IST"}, {"RESB", "RES"}, {"RESW", "RES"}, {"RESD", "RES"}, {"RESQ", "RES"},
    {"SECTION", "SEC"}, {"SEGMENT", "SEG"}, {"STRUC", "STR"}, {"USE16", "USE"},
    {"ENDS", "END"}, {"ASSUME", "ASS"}, {"GROUP", "GRO"}, {"DOSSEG", "DOS"}, {"TITLE", "TIT"}, {"SUBTTL", "SUB"},
    {"PAGE", "PAG"}, {"NAME", "NAM"}, {"JUMPS", "JUM"},
};

TEST(Dispatch, EveryAcceptedMnemonicReachesItsSlot) {
    for (const auto& [text, slot] : accepted) {
        const Mnemonic* found = find_mnemonic(text);
        ASSERT_NE(found, nullptr) << text;
        EXPECT_STREQ(found->slot, slot) << text;
    }
}

TEST(Dispatch, EveryAcceptedMnemonicHasAHandler) {
    // With no operand text, a handler answers its bytes, a directive's code
    // or a request for operands, never "Invalid Operation Code".
    vexa_test::TestAssembly test;
    Statement& s = test.statement();
    test.operands("");
    for (const auto& [text, slot] : accepted) {
        s.begin(0);
        EXPECT_NE(dispatch_mnemonic(s, text), ERR_INVALID_OPCODE) << text;
    }
}

TEST(Dispatch, HandlersCalledWithOperandsFirstOnlyAskForThem) {
    // The driver skips the first call of these handlers: with operand text
    // present but not yet read, that call must ask for operands and store nothing.
    vexa_test::TestAssembly test;
    Statement& s = test.statement();
    test.operands("AX,1");
    int operands_first = 0;
    for (const auto& [text, slot] : accepted) {
        const Mnemonic* found = find_mnemonic(text);
        if (!reads_operands_first(*found)) continue;
        ++operands_first;
        s.begin(0);
        EXPECT_EQ(found->handler(*found, s), ERR_MISSING_OPERAND) << text;
        EXPECT_EQ(s.code_len + s.data_len + s.deferred_error, 0) << text;
    }
    EXPECT_GT(operands_first, 60);  // the operand-taking instructions
}

TEST(Dispatch, MisspellingsAreInvalid) {
    const char* const invalid[] = {
        "A",    "Z",     "AD",    "MO",     "XX",    "ADDX",  "MOVE",   "MOVSX", "PUSHAD", "JNAEX", "LOOPN",
        "LOOPNX", "REPNX", "REPN", "REPNEX", "IRE",  "IREX",  "IRETD",  "INTX",  "AD1",   "MO1",
        "1ADD", "CALLF", "JMPF",   "DBX",   "DSS",   "MOVSD",  "MOVSBX", "LODSX", "JCX",   "JNAX",
        "RETX", "RETNF", "LOCKX", "WAITX",  "CMPSBX", "TES",  "TESTS",  "PUS",   "PUSHFX", "POPFX", "LAH",
        "SHLX", "NOPE",  "A\x80", "\xC1" "DD", "DB1", "J",   "JMPS",   "D",     "E",     "EN",    "EQ",
        "ENDSX", "ENDMX", "ENDIFX", "ENDX",   "ENDPX", "MACROS", "REPTX", "IRPCX", "LOCALX",
    };
    vexa_test::TestAssembly test;
    for (const char* text : invalid) {
        EXPECT_EQ(find_mnemonic(text), nullptr) << text;
        EXPECT_EQ(dispatch_mnemonic(test.statement(), text), ERR_INVALID_OPCODE) << text;
    }
}

// Every mnemonic spelled in full, every register and size keyword, and the
// directives that stand alone (ENDS, ENDIF...) are reserved
// words; the mnemonics find the rows the trie finds. A word that only
// begins a mnemonic accepting any ending is not one, nor a name beginning
// with END.
TEST(Dispatch, ReservedWords) {
    for (const auto& [text, slot] : accepted) {
        const ReservedWord* word = find_reserved_word(packed(text));
        bool any_ending = std::strlen(text) > 3 && find_mnemonic(text)->rest == nullptr;
        if (any_ending) {
            EXPECT_EQ(word, nullptr) << text;
            continue;
        }
        ASSERT_NE(word, nullptr) << text;
        EXPECT_EQ(word->mnemonic, find_mnemonic(text)) << text;
    }
    for (const char* text : {"AL", "CL", "DL", "BL", "AH", "CH", "DH", "BH", "AX", "CX", "DX", "BX", "SP", "BP",
                             "SI", "DI", "ES", "CS", "SS", "BYTE", "WORD", "DWORD", "FAR", "NEAR", "OFFSET",
                             "SHORT"}) {
        const ReservedWord* word = find_reserved_word(packed(text));
        ASSERT_NE(word, nullptr) << text;
        EXPECT_EQ(word->mnemonic, nullptr) << text;
    }
    for (const char* text : {"START", "MSG", "PTR", "DUP", "ENDING", "ENDX", "ODD", "A", "NOPS", "MOVSBX"}) {
        EXPECT_EQ(find_reserved_word(packed(text)), nullptr) << text;
    }
}

TEST(Dispatch, AliasesShareTheirEncoding) {
    const char* const same[][2] = {{"JC", "JB"},   {"JZ", "JE"},   {"SHL", "SAL"},  {"JNAE", "JB"}, {"JNA", "JBE"},
                                   {"JNB", "JAE"}, {"JNBE", "JA"}, {"JNC", "JAE"},  {"JNG", "JLE"}, {"JNGE", "JL"},
                                   {"JNL", "JGE"}, {"JNLE", "JG"}, {"JNZ", "JNE"},  {"JPE", "JP"},  {"JPO", "JNP"},
                                   {"RETN", "RET"}, {"REPE", "REP"}, {"REPZ", "REP"}, {"LOOPZ", "LOOPE"},
                                   {"LOOPNZ", "LOOPNE"}};
    for (const auto& [alias, original] : same) {
        const Mnemonic* a = find_mnemonic(alias);
        const Mnemonic* b = find_mnemonic(original);
        ASSERT_TRUE(a && b) << alias;
        EXPECT_EQ(a->handler, b->handler) << alias;
        EXPECT_EQ(a->opcode, b->opcode) << alias;
        EXPECT_EQ(a->extension, b->extension) << alias;
    }
}

}  // namespace
