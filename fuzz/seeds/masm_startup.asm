; The squares of 1 to 10, worked out into a table in uninitialized data
; (.DATA?), printed, and added up. .STARTUP sets DS (and SS) to the data;
; .EXIT 3 ends the program with exit code 3. The uninitialized data takes
; no room in the .EXE file: DOS gives the program that memory as it loads.
        .MODEL SMALL
        .STACK 200H
        .CONST
HEADING DB 'Squares:$'
        .DATA
SUMMSG  DB 0DH,0AH,'Sum: $'
DONE    DB 0DH,0AH,'$'
        .DATA?
TOTAL   DW ?                    ; the sum of the squares
SQUARES DW 10 DUP(?)            ; filled in by the program
DIGITS  DB 6 DUP(?)             ; room for one number and its '$'
        .CODE
        .STARTUP
        MOV TOTAL,0
        MOV CX,10
        MOV BX,1
        MOV DI,0
FILL:   MOV AX,BX
        MUL BX                  ; AX = BX * BX
        MOV SQUARES[DI],AX
        ADD TOTAL,AX
        ADD DI,2
        INC BX
        LOOP FILL

        MOV DX,OFFSET HEADING
        MOV AH,09H
        INT 21H
        MOV SI,0
        MOV CX,10
PRINT:  MOV DL,' '
        MOV AH,02H
        INT 21H
        MOV AX,SQUARES[SI]
        CALL PUTNUM
        ADD SI,2
        LOOP PRINT
        MOV DX,OFFSET SUMMSG
        MOV AH,09H
        INT 21H
        MOV AX,TOTAL
        CALL PUTNUM
        MOV DX,OFFSET DONE
        MOV AH,09H
        INT 21H
        .EXIT 3

; PUTNUM: print AX in decimal. The digits are made last to first into
; DIGITS, which ends with '$'.
PUTNUM  PROC
        PUSH CX
        PUSH SI
        MOV SI,OFFSET DIGITS+5
        MOV BYTE PTR [SI],'$'
        MOV BX,10
NEXTDIG: XOR DX,DX
        DIV BX
        ADD DL,'0'
        DEC SI
        MOV [SI],DL
        OR AX,AX
        JNZ NEXTDIG
        MOV DX,SI
        MOV AH,09H
        INT 21H
        POP SI
        POP CX
        RET
PUTNUM  ENDP
        END
