; Prints a table of words in decimal, one per line.
        ORG 100H
START:  MOV SI,OFFSET NUMBERS
        MOV CX,COUNT
NEXT:   MOV AX,[SI]
        CALL PRINTNUM
        CALL NEWLINE
        ADD SI,2
        LOOP NEXT
        MOV AX,4C00H
        INT 21H

; Prints AX as an unsigned decimal number: the digits are found from the
; right by dividing by 10, pushed, and popped in printing order.
PRINTNUM:
        PUSH CX
        MOV BX,10
        XOR CX,CX
DIVIDE: XOR DX,DX
        DIV BX                  ; DX:AX / 10: quotient in AX, digit in DX
        PUSH DX
        INC CX
        TEST AX,AX
        JNZ DIVIDE
DIGIT:  POP DX
        ADD DL,30H              ; '0'
        MOV AH,02H
        INT 21H
        LOOP DIGIT
        POP CX
        RET

NEWLINE:
        MOV DL,0DH
        MOV AH,02H
        INT 21H
        MOV DL,0AH
        INT 21H
        RET

COUNT   EQU 6
NUMBERS DW 0,7,42,1234,32768,65535
        END START
