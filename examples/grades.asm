; Grades: the highest, lowest and average of a list of marks, in decimal.
; A .MODEL SMALL program as course labs write one: the data under .DATA,
; the code under .CODE, DS loaded with @DATA first, and variables named
; without brackets (CMP AL,BEST compares with the byte stored at BEST).
; It assembles to an .EXE program, grades.EXE.
        .MODEL SMALL
        .STACK 100H
        .DATA
MARKS   DB 67,82,45,91,74,58,88,70  ; one byte per mark
COUNT   EQU 8
BEST    DB 0                    ; the highest so far
WORST   DB 255                  ; the lowest so far
TOTAL   DW 0
MSGHI   DB 'Highest: $'
MSGLO   DB 'Lowest:  $'
MSGAVG  DB 'Average: $'
        .CODE
MAIN    PROC
        MOV AX,@DATA            ; DOS leaves DS at the program segment
        MOV DS,AX               ; prefix: point it at our data
        MOV SI,0                ; index into MARKS
        MOV CX,COUNT
NEXT:   MOV AL,MARKS[SI]        ; AL = the mark
        CMP AL,BEST
        JBE NOTBEST
        MOV BEST,AL
NOTBEST: CMP AL,WORST
        JAE NOTWORST
        MOV WORST,AL
NOTWORST: MOV AH,0
        ADD TOTAL,AX            ; a word: AX is added to TOTAL
        INC SI
        LOOP NEXT

        LEA DX,MSGHI
        MOV AL,BEST
        CALL SHOWBYTE
        LEA DX,MSGLO
        MOV AL,WORST
        CALL SHOWBYTE
        LEA DX,MSGAVG
        MOV AX,TOTAL
        MOV BL,COUNT
        DIV BL                  ; AL = TOTAL / COUNT, the remainder in AH
        CALL SHOWBYTE
        MOV AX,4C00H            ; back to DOS with exit code 0
        INT 21H
MAIN    ENDP

; SHOWBYTE: print the text at DX, then AL in decimal and a new line.
SHOWBYTE PROC
        PUSH AX
        MOV AH,09H
        INT 21H
        POP AX
        MOV AH,0
        CALL PRINTNUM
        MOV DL,0DH
        MOV AH,02H
        INT 21H
        MOV DL,0AH
        INT 21H
        RET
SHOWBYTE ENDP

; PRINTNUM: print AX as an unsigned decimal number. The digits come out of
; the division last first, so they are pushed and popped in printing order.
PRINTNUM PROC
        MOV BX,10
        XOR CX,CX               ; CX counts the digits
DIVIDE: XOR DX,DX
        DIV BX                  ; AX = AX / 10, DX = the last digit
        PUSH DX
        INC CX
        TEST AX,AX
        JNZ DIVIDE
DIGIT:  POP DX
        ADD DL,'0'
        MOV AH,02H
        INT 21H
        LOOP DIGIT
        RET
PRINTNUM ENDP
        END MAIN
