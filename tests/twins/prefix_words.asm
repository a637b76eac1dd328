; Segment overrides written as a word before the instruction (CS XLAT, ES:
; LODSB), the size keyword and the override in either order, an override
; before a bare variable name, and OFFSET anywhere in an expression.
        ORG 100H
START:  CS XLAT
        ES MOV AX,[VAR]
        SS MOV [BX],AL
        DS MOV CX,[BX+SI+2]
        ES: LODSB
        CS: MOVSW
        SS: MOV DX,[BP]
AGAIN:  ss lodsw
        MOV BYTE PTR ES:[BX],1
        MOV ES:BYTE PTR [BX],1
        INC WORD PTR CS:[SI+2]
        INC CS:WORD PTR [SI+2]
        MOV AX,DS:VAR
        MOV AX,ES:VAR[BX]
        MOV DS:VAR,DX
        MOV AL,CS:TABLE+1
        MOV WORD PTR ES:VAR,5
        ADD AX,SS:TABLE[BP+DI]
        LES DI,CS:FARPTR
        MOV AX,OFFSET TABLE+2
        MOV BX,2+OFFSET TABLE
        MOV CX,OFFSET TEND-OFFSET TABLE
        MOV DX,TABLE_4
        MOV DI,OFFSET TEND
        JNE AGAIN
        RET
VAR     DW 1234H
FARPTR  DW OFFSET START,0
TABLE   DB 1,2,3,4,5,6
TEND:
TABLE_4 EQU OFFSET TABLE+4
        DW OFFSET VAR,OFFSET TABLE,(OFFSET TEND-OFFSET TABLE)*2,TABLE_4
        DB OFFSET TEND-OFFSET TABLE,LOW OFFSET TEND
        END START
