// Label, mnemonic and operand text of typical and awkward source lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "parse/parse.h"
#include "support/test_assembly.h"

namespace {

using namespace vexa;

struct SplitCase {
    const char* line;
    int fields;
    const char* label;
    const char* mnemonic;
    const char* operands;  // "\x1b" stands for the size-mark escape
};

constexpr int L = FIELD_LABEL, M = FIELD_MNEMONIC, O = FIELD_OPERANDS;

const SplitCase split_cases[] = {
    {"LOOP1:MOV AX,1", L | M | O, "LOOP1", "MOV", "AX,1"},
    {"START", L, "START", "", ""},
    {"START:", L, "START", "", ""},
    {"   NOP   ; comment", M, "", "NOP", ""},
    {"VERYLONGNAME: NOP", L | M, "VERYLONGNAME", "NOP", ""},
    {"VERYLONGNAME", L, "VERYLONGNAME", "", ""},
    {"Counter_1\tEQU 1", L | M | O, "COUNTER_1", "EQU", "1"},
    {"print_string_of_sixteen:ret", L | M, "PRINT_STRING_OF_SIXTEEN", "RET", ""},
    {"NOP", L, "NOP", "", ""},
    {"   ABCDEFGHIJ AX", M | O, "", "ABCDEFGH", "IJ AX"},
    {"  MOV AX,BX ; it's", M | O, "", "MOV", "AX,BX"},
    {"  MOV AL,5 ; 'x'", M | O, "", "MOV", "AL,5"},
    {"  DB 'a;b' ; text", M | O, "", "DB", "'a;b'"},
    {"  mov  Ax , Bx", M | O, "", "MOV", "AX,BX"},
    {";", 0, "", "", ""},
    {" \t ", 0, "", "", ""},
    {"", 0, "", "", ""},
    {":  NOP", M, "", "NOP", ""},
    {"lbl:nop", L | M, "LBL", "NOP", ""},
    {"a'b  x  'c d'", L | M | O, "A'B", "X", "'c d'"},
    {"  mov ax, word ptr [bx+si+4]", M | O, "", "MOV", "AX,\x1bW[BX+SI+4]"},
    {"  mov es:byte ptr [di],1", M | O, "", "MOV", "ES:\x1b" "B[DI],1"},
    {"  jmp far ptr target", M | O, "", "JMP", "\x1b" "FTARGET"},
    {"  mov ax,offset table", M | O, "", "MOV", "AX,\x1bOTABLE"},
    {"  mov al , bytes", M | O, "", "MOV", "AL,BYTES"},
    {"  db 'a b', 0ffh ; note", M | O, "", "DB", "'a b',0FFH"},
    // From the first quote on, only quoted text stays as written.
    {"  cmp al,';' ; semicolon?", M | O, "", "CMP", "AL,';'"},
    {"  mov dl,'0' + 5 ; it's", M | O, "", "MOV", "DL,'0'+5"},
    {"  sub al,'a' - 'A'", M | O, "", "SUB", "AL,'a'-'A'"},
    {"  db 'x', 1 2", M | O, "", "DB", "'x',1 2"},
    {"  db \"It's\" , x", M | O, "", "DB", "\"It's\",X"},
    {"  db 'ok', 'open ; end", M | O, "", "DB", "'ok','open ; end"},
    {"  mov al, 'x'", M | O, "", "MOV", "AL,'x'"},
    // Size keywords after a quoted string are keywords still.
    {"  mov word ptr ['d'],offset x", M | O, "", "MOV", "\x1bW['d'],\x1bOX"},
    {"  cmp [si+'0'], byte ptr al ; x", M | O, "", "CMP", "[SI+'0'],\x1b" "BAL"},
    {"  db 'a', word", M | O, "", "DB", "'a',\x1bW"},
    {"  db 'a', x word", M | O, "", "DB", "'a',X WORD"},
    {"  mov x byte", M | O, "", "MOV", "X BYTE"},
    // One blank stays between two names or numbers, none anywhere else.
    {"  mov ax , 5 5", M | O, "", "MOV", "AX,5 5"},
    {"  mov ax,x  +  y\tz", M | O, "", "MOV", "AX,X+Y Z"},
    {"  mov ax, word ptr  x", M | O, "", "MOV", "AX,\x1bWX"},
    {"  jmp short  x", M | O, "", "JMP", "\x1bSX"},
    {"  inc word   ptr [bx]", M | O, "", "INC", "\x1bW[BX]"},
    {"  inc WORD PTR[BX]", M | O, "", "INC", "\x1bW[BX]"},
    {"  inc word [bx]", M | O, "", "INC", "\x1bW[BX]"},
    {"  inc ptr", M | O, "", "INC", "PTR"},
    {"  inc word ptrx", M | O, "", "INC", "\x1bWPTRX"},
    {"  push word byte", M | O, "", "PUSH", "\x1bWBYTE"},
    {"  mov ax,[byte+1]", M | O, "", "MOV", "AX,[\x1b" "B+1]"},
    {"  mov byte1,far_x", M | O, "", "MOV", "BYTE1,FAR_X"},
    {"  mov offsetx,dword", M | O, "", "MOV", "OFFSETX,\x1b" "D"},
    {"  call near", M | O, "", "CALL", "\x1bN"},
    {"  db word 'x'", M | O, "", "DB", "\x1bW'x'"},
    {"  db word  ptr'x'", M | O, "", "DB", "\x1bW'x'"},
    {"  db word 'ptr'", M | O, "", "DB", "\x1bW'ptr'"},
    {"  dw 1 ; 2 '3'", M | O, "", "DW", "1"},
    {"  db \"It's\"", M | O, "", "DB", "\"It's\""},
    {"  db 'ab\" ; \"'", M | O, "", "DB", "'ab\" ; \"'"},
    {"  x 'unclosed", M | O, "", "X", "'UNCLOSED"},
    {"  sub \xe9x,1", M | O, "", "SUB", "\xe9X,1"},
};

class SplitLine : public testing::Test {
protected:
    // The label is terminated text and its length agrees.
    void expect_label(const char* label) {
        EXPECT_STREQ(s.label_field, label);
        EXPECT_EQ(s.label_length, int(std::strlen(label)));
    }
    int split(const std::string& line) {
        std::memset(s.line_buffer, 0, sizeof s.line_buffer);
        line.copy(s.line_buffer, line.size());
        return split_line(s);
    }

    vexa_test::TestAssembly test;
    Statement& s = test.statement();
};

TEST_F(SplitLine, FieldsOfTypicalLines) {
    for (const SplitCase& c : split_cases) {
        std::memset(s.label_field, 'z', LABEL_CAPACITY);
        s.label_length = 99;
        int fields = split(c.line);
        SCOPED_TRACE(c.line);
        EXPECT_EQ(fields, c.fields);
        expect_label(c.label);
        if (fields == 0) continue;
        EXPECT_STREQ(s.mnemonic_field, c.mnemonic);
        EXPECT_STREQ(s.operand_text, c.operands);
    }
}

// A label is kept whole up to the longest line, whatever follows it.
TEST_F(SplitLine, LabelOfEveryLength) {
    for (int length = 1; length <= LINE_CAPACITY - 2; ++length) {
        std::string label(length, 'n');
        label[length - 1] = char('a' + length % 26);
        std::string upper = label;
        for (char& c : upper) c = char(c - 'a' + 'A');
        for (const std::string& rest : {std::string(), std::string(":"), std::string(" NOP")}) {
            std::string line = (label + rest).substr(0, LINE_CAPACITY - 2);
            SCOPED_TRACE(line);
            ASSERT_EQ(split(line) & FIELD_LABEL, FIELD_LABEL);
            expect_label(upper.c_str());
        }
    }
}

TEST_F(SplitLine, NoLabelLeavesAnEmptyOne) {
    split("A_LONG_LABEL: NOP");
    split("  NOP");
    expect_label("");
}

TEST_F(SplitLine, CommentIsCutInsideTheLineBuffer) {
    split("  DW X  ; note");
    EXPECT_STREQ(s.line_buffer, "  DW X  ");
    split("  DB 'AB' ; note");
    EXPECT_STREQ(s.line_buffer, "  DB 'AB' ; note");
}

}  // namespace
