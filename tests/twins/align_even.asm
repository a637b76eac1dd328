; ALIGN and EVEN from odd offsets, counted from the image's start (here not
; itself aligned): NOP fill or a chosen byte, nothing where already aligned.
        ORG 103H
PARA    EQU 16
        ALIGN 4
START:  MOV AL,1
        ALIGN 4
        INC AX
        EVEN
        EVEN
        ALIGN 1
        DB 1
        ALIGN 8,0FFH
        DB 2
        ALIGN PARA,0
ALIGNED: DB 3
        ALIGN 2*2,'x'
        DW OFFSET ALIGNED,$-$$
        ALIGN 16,-1
        JMP TARGET
        ALIGN 8
TARGET: CALL ROUTINE
        RET
        ALIGN 64,0CCH
ROUTINE: RET
        even
        align 2
        DB 4
        ALIGN 2
        ALIGN 4,0
        DW OFFSET TARGET,OFFSET ROUTINE,ROUTINE-$$
        ALIGN 32
        DB 0EEH
        END START
