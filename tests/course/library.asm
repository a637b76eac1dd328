; The course library's procedures over their edge cases: numbers at the
; ends of their ranges, keys to ignore and to take back, buffers too small,
; and the registers each macro and procedure must keep.
INCLUDE 'emu8086.inc'

        ORG 100H
; PRINT, PRINTN and PUTC with, inside quotes, the characters that macro
; arguments treat specially.
        PRINT 'a, b; c'
        PRINTN " <&!> it's"
        PRINTN
        PUTC '!'
        PUTC ';'
        PUTC ','
        PRINTN ''

; PRINT_NUM and PRINT_NUM_UNS: each word signed, then unsigned.
        MOV SI, OFFSET NUMBERS
PRINT_NEXT:
        MOV AX, [SI]
        CALL PRINT_NUM
        PUTC ' '
        CALL PRINT_NUM_UNS
        PRINTN
        ADD SI, 2
        CMP SI, OFFSET NUMBERS_END
        JB PRINT_NEXT

; SCAN_NUM: one input line a number, printed back after '='.
        MOV BX, SCANS
SCAN_NEXT:
        CALL SCAN_NUM
        PUTC '='
        MOV AX, CX
        CALL PRINT_NUM
        PRINTN
        DEC BX
        JNZ SCAN_NEXT

; GET_STRING: one input line a string, into a buffer of the size the
; table gives, printed back between brackets.
        MOV BX, OFFSET SIZES
READ_NEXT:
        MOV DI, OFFSET BUFFER
        MOV DL, [BX]
        MOV DH, 0
        CALL GET_STRING
        PRINT ' ['
        MOV SI, DI
        CALL PRINT_STRING
        PRINTN ']'
        INC BX
        CMP BX, OFFSET SIZES_END
        JB READ_NEXT

; A second DEFINE_ lays nothing down: the names would be defined twice.
DEFINE_PRINT_STRING
DEFINE_PRINT_NUM

; Registers: every one keeps its value through everything but SCAN_NUM,
; which answers in CX.
        MOV AX, 1234H
        MOV BX, 5678H
        MOV CX, 9ABCH
        MOV DX, 4
        MOV SI, OFFSET WORD_TEXT
        MOV DI, OFFSET BUFFER
        MOV BP, 0DEF0H
        PUTC '*'
        PRINT ' print '
        PRINTN 'printn'
        CALL PRINT_NUM
        PUTC ' '
        CALL PRINT_NUM_UNS
        CALL PRINT_STRING
        CALL PTHIS
        DB ' pthis', 0
        CALL GET_STRING
        CALL SCAN_NUM
        PRINTN
        PUSH BP
        PUSH DI
        PUSH SI
        PUSH DX
        PUSH CX
        PUSH BX
        PUSH AX
        MOV BP, SP
        MOV SI, OFFSET KEPT
        MOV DI, OFFSET REGISTER_NAMES
CHECK_NEXT:
        PUTC [DI]
        PUTC [DI+1]
        MOV AX, [BP]
        CMP AX, [SI]
        JE KEPT_ONE
        PRINTN ' changed'
        JMP CHECKED
KEPT_ONE:
        PRINTN ' kept'
CHECKED:
        ADD BP, 2
        ADD SI, 2
        ADD DI, 2
        CMP SI, OFFSET KEPT_END
        JB CHECK_NEXT
        ADD SP, 14
        RET

NUMBERS DW 0, 1, 9, 10, 32767, 32768, 65535, -1, -10, 12345
NUMBERS_END LABEL WORD
SCANS   EQU 14
SIZES   DB 5, 5, 1, 5, 5, 0
SIZES_END LABEL BYTE
BUFFER  DB 8 DUP('#'), 0
WORD_TEXT DB ' word', 0
REGISTER_NAMES DB 'AXBXCXDXSIDIBP'
KEPT    DW 1234H, 5678H, -42, 4, WORD_TEXT, BUFFER, 0DEF0H
KEPT_END LABEL WORD

DEFINE_SCAN_NUM
DEFINE_GET_STRING
DEFINE_PRINT_STRING
DEFINE_PTHIS
DEFINE_PRINT_NUM
DEFINE_PRINT_NUM_UNS
        END
