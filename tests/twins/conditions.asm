; Conditional assembly in both spellings, nested, with ELSEIF and ELSE: only
; the branches taken leave bytes.
        ORG 100H
MODE    EQU 2
        IF MODE EQ 1
        MOV AX,1
        ELSEIF MODE EQ 2
        MOV AX,2
        IFE MODE-2
        INC AX
        ELSE
        DEC AX
        ENDIF
        ELSE
        MOV AX,3
        ENDIF
%if MODE > 1
%ifdef MODE
        MOV BX,MODE
%endif
%elif MODE
        MOV BX,0
%endif
%ifndef UNSEEN
        RET
%else
        NOP
%endif
        END
