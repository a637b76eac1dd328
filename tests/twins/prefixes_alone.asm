; Prefixes alone on their lines, each going with the next statement: a label,
; a blank line, a comment and SEG may stand between.
        ORG 100H
        REP
AGAIN:
        MOVSB
        REPNE

        ; a comment
        SEG ES
        SCASW
        LOCK
        INC WORD PTR [BX]
        LOCK
        REPE
        CMPSB
        REPNZ
        SEG CS
        LODSB
        JMP AGAIN
        END
