; Every prefix written on the instruction's line, with segment overrides
; after it, beside the same prefixes written alone on the line before.
        ORG 100H
START:  CLD
        MOV SI,OFFSET SRC
        MOV DI,OFFSET DST
        MOV CX,LEN
        REP MOVSB
        REP MOVSW
        REP MOVS BYTE PTR [DI],[SI]
        REP MOVS WORD PTR [DI],CS:[SI]
        REP MOVS BYTE PTR [DI],[SS:SI]
        REPE CMPSB
        REPE CMPSW
        REPE CMPS BYTE PTR [SI],ES:[DI]
        REPZ CMPS ES:WORD PTR [SI],[DI]
        REPZ CMPSB
        REPNE SCASB
        REPNE SCAS WORD PTR [DI]
        REPNZ SCASW
        REPNZ CMPSB
        REP STOSB
        REP STOSW
        REP STOS BYTE PTR [DI]
        REP LODSB
        REP LODSW
        REP LODS ES:BYTE PTR [SI]
        REP LODS WORD PTR [CS:SI]
        REP
        MOVSB
        REPNE
        SCASB
        LOCK XCHG AX,[BX]
        LOCK XCHG [SI+4],CL
        LOCK XCHG AX,[ES:BX]
        LOCK XCHG DX,ES:[BX+DI+0x1234]
        LOCK INC WORD PTR [BX]
        LOCK DEC BYTE PTR [DI]
        LOCK NEG CS:WORD PTR [SI]
        LOCK NOT BYTE PTR [SS:BP+2]
        LOCK ADD [BX],AL
        LOCK ADC WORD PTR [BX],5
        LOCK SUB [DI],AX
        LOCK SBB BYTE PTR [SI],0x7F
        LOCK AND [BX+SI],DX
        LOCK OR WORD PTR [BP+DI],0x8000
        LOCK XOR [SRC],AL
        LOCK
        INC WORD PTR [DST]
        RET
SRC     DB 'source'
LEN     EQU $-SRC
DST     DB LEN DUP(0)
        END START
