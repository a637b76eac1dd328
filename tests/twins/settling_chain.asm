; A chain of length changes: the immediates of each ADD and SUB are the length
; of the block after them, which holds the next pair. The last pair needs word
; immediates; then its block is 128 bytes long, so the pair before needs words,
; and so on up: each pass settles one more link.
; Vexa settles in 7 passes
        ORG 100H
        ADD BX,LENGTH_1
S1:     ADD BX,LENGTH_2
        SUB CX,LENGTH_2
        DB 120 DUP (90H)
E1:
S2:     ADD BX,LENGTH_3
        SUB CX,LENGTH_3
        DB 120 DUP (90H)
E2:
S3:     ADD BX,LENGTH_4
        SUB CX,LENGTH_4
        DB 120 DUP (90H)
E3:
S4:     ADD BX,LENGTH_5
        SUB CX,LENGTH_5
        DB 120 DUP (90H)
E4:
        RET
LENGTH_1 EQU E1-S1
LENGTH_2 EQU E2-S2
LENGTH_3 EQU E3-S3
LENGTH_4 EQU E4-S4
LENGTH_5 EQU 1000
        END
