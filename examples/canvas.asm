; Drawing the way a boot sector draws on the text screen, run as a .COM:
; the picture goes into a screen of character and attribute words laid
; out as at B800H, but kept in the program's memory, and is then printed
; through DOS with a checksum of the screen. The drawing routines keep
; every register with the 80186's PUSHA and POPA; a cell's offset is
; worked out with shifts by an immediate count.
        CPU 186
        ORG 100H
COLS    EQU 34                  ; 32 + 2: y*COLS is y SHL 5 + y SHL 1
ROWS    EQU 18
BLANK   EQU 0720H               ; a space, grey on black
STAR    EQU 0F2AH               ; '*', white on black
EDGE    EQU 1E00H               ; yellow on blue, the character added

START:  MOV AX,BLANK            ; clear the screen
        MOV DI,OFFSET SCREEN
        MOV CX,COLS*ROWS
        CLD
        REP STOSW
        CALL FRAME
        CALL TRIANGLE
        CALL SHOW
        CALL CHECKSUM
        MOV AX,4C00H
        INT 21H

; PLOT: the word AX into the cell at column CX, row DX.
PLOT:   PUSHA
        MOV BX,DX
        SHL BX,5                ; y*32
        SHL DX,1                ; y*2
        ADD BX,DX
        ADD BX,CX
        SHL BX,1                ; two bytes a cell
        MOV [SCREEN+BX],AX
        POPA
        RET

; HLINE: AX into SI cells from column CX, row DX, rightwards.
HLINE:  PUSHA
.CELL:  CALL PLOT
        INC CX
        DEC SI
        JNZ .CELL
        POPA
        RET

; VLINE: AX into SI cells from column CX, row DX, downwards.
VLINE:  PUSHA
.CELL:  CALL PLOT
        INC DX
        DEC SI
        JNZ .CELL
        POPA
        RET

; FRAME: the edges of the screen, corners last.
FRAME:  PUSHA
        MOV AX,EDGE+'-'
        XOR CX,CX
        XOR DX,DX
        MOV SI,COLS
        CALL HLINE
        MOV DX,ROWS-1
        CALL HLINE
        MOV AX,EDGE+'|'
        XOR DX,DX
        MOV SI,ROWS
        CALL VLINE
        MOV CX,COLS-1
        CALL VLINE
        MOV AX,EDGE+'+'
        CALL PLOT               ; column COLS-1, row 0
        MOV DX,ROWS-1
        CALL PLOT
        XOR CX,CX
        CALL PLOT
        XOR DX,DX
        CALL PLOT
        POPA
        RET

; TRIANGLE: Sierpinski's, a star where x AND y is zero, inside the frame.
TRIANGLE:
        PUSHA
        MOV AX,STAR
        XOR DX,DX               ; y, 0 to 15
.ROW:   XOR CX,CX               ; x, 0 to 31
.CELL:  MOV BX,CX
        AND BX,DX
        JNZ .NEXT
        PUSHA
        INC CX                  ; one cell in from the frame
        INC DX
        CALL PLOT
        POPA
.NEXT:  INC CX
        CMP CX,COLS-2
        JB .CELL
        INC DX
        CMP DX,ROWS-2
        JB .ROW
        POPA
        RET

; SHOW: each row's characters, then CR LF.
SHOW:   PUSHA
        MOV SI,OFFSET SCREEN
        MOV BX,ROWS
        MOV AH,02H
.ROW:   MOV CX,COLS
.CELL:  LODSB                   ; the character
        INC SI                  ; past its attribute
        MOV DL,AL
        INT 21H
        LOOP .CELL
        MOV DL,0DH
        INT 21H
        MOV DL,0AH
        INT 21H
        DEC BX
        JNZ .ROW
        POPA
        RET

; CHECKSUM: every word of the screen, characters and attributes, rotated
; in; printed in hexadecimal a digit at a time, the top one rotated round.
CHECKSUM:
        PUSHA
        MOV SI,OFFSET SCREEN
        MOV CX,COLS*ROWS
        XOR BX,BX
.WORD:  LODSW
        ROL BX,3
        ADD BX,AX
        LOOP .WORD
        MOV DX,OFFSET SUMTEXT
        MOV AH,09H
        INT 21H
        MOV CX,4
.DIGIT: ROL BX,4
        MOV DL,BL
        AND DL,0FH
        ADD DL,'0'
        CMP DL,'9'
        JBE .PUT
        ADD DL,'A'-'0'-10
.PUT:   MOV AH,02H
        INT 21H
        LOOP .DIGIT
        MOV DX,OFFSET CRLF
        MOV AH,09H
        INT 21H
        POPA
        RET

SUMTEXT DB 'checksum $'
CRLF    DB 0DH,0AH,'$'
SCREEN  DW COLS*ROWS DUP(0)
        END START
