; The towers of Hanoi, by procedures with the 80186's stack frames: ENTER
; makes each frame and LEAVE drops it, arguments are pushed as immediates.
; HANOI is nested in SOLVE as a Pascal procedure would be: ENTER's nesting
; level copies SOLVE's frame pointer into every HANOI frame, through which
; each move is counted in SOLVE's local. PRINTNUM prints a number
; recursively, its digit kept in a local.
        CPU 186
        ORG 100H
START:  PUSH 3                  ; three disks, then four
        CALL SOLVE
        ADD SP,2
        PUSH 4
        CALL SOLVE
        ADD SP,2
        MOV AX,4C00H
        INT 21H

; SOLVE(n): moves n disks from A to C by way of B, then prints the count.
; [BP+4] n; [BP-2] SOLVE's own frame (ENTER's display); [BP-4] the moves.
SOLVE:  ENTER 2,1
        MOV WORD PTR [BP-4],0
        PUSH WORD PTR [BP+4]
        PUSH 'A'
        PUSH 'C'
        PUSH 'B'
        CALL HANOI
        ADD SP,8
        PUSH WORD PTR [BP-4]
        CALL PRINTNUM
        ADD SP,2
        MOV DX,OFFSET MOVES
        MOV AH,09H
        INT 21H
        LEAVE
        RET

; HANOI(n, from, to, via): [BP+10] n, [BP+8] from, [BP+6] to, [BP+4] via.
; [BP-2] SOLVE's frame, copied by ENTER from the caller's display.
HANOI:  ENTER 0,2
        MOV AX,[BP+10]
        TEST AX,AX
        JZ .DONE
        DEC AX
        PUSH AX                 ; n-1 disks from -> via
        PUSH WORD PTR [BP+8]
        PUSH WORD PTR [BP+4]
        PUSH WORD PTR [BP+6]
        CALL HANOI
        ADD SP,8
        MOV BX,[BP-2]           ; one move more in SOLVE's count
        INC WORD PTR [BX-4]
        PUSH WORD PTR [BX-4]    ; "move 5: disk 1 from A to C"
        CALL PRINTNUM
        ADD SP,2
        MOV DX,OFFSET DISK
        MOV AH,09H
        INT 21H
        PUSH WORD PTR [BP+10]
        CALL PRINTNUM
        ADD SP,2
        MOV DX,OFFSET FROM
        MOV AH,09H
        INT 21H
        MOV DL,[BP+8]
        MOV AH,02H
        INT 21H
        MOV DX,OFFSET TO
        MOV AH,09H
        INT 21H
        MOV DL,[BP+6]
        MOV AH,02H
        INT 21H
        MOV DX,OFFSET CRLF
        MOV AH,09H
        INT 21H
        MOV AX,[BP+10]          ; n-1 disks via -> to
        DEC AX
        PUSH AX
        PUSH WORD PTR [BP+4]
        PUSH WORD PTR [BP+6]
        PUSH WORD PTR [BP+8]
        CALL HANOI
        ADD SP,8
.DONE:  LEAVE
        RET

; PRINTNUM(n): n in decimal, the digits above the last one first.
; [BP+4] n; [BP-2] the last digit.
PRINTNUM:
        ENTER 2,0
        MOV AX,[BP+4]
        XOR DX,DX
        MOV CX,10
        DIV CX
        MOV [BP-2],DX
        TEST AX,AX
        JZ .LAST
        PUSH AX
        CALL PRINTNUM
        ADD SP,2
.LAST:  MOV DL,[BP-2]
        ADD DL,'0'
        MOV AH,02H
        INT 21H
        LEAVE
        RET

MOVES   DB ' moves',0DH,0AH,'$'
DISK    DB ': disk $'
FROM    DB ' from $'
TO      DB ' to $'
CRLF    DB 0DH,0AH,'$'
        END START
