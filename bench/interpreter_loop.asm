; A loop of everyday instructions for measuring the interpreter's speed:
; moves between registers and memory, arithmetic and logic, shifts, the
; stack, a call, string instructions and conditional jumps. It never ends;
; the benchmark stops it at an instruction limit.
        ORG 100H
START:  MOV SI,TABLE
        MOV DI,COPY
        MOV CX,100
        CLD
NEXT:   MOV AX,[SI]
        ADD AX,BX
        ADC DX,0
        MOV [DI],AX
        INC SI
        INC SI
        XOR BX,AX
        SHL BX,1
        AND BL,7FH
        PUSH CX
        CALL MIX
        POP CX
        CMP AX,DX
        JNE SKIP
        INC DX
SKIP:   LODSB
        STOSB
        DEC SI
        DEC DI
        LOOP NEXT
        JMP START
MIX:    MOV CL,3
        ROR AX,CL
        TEST AX,1
        JZ EVEN
        NEG AX
EVEN:   SUB AX,[BX+TABLE]
        RET
TABLE:  DW 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16
        DS 512
COPY:   DS 512
        END START
