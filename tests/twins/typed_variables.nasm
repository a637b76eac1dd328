; Twin of typed_variables.asm.
        bits 16
        cpu 8086
        org 0x100
        jmp near START
FLAG:   db 0
TEN:    dw 10
VECTOR: dw DONE
FARPTR: dd 0
ROWS:   db 1, 2, 3
TABLE:  times 3 dw 0
START:  mov byte [FLAG], 0
        mov byte [FLAG+1], 2
        mov byte [bx+FLAG], 3
        inc byte [FLAG]
        shl byte [FLAG], 1
        test byte [FLAG], 1
        imul byte [FLAG]
        rcr byte [ROWS+2], cl
        mov byte [ROWS+2], 4
        div word [TEN]
        mul word [TEN]
        not word [TEN]
        neg word [TEN+2]
        mov word [bx+TEN], 1
        mov word [bx+si+TABLE], 0
        push word [TEN]
        pop word [TEN]
        shr word [TEN], cl
        mov al, [FLAG]
        mov ax, [TEN]
        mov word [FLAG], 0
        mov byte [TEN], 1
        mov byte [STATE], 0
        cmp word [SWITCH], 0
        add word [COUNT], 5
        and byte [STATE], 0x0f
        or word [SWITCH], 0x8000
        sub byte [STATE], 1
        dec word [COUNT]
        jmp [VECTOR]
        call [VECTOR]
        call far [FARPTR]
        jmp far [FARPTR]
        call far [LATEPTR]
        les di, [LATEPTR]
DONE:   ret
STATE:  db 0
SWITCH: dw 0
COUNT:  dw 1
LATEPTR: dd DONE
