; JMP SHORT forward and backward over code, to the ends of its reach, and
; SHORT before the targets of the conditional jumps, JCXZ and the loops.
        ORG 100H
START:  MOV AX,0
        MOV CX,5
        JMP SHORT SKIP          ; ahead, over two instructions
        MOV AX,1
        MOV BX,2
SKIP:   INC AX
        LOOP SHORT SKIP         ; behind
        JCXZ SHORT CXZERO       ; ahead
        NOP
CXZERO: CMP AX,5
        JE SHORT EQUAL          ; ahead
        JNE SHORT START         ; behind
EQUAL:  JMP SHORT NEXT          ; the very next byte
NEXT:   JMP SHORT $+2
        JMP SHORT AHEAD127      ; 127 bytes ahead
        MOV AX,0x1234
        DB 124 DUP(90H)
AHEAD127:
        MOV DX,3
BACK128: ADD AX,[BX]            ; 128 bytes behind the JMP's end
        SUB AX,[SI]
        DB 122 DUP(90H)
        JMP SHORT BACK128
        JE SHORT JAHEAD127      ; a conditional jump 127 bytes ahead
        DB 127 DUP(0x90)
JAHEAD127:
JBACK128:
        DB 126 DUP(90H)
        JNZ SHORT JBACK128      ; and 128 bytes behind
TAIL:   LOOPE SHORT TAIL
        LOOPZ SHORT LATER
        LOOPNE SHORT LATER
        LOOPNZ SHORT $
        JCXZ SHORT TAIL+1
        JMP SHORT LATER
LATER:  JMP SHORT TAIL
        RET
        END START
