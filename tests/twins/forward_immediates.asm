; Arithmetic immediates naming labels further down, with the data after the
; code: the first pass guesses a byte immediate, the later ones take a word.
; Vexa settles in 3 passes
        ORG 100H
START:  MOV SI,OFFSET TABLE
        MOV DI,OFFSET TABLE
NEXT:   CMP DI,TABLE_END
        JAE DONE
        CMP SI,OFFSET TABLE_END
        ADD SI,LATER
        ADD SI,OFFSET LATER
        SUB BX,LATER
        AND DX,TABLE_END
        CMP AX,TABLE_END
        ADC CX,LATER
        ADD DI,2
        JMP NEXT
DONE:   ADD SI,SMALL            ; a name further down whose value fits a byte
        CMP BX,NEAR_ZERO
        RET
SMALL   EQU 10
NEAR_ZERO EQU -3
TABLE:  DW 1,2,3,4
TABLE_END:
LATER:  DB 'end'
        END
