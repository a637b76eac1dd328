; Segment overrides: the same offset in two segments. The text is copied to
; the segment 64 KiB above the program, our own copy is changed, and both
; are read back through DS, ES and CS.
        ORG 100H
START:  MOV AX,CS
        ADD AX,1000H            ; the segment 64 KiB above this program
        MOV ES,AX
        MOV SI,OFFSET TEXT      ; copy DS:TEXT to ES:TEXT
        MOV DI,SI
        MOV CX,TEXTLEN
        CLD
        REP
        MOVSB
        MOV BX,OFFSET TEXT
        MOV BYTE PTR [BX],2AH   ; ours now begins with '*'
        MOV DL,[BX]             ; DS: ours, '*'
        CALL PUTC
        MOV DL,ES:[BX]          ; ES: the copy, 'S'
        CALL PUTC
        SEG ES                  ; the same override as a statement of its own
        MOV DL,[BX+1]           ; 'e'
        CALL PUTC
        MOV DL,CS:[BX+2]        ; CS: ours again, 'g'
        CALL PUTC
        MOV DL,20H
        CALL PUTC
        PUSH DS                 ; print the copy: DS = ES for a moment
        PUSH ES
        POP DS
        MOV DX,OFFSET TEXT
        MOV AH,09H
        INT 21H
        POP DS
        MOV AX,4C00H
        INT 21H

PUTC:   MOV AH,02H
        INT 21H
        RET

TEXT    DB 'Segments',0DH,0AH,'$'
TEXTLEN EQU 11
        END START
