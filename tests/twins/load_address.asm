; LEA, LDS and LES with bare addresses: names defined before and after the
; instruction, expressions of them, numbers, and the bracketed forms beside.
        ORG 100H
START:  LEA DX,MSG
        MOV AH,9
        INT 21H
        LEA SI,MSG+2
        LEA DI,TABLE[BX]
        LEA BX,[TABLE+4]
        LEA AX,5
        LEA CX,0x1234
        LEA BP,START
        LEA SP,$
        LDS SI,FARPTR
        LES DI,FARPTR+4
        LDS BX,[FARPTR]
        LES AX,0x80
        LDS DX,ES:[FARPTR]
        LEA DX,ES:[MSG]
        LEA SI,[SI+2]
        RET
MSG     DB 'Hello$'
TABLE   DW 1,2,3,4
FARPTR  DW 0x0010,0x2000
        DW 0x0020,0x3000
AFTER:  LEA DX,MSG
        LEA DI,AFTER
        LEA SI,MSG-START
        LDS SI,FARPTR
        LES BX,MSG
        RET
        END START
