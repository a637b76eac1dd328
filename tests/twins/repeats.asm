; Repeated blocks in both spellings: REPT with = counters, nested, and ended
; early by EXITM; IRP and FOR over lists, bracketed items among them; IRPC
; and FORC over characters; NASM's %rep with %assign counters and %exitrep.
        ORG 100H
        JMP START

; the squares of 1 to 8
N       = 0
SQUARES:
        REPT 8
N       = N+1
        DW N*N
        ENDM

; parity of each value from 0 to 15, worked out bit by bit
N       = 0
PARITY:
        REPT 16
V       = N
P       = 0
        REPT 4
P       = P XOR (V AND 1)
V       = V SHR 1
        ENDM
        DB P
N       = N+1
        ENDM

; powers of 3 up to 1000: EXITM ends the block
P       = 1
POWERS:
        REPT 16
        IF P GT 1000
        EXITM
        ENDIF
        DW P
P       = P*3
        ENDM

        REPT 0
        DB 0EEH
        ENDM

HEXDIGITS:
        IRPC C,0123456789ABCDEF
        DB '&C&'
        ENDM

VOWELS:
        FORC C,<AEIOU>
        DB '&C&'+20H
        ENDM

        FOR K,<1,2,4,8>
        DW K*100
        ENDM

; 1, 2 2, 3 3 3: a REPT inside an IRP
        IRP W,<1,2,3>
        REPT W
        DB W
        ENDM
        ENDM

; items in brackets keep their commas
        IRP PAIR,<<1,2>,<3,4>,5>
        DB PAIR
        ENDM

; a byte per colour, named after it
        IRP COLOUR,<RED,GREEN,BLUE>
COLOUR_&COLOUR DB 0
        ENDM

; squares below 40, %exitrep ending the block
%assign i 0
SMALL_SQUARES:
%rep 10
%if i*i > 40
%exitrep
%endif
        db i*i
%assign i i+1
%endrep

; CRC-16 table for one nibble at a time
%assign nib 0
CRC_NIBBLES:
%rep 16
%assign crc nib
%rep 4
%if crc & 1
%assign crc (crc >> 1) ^ 0xA001
%else
%assign crc crc >> 1
%endif
%endrep
        dw crc
%assign nib nib+1
%endrep

%rep 0
        db 0xEE
%endrep

; the same registers pushed and popped in reverse
START:
        IRP R,<AX,BX,CX,DX>
        PUSH R
        ENDM
        MOV SI,OFFSET SQUARES
        MOV CX,8
        MOV AX,0
SUM:    ADD AX,[SI]
        ADD SI,2
        LOOP SUM
        MOV DI,OFFSET TEXT
        CALL HEXBYTE
        MOV AL,[COLOUR_GREEN]
        REPT 3
        SHL AX,1
        ENDM
        FOR R,<DX,CX,BX,AX>
        POP R
        ENDM
        RET

; AL as two hex digits at DI
HEXBYTE:
        PUSH AX
        MOV CL,4
        SHR AL,CL
        MOV BX,OFFSET HEXDIGITS
        XLAT
        STOSB
        POP AX
        AND AL,0FH
        XLAT
        STOSB
        RET
TEXT:   DB '..$'
        END
