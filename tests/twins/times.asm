; TIMES before instructions and data: counts of 0 and 1 and expressions,
; $ in every copy reading the address of the TIMES line as NASM does, $$ as
; the image's start, and padding to a length reached exactly or already.
        ORG 100H
N       EQU 4
START:  TIMES 4 NOP
        TIMES 1 INC AX
        TIMES 0 DEC AX
        TIMES 2 MOV AX,BX
        TIMES 2 REP MOVSB
        times 3 lodsb
        TIMES 2 JMP SHORT $+2
        TIMES 2 MOV CX,$
        MOV DX,$-$$
        TIMES 32-($-$$) DB 0
PADDED: DB 0EEH
        TIMES 3 DB 1,2
        TIMES 0 DB 5
        TIMES 2*3 DB 0
        TIMES N-1 DW -1
        TIMES (N) DB 'ab'
        TIMES PADDED-START-30 DB 9
ROW:    TIMES 3 DW $
        TIMES 2 DW $-$$,OFFSET ROW
        TIMES 2 DB 3 DUP(7),'x'
        DW $$,$-$$,OFFSET PADDED-$$
        TIMES 96-($-$$) DB 0CCH
        TIMES 96-($-$$) DB 0DDH
        DB 0EEH
        END START
