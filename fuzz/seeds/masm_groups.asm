; Two data segments in one group: with DS at the group, one ASSUME reaches
; the variables of both. Then DS is loaded with one of the segments itself,
; and ASSUME says so: its variables are read at their offsets in it.
NAMES   SEGMENT 'DATA'
FIRST   DB 'Group: $'
NAMES   ENDS

NUMBERS SEGMENT 'DATA'
DIGIT   DB '7'
LETTER  DB 'N'
NUMBERS ENDS

STACK   SEGMENT STACK 'STACK'
        DW 32 DUP(?)
STACK   ENDS

DGROUP  GROUP NAMES,NUMBERS

CODE    SEGMENT 'CODE'
        ASSUME CS:CODE,DS:DGROUP,SS:STACK
START:  MOV AX,DGROUP
        MOV DS,AX
        MOV DX,OFFSET FIRST
        MOV AH,09H
        INT 21H
        MOV DL,DIGIT            ; through the group
        MOV AH,02H
        INT 21H
        MOV AX,NUMBERS          ; now DS holds NUMBERS itself
        MOV DS,AX
        ASSUME DS:NUMBERS
        MOV DL,LETTER           ; at its offset in NUMBERS
        MOV AH,02H
        INT 21H
        MOV AX,4C00H
        INT 21H
CODE    ENDS
        END START
