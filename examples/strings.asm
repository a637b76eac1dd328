; String instructions with REP prefixes: copies a string, compares two
; strings, finds a character and counts a string's length.
        ORG 100H
START:  CLD                     ; string instructions walk upwards
        MOV SI,OFFSET SOURCE    ; copy SOURCE over TARGET, 6 bytes
        MOV DI,OFFSET TARGET
        MOV CX,6
        REP
        MOVSB
        MOV DX,OFFSET TARGET    ; prints "Vexa!"
        CALL PRINT

        MOV SI,OFFSET SOURCE    ; compare SOURCE with OTHER
        MOV DI,OFFSET OTHER
        MOV CX,5
        REPE
        CMPSB
        MOV DX,OFFSET SAME
        JE REPORT
        MOV DX,OFFSET DIFFERS
REPORT: CALL PRINT

        MOV DI,OFFSET SENTENCE  ; where is the first 'x'?
        MOV CX,SENTLEN
        MOV AL,78H              ; 'x'
        REPNE
        SCASB
        MOV AX,DI               ; DI stands after the match, so this
        SUB AX,OFFSET SENTENCE  ; is its position counted from 1
        ADD AL,30H              ; as a digit
        MOV DL,AL
        MOV AH,02H
        INT 21H

        MOV DI,OFFSET SENTENCE  ; length up to the terminating 0
        MOV CX,0FFFFH
        XOR AL,AL
        REPNZ
        SCASB
        NOT CX
        DEC CX                  ; CX = bytes before the 0
        MOV AX,CX
        MOV BL,10
        DIV BL                  ; two digits: AL tens, AH units
        ADD AX,3030H
        MOV BX,AX
        MOV DL,20H
        MOV AH,02H
        INT 21H
        MOV DL,BL
        INT 21H
        MOV DL,BH
        INT 21H
        MOV DX,OFFSET CRLF
        CALL PRINT

        MOV DI,OFFSET TARGET    ; fill TARGET with '*' and print it
        MOV AL,2AH
        MOV CX,5
        REP
        STOSB
        MOV DX,OFFSET TARGET
        CALL PRINT
        MOV DX,OFFSET CRLF
        CALL PRINT
        RET

PRINT:  MOV AH,09H
        INT 21H
        RET

SOURCE  DB 'Vexa!$'
OTHER   DB 'Vexa?$'
TARGET  DB '......$'
SAME    DB ' equal',0DH,0AH,'$'
DIFFERS DB ' differ',0DH,0AH,'$'
SENTENCE DB 'a fox in the box',0
SENTLEN EQU 16
CRLF    DB 0DH,0AH,'$'
        END START
