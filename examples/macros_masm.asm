; Macros in MASM's spelling: printing through macros with LOCAL labels, a
; table built by REPT, lists walked by IRP and IRPC, and a countdown that a
; macro writes by calling itself.
        ORG 100H

; the squares of 1 to COUNT add up to TOTAL, worked out while assembling
COUNT   EQU 8
N       = 0
TOTAL   = 0
        REPT COUNT
N       = N+1
TOTAL   = TOTAL+N*N
        ENDM

; one character through DOS function 2
PUTCH   MACRO CHAR
        MOV DL,CHAR
        MOV AH,02H
        INT 21H
        ENDM

NEWLINE MACRO
        PUTCH 0DH
        PUTCH 0AH
        ENDM

; a text kept beside the code that prints it; each copy has its own labels
PRINT   MACRO TEXT
        LOCAL STRING, PAST
        MOV DX,OFFSET STRING
        MOV AH,09H
        INT 21H
        JMP SHORT PAST
STRING  DB '&TEXT&','$'
PAST:
        ENDM

; a number in decimal, AX unless another value is given
PRINTNUM MACRO VALUE:=AX
        IFDIF <VALUE>,<AX>
        MOV AX,VALUE
        ENDIF
        CALL PUTDEC
        ENDM

; the digits N down to 1, each after a blank, then the text DONE
COUNTDOWN MACRO N, DONE
        IF N
        PUTCH ' '
        PUTCH '0'+N
        COUNTDOWN %N-1, <DONE>
        ELSE
        PRINT <DONE>
        ENDIF
        ENDM

START:  PRINT <Squares:>
        MOV SI,OFFSET SQUARES
        MOV CX,COUNT
NEXT:   PUTCH ' '
        LODSW
        PRINTNUM
        LOOP NEXT
        NEWLINE

        PRINT <Sum: >
        MOV SI,OFFSET SQUARES
        MOV CX,COUNT
        MOV BX,0
ADDUP:  ADD BX,[SI]
        ADD SI,2
        LOOP ADDUP
        PRINTNUM BX
        PRINT < = >
        PRINTNUM %TOTAL
        NEWLINE

        PRINT <Primes !<30:>
        IRP P,<2,3,5,7,11,13,17,19,23,29>
        PUTCH ' '
        PRINTNUM P
        ENDM
        NEWLINE

        PRINT <Vowels: >
        IRPC C,aeiou
        PUTCH '&C&'
        ENDM
        NEWLINE

        PRINT <Countdown:>
        COUNTDOWN 5, < liftoff>
        NEWLINE
        MOV AX,4C00H
        INT 21H

; AX in decimal; keeps CX and SI
PUTDEC: PUSH CX
        MOV BX,10
        MOV CX,0
DIGIT:  MOV DX,0
        DIV BX
        PUSH DX
        INC CX
        CMP AX,0
        JNE DIGIT
OUT1:   POP DX
        ADD DL,'0'
        MOV AH,02H
        INT 21H
        LOOP OUT1
        POP CX
        RET

; the squares of 1 to COUNT
N       = 0
SQUARES LABEL WORD
        REPT COUNT
N       = N+1
        DW N*N
        ENDM
        END START
