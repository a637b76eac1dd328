; Sorts an array of signed words in memory (bubble sort) and prints it.
        ORG 100H
START:  MOV CX,COUNT
        DEC CX                  ; passes: one fewer than elements
PASS:   PUSH CX
        MOV SI,OFFSET VALUES
        XOR DX,DX               ; swaps made in this pass
COMPARE:
        MOV AX,[SI]
        CMP AX,[SI+2]
        JLE IN_ORDER
        XCHG AX,[SI+2]          ; swap the pair
        MOV [SI],AX
        INC DX
IN_ORDER:
        ADD SI,2
        LOOP COMPARE
        POP CX
        TEST DX,DX
        JZ SORTED               ; no swap: already in order
        LOOP PASS
SORTED: MOV SI,OFFSET VALUES
        MOV CX,COUNT
SHOW:   MOV AX,[SI]
        CALL SIGNED
        MOV DL,20H
        MOV AH,02H
        INT 21H
        ADD SI,2
        LOOP SHOW
        MOV DL,0DH
        INT 21H
        MOV DL,0AH
        INT 21H
        RET                     ; back to DOS through PSP:0000

; Prints AX as a signed decimal number.
SIGNED:
        PUSH CX
        TEST AX,AX
        JNS POSITIVE
        PUSH AX
        MOV DL,2DH              ; '-'
        MOV AH,02H
        INT 21H
        POP AX
        NEG AX
POSITIVE:
        MOV BX,10
        XOR CX,CX
DIVIDE: XOR DX,DX
        DIV BX
        PUSH DX
        INC CX
        TEST AX,AX
        JNZ DIVIDE
DIGIT:  POP DX
        ADD DL,30H
        MOV AH,02H
        INT 21H
        LOOP DIGIT
        POP CX
        RET

COUNT   EQU 10
VALUES  DW 34,-5,1000,0,7,-300,7,12,-1,999
        END START
