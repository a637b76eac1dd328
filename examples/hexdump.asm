; A table lookup with XLAT: prints bytes in hexadecimal, each nibble turned
; into its digit by indexing the table of sixteen digits.
        ORG 100H
START:  MOV SI,OFFSET DATA
        MOV CX,DATALEN
        MOV BX,OFFSET DIGITS    ; XLAT reads [BX+AL]
NEXT:   LODSB
        MOV AH,AL
        PUSH CX
        MOV CL,4
        SHR AL,CL               ; high nibble
        POP CX
        XLAT
        CALL PUTCHAR
        MOV AL,AH
        AND AL,0FH              ; low nibble
        XLAT
        CALL PUTCHAR
        MOV AL,20H
        CALL PUTCHAR
        LOOP NEXT
        MOV AL,0DH
        CALL PUTCHAR
        MOV AL,0AH
        CALL PUTCHAR
        INT 20H

; Prints the character in AL, keeping AX.
PUTCHAR:
        PUSH AX
        MOV DL,AL
        MOV AH,02H
        INT 21H
        POP AX
        RET

DIGITS  DB '0123456789ABCDEF'
DATA    DB 0,1,7FH,80H,0A5H,0FFH,'Hi'
DATALEN EQU 8
        END START
