; DD and DQ: values low byte first, negative values and the 32-bit edges,
; names as values, character constants, DQ widening a negative value by its
; sign and a number from 80000000H up with zeros,
; and DUP and ? items in both.
        ORG 100H
START:  MOV AX,WORD PTR [BIG]
        MOV DX,WORD PTR [BIG+2]
        LES DI,[FARPTR]
        MOV SI,OFFSET QUADS
        MOV CX,QEND-QUADS
        RET
BIG     DD 12345678H
        DD 0,1,-1,7FFFFFFFH,-2147483648,80000000H,0FFFFFFFFH
        DD 10000H*3+2,-(1 SHL 16),-129
FARPTR  DD START
        DD OFFSET BIG,BIG-START,QEND,QEND-START
CHARS   DD 'abcd','ab','A'
        DW 'ab','z'
        DB 'ab'
QUADS   DQ 1,-1,0,7FFFFFFFH,80000000H,0FFFFFFFFH,-2
        DQ 0AABBCCDDH,12345678H
        DQ 'abcd','x',START,QEND-START
QEND:
        DD 3 DUP(1)
        DD 2 DUP(-1,5),?
        DQ 2 DUP(-3),?,4
        DD ?,2 DUP(?),9
        DQ 2 DUP(2 DUP(?),6)
        DD 2 DUP('ab')
        DB 0EEH
        END START
