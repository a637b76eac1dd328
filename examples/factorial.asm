; Recursion through CALL and RET: n! = n * (n-1)!, with the argument passed
; on the stack and read through BP. Prints 0! to 8!.
        ORG 100H
START:  XOR SI,SI               ; n
AGAIN:  PUSH SI
        CALL FACT               ; AX = n!
        ADD SP,2
        CALL PRINTNUM
        MOV DL,20H
        MOV AH,02H
        INT 21H
        INC SI
        CMP SI,8
        JBE AGAIN
        MOV DL,0DH
        INT 21H
        MOV DL,0AH
        INT 21H
        MOV AX,4C00H
        INT 21H

; AX = n! for the n pushed before the call.
FACT:   PUSH BP
        MOV BP,SP
        MOV AX,[BP+4]           ; n, above the saved BP and the return address
        CMP AX,1
        JBE ONE
        DEC AX
        PUSH AX
        CALL FACT               ; AX = (n-1)!
        ADD SP,2
        MUL WORD PTR [BP+4]     ; DX:AX = n * (n-1)!
        POP BP
        RET
ONE:    MOV AX,1
        POP BP
        RET

; Prints AX in decimal, recursively: the digits above the last one first.
PRINTNUM:
        XOR DX,DX
        MOV CX,10
        DIV CX
        PUSH DX
        TEST AX,AX
        JZ LAST
        CALL PRINTNUM
LAST:   POP DX
        ADD DL,30H
        MOV AH,02H
        INT 21H
        RET
        END START
