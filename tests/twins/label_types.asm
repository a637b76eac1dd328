; LABEL names the current address with a type and emits nothing: BYTE and
; WORD size the memory operands that name it, DWORD makes a far pointer,
; NEAR and FAR name code; labels defined after their uses and before.
; Vexa settles in 3 passes
        ORG 100H
START:  MOV [BYTES],1
        MOV [WORDS],1
        MOV AL,[BYTES+1]
        INC [BYTES+1]
        NOT WORDS[BX]
        MOV BYTES[SI],0
        ADD [ASWORDS+2],300H
        CALL [FARVEC]
        LES DI,[FARVEC]
        CALL NEARLBL
        JMP NEARLBL
BACK    LABEL NEAR
        NOP
        JMP BACK
NEARLBL LABEL NEAR
        RET
ENTRY   LABEL FAR
        RETF
BYTES   LABEL BYTE
WORDS   DW 1234H
ASWORDS LABEL WORD
        DB 1,2,3,4
FARVEC  LABEL DWORD
        DW OFFSET NEARLBL,0
TWO     LABEL BYTE
SAME    label word
        DW OFFSET ENTRY,OFFSET BACK,OFFSET BYTES,OFFSET WORDS,SAME-TWO
AFTER:  MOV [ASWORDS],5
        SHL [BYTES],1
        DEC [SAME]
        INC [TWO]
        JMP [FARVEC]
        JMP BACK
        END START
