; Far calls and jumps through segment:offset pairs. The program's segment is
; known only when it runs, so CS is stored into each pair before it is used.
        ORG 100H
START:  MOV BX,OFFSET POINTER
        MOV [BX+2],CS           ; POINTER = CS:GREET
        CALL DWORD PTR [BX]     ; far call through the pair in memory
        MOV BX,OFFSET RESUME
        MOV [BX+2],CS           ; RESUME = CS:SECOND
        JMP FAR PTR RESUME      ; far jump through a pair in memory
        INT 20H                 ; never reached

SECOND: MOV BX,OFFSET PATCHED   ; the direct far jump's segment is its
        MOV [BX+3],CS           ; fourth and fifth byte
        JMP PATCHED             ; a jump empties the prefetch queue
PATCHED:
        JMP 0:FINISH            ; EA, offset, segment
        INT 20H                 ; never reached

FINISH: MOV DX,OFFSET BYE
        MOV AH,09H
        INT 21H
        MOV AX,4C00H
        INT 21H

; A far procedure: it returns with RETF, popping offset and segment.
GREET:  MOV DX,OFFSET HELLO
        MOV AH,09H
        INT 21H
        RETF

POINTER DW GREET,0
RESUME  DW SECOND,0
HELLO   DB 'far call',0DH,0AH,'$'
BYE     DB 'far jumps',0DH,0AH,'$'
        END START
