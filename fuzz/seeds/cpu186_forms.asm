        CPU 186
        ORG 100H
START:  PUSHA
        PUSH 5
        PUSH FWD
        PUSH 1000H
        IMUL AX,BX,FWD
        IMUL CX,[BX+SI+4],-300
        IMUL DX,7
        SHL AX,4
        ROR BYTE PTR [BX],FWD
        SAR WORD PTR [BP+2],1
        ENTER 16,1
        LEAVE
        BOUND SI,[PAIR]
        REP INSB
        OUTS DX,WORD PTR CS:[SI]
        INS BYTE PTR [DI],DX
        POPA
        CPU 8086
        PUSH 5
        RET
PAIR    DW 0,10
FWD     EQU 3
        END
