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

constexpr int L = FIELD_LABEL, M = FIELD_MNEMONIC, O = FIELD_OPERANDS, E = FIELD_LABEL_ERROR;

const SplitCase split_cases[] = {
    {"LOOP1:MOV AX,1", L | M | O, "LOOP1", "MOV", "AX,1"},
    {"START", L, "START", "", ""},
    {"START:", L, "START", "", ""},
    {"   NOP   ; comment", M, "", "NOP", ""},
    {"VERYLONGNAME: NOP", L | M, "VERYLONGNAME", "NOP", ""},
    {"VERYLONGNAME", L, "VERYLONGNAME", "", ""},
    {"Counter_1\tEQU 1", L | M | O, "COUNTER_1", "EQU", "1"},
    {"print_string_of_sixteen:ret", L | M, "PRINT_STRING_OF_SIXTEEN", "RET", ""},
    {"NOP", M, "", "NOP", ""},
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
    {"a'b  x  'c d'", E | M | O, "A'B", "X", "'c d'"},  // a label in error: see the layouts
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
    {"  db 'a', x word", M | O, "", "DB", "'a',X \x1bW"},
    {"  mov x byte", M | O, "", "MOV", "X \x1b" "B"},
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
    // Backquoted text as well; in it `\`` does not close, and ' " ; are text.
    {"  db `a;b` ; c", M | O, "", "DB", "`a;b`"},
    {"  db `it's`, \"x\" ; y`", M | O, "", "DB", "`it's`,\"x\""},
    {"  db `a\\`;b` , x ; c`", M | O, "", "DB", "`a\\`;b`,X"},
    {"  db `\\\\` , 'q' ; `", M | O, "", "DB", "`\\\\`,'q'"},
    {"  mov al,`;` ; it's", M | O, "", "MOV", "AL,`;`"},
    {"  db 'a`b' , `x` ; `", M | O, "", "DB", "'a`b',`x`"},
    {"  db \"`\" , `\"` ; '", M | O, "", "DB", "\"`\",`\"`"},
    {"  db `ab ; c", M | O, "", "DB", "`AB"},               // unclosed: the comment begins
    {"  db `ab\\` ; c`d", M | O, "", "DB", "`ab\\` ; c`D"},  // `\`` leaves the first open
    {"  db x ; `a` `b`", M | O, "", "DB", "X"},
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

// Instructions and directives in any column, labels with a colon in any
// column, names before the directives that define them; reserved words and
// names no operand could read are no labels.
TEST_F(SplitLine, Layouts) {
    struct LayoutCase {
        const char* line;
        const char* label;
        const char* prefix;
        const char* mnemonic;
        const char* operands;
        int label_error;
    };
    const LayoutCase cases[] = {
        {"ret", "", "", "RET", "", 0},
        {"lodsb", "", "", "LODSB", "", 0},
        {"cbw ; convert", "", "", "CBW", "", 0},
        {"end start", "", "", "END", "START", 0},
        {"org 100h", "", "", "ORG", "100H", 0},
        {"mov ax,0B800h", "", "", "MOV", "AX,0B800H", 0},
        {"db 1,2", "", "", "DB", "1,2", 0},
        {"rep movsb", "", "REP", "MOVSB", "", 0},
        {"LOOP MOV CX,5", "", "", "LOOP", "MOV CX,5", 0},
        {"START MOV AX,1", "START", "", "MOV", "AX,1", 0},
        {"MSG DB 'HI'", "MSG", "", "DB", "'HI'", 0},
        {"DATA ENDS", "DATA", "", "ENDS", "", 0},
        {"ENDIF", "", "", "ENDIF", "", 0},
        {"endm", "", "", "ENDM", "", 0},
        {"even:", "EVEN", "", "", "", 0},
        {"ENDING MOV AX,1", "ENDING", "", "MOV", "AX,1", 0},
        {"ENDS:", "ENDS", "", "", "", 0},  // MASM's words, with a colon, are labels
        {"ORGAN 100H", "ORGAN", "", "100H", "", 0},
        {"    start:  mov ax,1", "START", "", "MOV", "AX,1", 0},
        {"	start:	nop", "START", "", "NOP", "", 0},
        {"  lbl:rep movsb", "LBL", "REP", "MOVSB", "", 0},
        {"   start:", "START", "", "", "", 0},
        {"   _x: nop", "_X", "", "NOP", "", 0},
        {"   msg db 'hi$'", "MSG", "", "DB", "'hi$'", 0},
        {"  count equ 5", "COUNT", "", "EQU", "5", 0},
        {"  x equate 5", "X", "", "EQUATE", "5", 0},
        {"  main proc", "MAIN", "", "PROC", "", 0},
        {"  main endp", "MAIN", "", "ENDP", "", 0},
        {"  buf ds 10", "BUF", "", "DS", "10", 0},
        {"  a_very_long_name dw 1", "A_VERY_LONG_NAME", "", "DW", "1", 0},
        {"  start", "", "", "START", "", 0},
        {"  foo bar", "", "", "FOO", "BAR", 0},
        {"  DATA ENDS", "DATA", "", "ENDS", "", 0},
        {"NAME DB 20 DUP(?)", "NAME", "", "DB", "20 DUP(?)", 0},  // a word of the listing names a variable
        {"  PAGE DW 0", "PAGE", "", "DW", "0", 0},
        {"  PAGE 60,132", "", "", "PAGE", "60,132", 0},
        {"TITLE Lab 1", "", "", "TITLE", "LAB 1", 0},
        {"  ORGAN 100H", "", "", "ORGAN", "100H", 0},
        {"  count db", "COUNT", "", "DB", "", 0},
        {"NOP:", "", "", "", "", ERR_SYNTAX},
        {"   nop:", "", "", "", "", ERR_SYNTAX},
        {"  db: 1", "", "", "", "", ERR_SYNTAX},
        {"ES: MOV AX,[BX]", "", "", "MOV", "AX,[BX]", 0},
        {"AX DW 5", "", "", "", "", ERR_SYNTAX},
        {"  ax dw 5", "", "", "", "", ERR_SYNTAX},
        {"byte: nop", "", "", "", "", ERR_SYNTAX},
        {"  offset equ 1", "", "", "", "", ERR_SYNTAX},
        {"9LIVES:", "", "", "", "", ERR_SYNTAX},
        {"   9lives db 1", "", "", "", "", ERR_SYNTAX},
        {"A#B:", "", "", "", "", ERR_INVALID_CHARACTER},
        {"a'b  x  'c d'", "", "", "", "", ERR_INVALID_CHARACTER},
        {"  x.y: nop", "X.Y", "", "NOP", "", 0},
        {"[org 0x7c00]", "", "", "", "", ERR_INVALID_CHARACTER},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.line);
        int fields = split(c.line);
        EXPECT_EQ(s.label_error, c.label_error);
        if (c.label_error) {
            EXPECT_EQ(fields & (L | E), E);
            continue;
        }
        expect_label(c.label);
        EXPECT_EQ(fields & FIELD_LABEL, c.label[0] ? FIELD_LABEL : 0);
        EXPECT_STREQ(s.prefix_field, c.prefix);
        EXPECT_STREQ(s.mnemonic_field, c.mnemonic);
        EXPECT_EQ(s.mnemonic, find_mnemonic(s.mnemonic_field));
        EXPECT_STREQ(s.operand_text, c.operands);
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
