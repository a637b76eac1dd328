; Segment overrides written inside the brackets, in every kind of memory
; operand, beside the same overrides written before the brackets.
        ORG 100H
START:  MOV AX,[ES:DI]
        MOV AX,ES:[DI]
        MOV [ES:DI],AL
        MOV BL,[CS:BX+SI+4]
        MOV BYTE PTR [SS:BP],5
        MOV WORD PTR [DS:SI+0x10],0x1234
        MOV AX,TABLE[ES:BX]
        MOV AX,TABLE+2[CS:DI]
        MOV AX,[ES:BX][SI]
        MOV AX,[CS:TABLE]
        MOV AX,[ES:BP+DI-0x80]
        MOV ES,[CS:SAVED]
        MOV [SS:BX],DS
        INC WORD PTR [CS:BX]
        ADD [ES:DI],AX
        CMP BYTE PTR [ES:SI],'A'
        TEST WORD PTR [SS:BP+6],8000H
        XCHG CX,[ES:BX]
        PUSH WORD PTR [SS:BP+2]
        POP WORD PTR [ES:DI]
        LEA AX,[ES:BX]
        LDS SI,[CS:FARPTR]
        LES DI,DWORD PTR [SS:BP+4]
        JMP [CS:BX]
        JMP DWORD PTR [CS:FARPTR]
        CALL WORD PTR [ES:BX+2]
        CALL FAR PTR [SS:BP]
        SHL WORD PTR [ES:DI],1
        NOT BYTE PTR [DS:BP]
        LODS BYTE PTR [ES:SI]
        MOVS WORD PTR [DI],[CS:SI]
        CMPS BYTE PTR [SS:SI],[DI]
        REP MOVS BYTE PTR [DI],[ES:SI]
        LOCK INC WORD PTR [ES:BX]
        RET
TABLE   DW 1,2,3
SAVED   DW 0
FARPTR  DW 0,0
        END START
