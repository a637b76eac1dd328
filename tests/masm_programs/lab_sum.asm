; Lab 3: add the marks in an array, then print the total (with a bonus
; added) and how many marks were counted, in decimal.
        .MODEL SMALL
        .STACK 100H
        .DATA
MSG1    DB 'Total = $'
MSG2    DB 0DH,0AH,'Count = $'
MARKS   DB 12,25,7,40,16        ; the marks to add
N       EQU 5                   ; how many there are
BONUS   DW 1000
SUM     DW ?
COUNT   DB 0
        .CODE
MAIN    PROC
        MOV AX,@DATA
        MOV DS,AX               ; DS -> our data
        MOV BX,BONUS            ; BX = 1000 (the word at BONUS)
        XOR AX,AX
        MOV SI,0
        MOV CX,N
NEXT:   ADD AL,MARKS[SI]        ; AX = AX + MARKS[SI]
        ADC AH,0
        INC COUNT
        INC SI
        LOOP NEXT
        ADD AX,BX
        MOV SUM,AX
        LEA DX,MSG1
        MOV AH,09H
        INT 21H
        MOV AX,SUM
        CALL PRINTNUM
        MOV DX,OFFSET MSG2
        MOV AH,09H
        INT 21H
        MOV AL,COUNT
        MOV AH,0
        CALL PRINTNUM
        MOV BX,'OK'             ; BH = 'O', BL = 'K': the first letter is high
        MOV AH,02H
        MOV DL,' '
        INT 21H
        MOV DL,BH
        INT 21H
        MOV DL,BL
        INT 21H
        MOV AX,4C00H            ; back to DOS
        INT 21H
MAIN    ENDP

; PRINTNUM: print AX as an unsigned decimal number.
PRINTNUM PROC NEAR
        MOV BX,10
        XOR CX,CX               ; CX = number of digits
DIVIDE: XOR DX,DX
        DIV BX                  ; AX = AX / 10, DX = the last digit
        PUSH DX
        INC CX
        CMP AX,0
        JNE DIVIDE
SHOW:   POP DX                  ; the digits come back first to last
        ADD DL,'0'
        MOV AH,02H
        INT 21H
        LOOP SHOW
        RET
PRINTNUM ENDP
        END MAIN
