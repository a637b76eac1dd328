; DUP of 1, 128 and 129 items in DB and DW, each block followed by a marker,
; reserved blocks of ? in the middle of the image, and code that takes the
; blocks' addresses and lengths.
        ORG 100H
START:  MOV SI,OFFSET ONE
        MOV CX,BLOCKEND-ONE
        MOV BX,OFFSET W129
        MOV DI,OFFSET Z129
        MOV DX,DONE-Z128
        JMP DONE
ONE     DB 1 DUP(11H)
        DB 0EEH
B128    DB 128 DUP(22H)
        DB 0EEH
B129    DB 129 DUP(33H)
        DB 0EEH
W1      DW 1 DUP(1234H)
W128    DW 128 DUP(5678H)
W129    DW 129 DUP(9ABCH)
BLOCKEND:
Z1      DB 1 DUP(?)
Z128    DB 128 DUP(?)
Z129    DW 129 DUP(?)
DONE:   MOV AX,Z1
        MOV AX,B129+128
        MOV AX,[W128+254]
        RET
        END START
