; Macros in MASM's spelling: parameters with defaults and REQ, bracketed
; arguments, & joins, %expr arguments, LOCAL labels, nested calls, a macro
; that defines macros, recursion, EXITM, PURGE, and every condition in a body.
        ORG 100H
BASE    EQU 40H

; load a register, zero when no value is given
SETREG  MACRO REG:REQ, VAL:=0
        MOV REG,VAL
        ENDM

; a constant into a register, 0 and 1 built from a cleared register
LOADK   MACRO REG, K
        IF K EQ 0
        MOV REG,0
        ELSEIF K EQ 1
        MOV REG,0
        INC REG
        ELSE
        MOV REG,K
        ENDIF
        ENDM

; absolute value, with a label of its own in each copy
ABSVAL  MACRO REG
        LOCAL POSITIVE
        CMP REG,0
        JGE POSITIVE
        NEG REG
POSITIVE:
        ENDM

; count CX down to zero, skipping the loop when COUNT is 0
WAITCX  MACRO COUNT
        LOCAL AGAIN, DONE
        MOV CX,COUNT
        JCXZ DONE
AGAIN:  LOOP AGAIN
DONE:
        ENDM

; a constant made positive: one macro calling two others
MAGNITUDE MACRO REG, K
        LOADK REG, K
        ABSVAL REG
        ENDM

; shift left or right N times, the direction spelled in any case
SHIFTBY MACRO REG, DIR, N:=1
        IFIDNI <DIR>,<LEFT>
        REPT N
        SHL REG,1
        ENDM
        ELSE
        REPT N
        SHR REG,1
        ENDM
        ENDIF
        ENDM

; write AL, or VAL first when one is given, to a port
EMIT    MACRO PORT, VAL
        IFB <PORT>
        .ERR
        ENDIF
        IFNB <VAL>
        MOV AL,VAL
        ENDIF
        OUT PORT,AL
        ENDM

; return, dropping N bytes of arguments when N is given
RETURN  MACRO N
        IFB <N>
        RET
        ELSE
        RET N
        ENDIF
        ENDM

; call a routine defined above, or leave a marker where there is none
CALLIF  MACRO ROUTINE
        IFDEF ROUTINE
        CALL ROUTINE
        ENDIF
        IFNDEF ROUTINE
        MOV AX,-1
        ENDIF
        ENDM

; clear N bytes at DI: even counts by words, odd ones by bytes
CLEARN  MACRO N
        .ERRE N
        IFE N AND 1
        MOV CX,N/2
        REP STOSW
        ELSE
        MOV CX,N
        REP STOSB
        ENDIF
        ENDM

; push a bracketed list of registers
PUSHREGS MACRO REGS
        IRP R,<REGS>
        PUSH R
        ENDM
        ENDM

; a zero word PFX_name for each name of the list
DEFVARS MACRO PFX, NAMES
        IRP NM,<NAMES>
PFX&_&NM DW 0
        ENDM
        ENDM

; makes a macro MNAME that loads REG with its argument
MAKELOAD MACRO MNAME, REG
MNAME   MACRO VALUE
        MOV REG,VALUE
        ENDM
        ENDM

        JMP START

; AX = the word pushed before the call, dropped on return
HELPER: PUSH BP
        MOV BP,SP
        MOV AX,[BP+4]
        POP BP
        RETURN 2
SETUP:  CLD
        RETURN

START:  SETREG AX
        SETREG BX, 1234H
        SETREG <CX>, %BASE*2
        LOADK DX, 0
        LOADK SI, 1
        LOADK DI, 300
        MAGNITUDE AX, -5
        MAGNITUDE BX, 7
        WAITCX 10
        WAITCX 0
        SHIFTBY AX, LEFT, 3
        SHIFTBY BX, right
        SHIFTBY DX, Left, 2
        EMIT 61H, 3
        EMIT 61H
        CALLIF SETUP
        CALLIF MISSING
        MOV DI,OFFSET BUFFER
        CLEARN 8
        CLEARN 5
        MAKELOAD LDAX, AX
        MAKELOAD LDSI, SI
        LDAX 7
        LDSI %BASE+2
        LDAX <OFFSET TEXT1>
        PUSHREGS <AX,BX,SI>
        PUSH AX
        CALL HELPER
        POP SI
        POP BX
        POP AX
        RET

; a byte for how TXT compares with Up: S same, C same but for case,
; D different, and ~ after any difference
MATCH   MACRO TXT
        IFIDN <TXT>,<Up>
        DB 'S'
        ELSE
        IFIDNI <TXT>,<Up>
        DB 'C'
        ELSE
        DB 'D'
        ENDIF
        ENDIF
        IFDIF <TXT>,<Up>
        DB '~'
        ENDIF
        ENDM

; a counter byte and N bytes of FFH, or the counter alone when N < 2;
; N is at most 8
BLOCK   MACRO N
        .ERRNZ N GT 8
        DB N
        IF N LT 2
        EXITM
        ENDIF
        DB N DUP (0FFH)
        ENDM

; N*N words, N down to 1, through a call to itself
SQUARES MACRO N
        IF N
        DW N*N
        SQUARES %N-1
        ENDIF
        ENDM

; a row of bytes, four zeros unless given
ROWDATA MACRO LBL, VALS:=<0,0,0,0>
LBL     DB VALS
        ENDM

; a '$'-terminated message under a name
MESSAGE MACRO LBL, TXT
LBL     DB '&TXT&','$'
        ENDM

; a word named after its own value
SLOT    MACRO N
SLOT_&N DW N
        ENDM

; a counter word CNT_tag and the label tag_END after it
COUNTER MACRO TAG, VAL:=0
CNT_&TAG DW VAL
TAG&_END:
        ENDM

STAMP   MACRO
        DB 'A'
        ENDM

        MATCH Up
        MATCH UP
        MATCH Down
        BLOCK 1
        BLOCK 3
        SQUARES 5
        ROWDATA ROW1, <1,2,3,4>
        ROWDATA ROW2
        MESSAGE TEXT1, <Hello, world>
        MESSAGE TEXT2, <a!>b>
        SLOT %BASE/8
        SLOT %(BASE-1) MOD 10
        COUNTER TICKS, 100
        COUNTER BEATS
        STAMP
        PURGE STAMP
STAMP   MACRO
        DB 'B'
        ENDM
        STAMP
        DEFVARS POS, <X,Y>
LATER:  DW OFFSET SLOT_8, OFFSET SLOT_3, OFFSET TICKS_END, OFFSET BEATS_END
        DW OFFSET CNT_TICKS, OFFSET ROW2, OFFSET POS_X, OFFSET POS_Y
BUFFER  DB 16 DUP (0)
        END START
