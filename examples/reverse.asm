; Reverses a word with the stack: each letter is pushed, then popped in
; the opposite order. Written with full segment definitions: each segment
; opened by SEGMENT and closed by ENDS, ASSUME telling the assembler what
; the segment registers will hold, END naming the first instruction. DOS
; sets CS:IP and SS:SP from the .EXE header (SS at STACK, the segment
; marked STACK); DS and ES the program sets itself.
STACK   SEGMENT PARA STACK 'STACK'
        DW 64 DUP(?)
STACK   ENDS

DATA    SEGMENT
WORD1   DB 'STRESSED'
LEN     EQU $-WORD1
        DB 0DH,0AH,'$'
WORD2   DB LEN DUP(?),0DH,0AH,'$'
DATA    ENDS

CODE    SEGMENT
        ASSUME CS:CODE,DS:DATA,ES:DATA,SS:STACK
START:  MOV AX,DATA             ; the paragraph DOS loaded DATA at
        MOV DS,AX
        MOV ES,AX
        MOV SI,OFFSET WORD1
        MOV CX,LEN
        CLD
PUSHES: LODSB                   ; AL = the next letter
        PUSH AX                 ; the stack takes words
        LOOP PUSHES
        MOV DI,OFFSET WORD2
        MOV CX,LEN
POPS:   POP AX                  ; the last letter pushed comes first
        STOSB
        LOOP POPS
        MOV DX,OFFSET WORD1     ; print both
        MOV AH,09H
        INT 21H
        MOV DX,OFFSET WORD2
        INT 21H
        MOV AX,4C00H
        INT 21H
CODE    ENDS
        END START
