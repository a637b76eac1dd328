; Displacements that name EQUs defined after the code: a small value takes a
; byte displacement, a large one a word, a negative one a byte.
; Vexa settles in 3 passes
        ORG 100H
        MOV DX,[BX+POS]
        MOV AX,[BP+DI+POS]
        MOV CL,[SI+POS+1]
        MOV [BX+FAR_OUT],AX
        ADD AX,[DI+BACK]
        CMP BYTE PTR [BX+POS],0
        MOV WORD PTR [SI+ROW_SIZE*2],1234H
        INC WORD PTR [BX+SI+RECORD_LENGTH]
        MOV AX,[BX+TABLE]
        RET
POS     EQU 64
FAR_OUT EQU 300H
BACK    EQU -2
ROW_SIZE EQU 40
RECORD_LENGTH EQU 12
TABLE:  DW 0
        END
