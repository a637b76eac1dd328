; Memory operands naming a variable and sized by nothing else take its size:
; DB a byte, DW a word, DD a far pointer. A register or a size keyword still
; decides. Variables defined before their uses and after.
; Vexa settles in 3 passes
        ORG 100H
        JMP START
FLAG    DB 0
TEN     DW 10
VECTOR  DW OFFSET DONE
FARPTR  DD 0
ROWS    DB 1,2,3
TABLE   DW 3 DUP(0)
START:  MOV [FLAG],0
        MOV [FLAG+1],2
        MOV FLAG[BX],3
        INC [flag]
        SHL [FLAG],1
        TEST [FLAG],1
        IMUL [FLAG]
        RCR [ROWS+2],CL
        MOV [ROWS+2],4
        DIV [TEN]
        MUL [TEN]
        NOT [TEN]
        NEG [TEN+2]
        MOV [BX+TEN],1
        MOV TABLE[BX+SI],0
        PUSH [TEN]
        POP [TEN]
        SHR [TEN],CL
        MOV AL,[FLAG]
        MOV AX,[TEN]
        MOV WORD PTR [FLAG],0
        MOV BYTE PTR [TEN],1
        MOV [STATE],0
        CMP [SWITCH],0
        ADD [COUNT],5
        AND [STATE],0FH
        OR [SWITCH],8000H
        SUB [STATE],1
        DEC [COUNT]
        JMP [VECTOR]
        CALL [VECTOR]
        CALL [FARPTR]
        JMP [FARPTR]
        CALL [LATEPTR]
        LES DI,[LATEPTR]
DONE:   RET
STATE   DB 0
SWITCH  DW 0
COUNT   DW 1
LATEPTR DD OFFSET DONE
        END
