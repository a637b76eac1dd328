; Adds two numbers typed at the keyboard and greets the user by name, with
; the course library's macros and procedures.
INCLUDE 'emu8086.inc'

        ORG 100H
        PRINTN 'Adding two numbers'
        PRINT 'First number: '
        CALL SCAN_NUM
        MOV [FIRST], CX
        PRINTN
        PRINT 'Second number: '
        CALL SCAN_NUM
        PRINTN
        MOV AX, [FIRST]
        ADD AX, CX
        CALL PTHIS
        DB 'The sum is ', 0
        CALL PRINT_NUM
        PUTC '.'
        PUTC 0DH
        PUTC 0AH

        PRINT 'Your name: '
        MOV DI, OFFSET USER
        MOV DX, USER_SIZE
        CALL GET_STRING
        PRINTN
        MOV SI, OFFSET GREETING
        CALL PRINT_STRING
        MOV SI, OFFSET USER
        CALL PRINT_STRING
        PUTC '!'
        PRINTN
        RET

FIRST   DW 0
GREETING DB 'Hello, ', 0
USER    DB 20 DUP(0)
USER_SIZE EQU $-USER

DEFINE_SCAN_NUM
DEFINE_PRINT_NUM
DEFINE_PRINT_NUM_UNS
DEFINE_PTHIS
DEFINE_PRINT_STRING
DEFINE_GET_STRING
        END
