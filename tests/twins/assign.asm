; Names set with = and set again further on: each use reads the value set
; last before it, in instructions, data, DUP counts and the next setting,
; and one set from a label further down.
        ORG 100H
BASE    EQU 10
COUNT   = 0
        DB COUNT
COUNT   = COUNT + 1
        DB COUNT
count   = count+1
        DW COUNT,COUNT*BASE
X       = 5
START:  MOV AX,X
X       = X*2
        MOV BX,X
        MOV CX,[BX+X]
        ADD AX,X-1
X       = X SHL 4
        MOV DL,X
        DB COUNT DUP(0AAH)
COUNT   = 0
        DB COUNT,X
N=7
        DB N
N       = -1
        DW N,X
HERE    = $
        DW HERE
        NOP
HERE    = $
        DW HERE,HERE-START
LEN     = TAIL-START
        MOV CX,LEN
LEN     = LEN/2
        MOV DX,LEN
V       = BASE*3
        MOV AL,V
V       = V-BASE
        CMP AL,V
TAIL:   RET
        END START
