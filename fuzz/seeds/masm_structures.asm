.MODEL SMALL
.STACK
POINT   STRUC
PX      DW ?
PY      DW 5
TAG     DB 'ab'
POINT   ENDS
.DATA
P1      POINT <>
P2      POINT <1,2,'z'>
.CODE
START:  MOV AX,@DATA
        MOV DS,AX
        MOV AX,P2.PY
        MOV BX,OFFSET P1
        MOV CX,[BX].PY
        MOV DL,P2.TAG
        MOV AX,SIZE P1
        MOV AX,POINT
        MOV AX,'AB'
        MOV AX,4C00H
        INT 21H
        END START
