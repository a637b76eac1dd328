; Procedures: PROC and PROC NEAR name their first byte, ENDP emits nothing,
; procedures nest, calls go both ways, and the source goes on after the last
; ENDP up to END.
        ORG 100H
MAIN    PROC
        CALL PRINT
        CALL SQUARE
        MOV AX,OFFSET OUTER
        MOV BX,OFFSET INNER
        MOV CX,INNEREND-INNER
        RET
MAIN    ENDP

PRINT   PROC NEAR
        LEA DX,MSG
        MOV AH,9
        INT 21H
        RET
PRINT   ENDP

OUTER   PROC
        PUSH AX
INNER   PROC NEAR               ; nested in OUTER
        INC AX
DEEPEST PROC
        DEC AX
DEEPEST ENDP
        NOP
INNER   ENDP
INNEREND:
        POP AX
        CALL INNER
        CALL PRINT
        JMP SHORT DONE
DONE:   RET
OUTER   ENDP

SQUARE  proc near
        MUL AX
        CALL MAIN
        ret
square  endp
MSG     DB 'procedures$'
AFTER   DW MAIN,PRINT,OUTER,INNER,DEEPEST,SQUARE,AFTER
        END MAIN
