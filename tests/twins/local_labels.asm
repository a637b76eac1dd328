; Local labels: .name belongs to the last ordinary label and is reached from
; elsewhere as OWNER.name; @@name lives between two ordinary labels; @@: is
; reached as @F and @B; names holding @ ? $, and $ before a reserved word.
        ORG 100H
START:  CALL SUB1
        CALL SUB2
        JMP SUB2.done
SUB1:   MOV CX,3
.loop:  INC AX
        LOOP .loop
        JCXZ .done
        JMP .done
.done:  RET
SUB2:   MOV CX,[COUNT$]
.loop:  DEC AX
        LOOP .loop
        JNZ SUB1.loop
        JMP SUB1.loop
.done:  MOV BX,OFFSET SUB1.done
        MOV DX,OFFSET .loop
        RET
SCAN:   MOV SI,OFFSET MY@TEXT
@@next: LODSB
        CMP AL,0
        JE @@end
        JMP @@next
@@end:  RET
SKIP:   MOV CX,2
@@next: DEC CX
        JNZ @@next
        JMP @@end
@@end:  RET
ANON:   MOV AX,0
@@:     INC AX
        CMP AX,10
        JB @B
        JMP @F
        NOP
@@:     JMP SHORT @B
@@:     JNZ @F
@@:     LOOP @B
        MOV AL,[IS_OK?]
        MOV BX,[$AX]
        INC BYTE PTR [$LOOP]
        RET
COUNT$  DW 1
IS_OK?  DB 1
MY@TEXT DB 'at',0
$AX     DW 5
$LOOP   DB 3
        DW OFFSET SUB1.loop,OFFSET SUB2.loop,OFFSET $AX,OFFSET IS_OK?
        END START
