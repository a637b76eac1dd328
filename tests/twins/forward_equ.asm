; EQUs that use names defined further down: other EQUs, labels, and chains
; of EQUs each naming the next.
; Vexa settles in 5 passes
        ORG 100H
SHIP_ROW EQU 5CH*OFFSET_X
MESSAGE_LENGTH EQU MESSAGE_END-MESSAGE
FIRST   EQU SECOND+1
SECOND  EQU THIRD*2
THIRD   EQU OFFSET_X+4
        MOV AX,SHIP_ROW
        MOV CX,MESSAGE_LENGTH
        MOV DX,OFFSET MESSAGE
        MOV BX,FIRST
        ADD BX,SECOND
        MOV AH,9
        INT 21H
        RET
OFFSET_X EQU 3
MESSAGE: DB 'Settled',13,10,'$'
MESSAGE_END:
        END
