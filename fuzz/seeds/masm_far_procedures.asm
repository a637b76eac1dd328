; Far procedures kept in a code segment of their own, LIB. The main
; program calls them three ways: CALL FAR PTR, a plain CALL (the procedure
; is FAR, so the call is far), and CALL DWORD PTR through a far pointer
; stored in the data. Each procedure's RET is a far return.
DATA    SEGMENT
HELLO   DB 'Main program',0DH,0AH,'$'
VECTOR  DD STARS                ; far pointer: offset, then segment
DATA    ENDS

STACK   SEGMENT STACK
        DB 256 DUP(?)
STACK   ENDS

CODE    SEGMENT
        ASSUME CS:CODE,DS:DATA,SS:STACK
START:  MOV AX,DATA
        MOV DS,AX
        MOV DX,OFFSET HELLO
        MOV AH,09H
        INT 21H
        CALL FAR PTR GREET      ; a far call, written out
        MOV CX,3
        CALL STARS              ; STARS is FAR: this call is far too
        MOV CX,5
        CALL DWORD PTR VECTOR   ; far call through the pointer
        MOV AX,SEG LIBMSG       ; the paragraph of LIB, where LIBMSG is
        MOV ES,AX
        MOV AL,ES:LIBMSG        ; its first letter is the exit code
        MOV AH,4CH
        INT 21H
CODE    ENDS

LIB     SEGMENT
        ASSUME CS:LIB
; GREET: print LIBMSG, which lies in this segment.
GREET   PROC FAR
        PUSH DS
        MOV AX,SEG LIBMSG
        MOV DS,AX
        MOV DX,OFFSET LIBMSG
        MOV AH,09H
        INT 21H
        POP DS
        RET                     ; RETF: back to CODE
GREET   ENDP

; STARS: print CX stars, then a new line.
STARS   PROC FAR
        MOV AH,02H
AGAIN:  MOV DL,'*'
        INT 21H
        LOOP AGAIN
        MOV DL,0DH
        INT 21H
        MOV DL,0AH
        INT 21H
        RET
STARS   ENDP

LIBMSG  DB 'Far procedure',0DH,0AH,'$'
LIB     ENDS
        END START
