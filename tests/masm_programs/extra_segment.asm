; Copy a string from the data segment into the extra segment with MOVSB,
; check the copy with CMPSB, then read and change a variable of the extra
; segment by its name: ASSUME ES:EXTRA lets the assembler add the ES:
; override by itself.
DATA    SEGMENT
SOURCE  DB 'Segments: DS to ES',0DH,0AH,'$'
LEN     EQU $-SOURCE
SAME    DB 'Copy matches',0DH,0AH,'$'
DIFF    DB 'Copy differs',0DH,0AH,'$'
DATA    ENDS

EXTRA   SEGMENT
COPY    DB 40 DUP(0)
MARK    DB '#'
EXTRA   ENDS

STACK   SEGMENT PARA STACK 'STACK'
        DW 64 DUP(?)
STACK   ENDS

CODE    SEGMENT
        ASSUME CS:CODE,DS:DATA,ES:EXTRA,SS:STACK
START:  MOV AX,DATA
        MOV DS,AX
        MOV AX,EXTRA
        MOV ES,AX
        CLD
        LEA SI,SOURCE           ; DS:SI -> the string
        MOV DI,OFFSET COPY      ; ES:DI -> room for it
        MOV CX,LEN
        REP MOVSB               ; copy DS:SI to ES:DI
        LEA SI,SOURCE
        MOV DI,OFFSET COPY
        MOV CX,LEN
        REPE CMPSB              ; compare them byte by byte
        JNE BAD
        MOV DX,OFFSET SAME
        JMP SHOW
BAD:    MOV DX,OFFSET DIFF
SHOW:   MOV AH,09H
        INT 21H
        MOV DL,MARK             ; MARK is in EXTRA: read through ES
        MOV AH,02H
        INT 21H
        MOV MARK,'*'            ; and changed through ES
        PUSH DS
        PUSH ES
        POP DS                  ; DS -> EXTRA for a while
        ASSUME DS:EXTRA
        MOV DL,MARK             ; now DS reaches MARK: no override
        INT 21H
        MOV DX,OFFSET COPY      ; print the copy
        MOV AH,09H
        INT 21H
        POP DS
        ASSUME DS:DATA
        MOV AX,4C00H
        INT 21H
CODE    ENDS
        END START
