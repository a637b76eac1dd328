; Twin of procedures.asm.
        bits 16
        cpu 8086
        org 0x100
MAIN:
        call PRINT
        call SQUARE
        mov ax, OUTER
        mov bx, INNER
        mov cx, INNEREND-INNER
        ret
PRINT:
        lea dx, [MSG]
        mov ah, 9
        int 0x21
        ret
OUTER:
        push ax
INNER:
        inc ax
DEEPEST:
        dec ax
        nop
INNEREND:
        pop ax
        call INNER
        call PRINT
        jmp short DONE
DONE:   ret
SQUARE:
        mul ax
        call MAIN
        ret
MSG:    db 'procedures$'
AFTER:  dw MAIN,PRINT,OUTER,INNER,DEEPEST,SQUARE,AFTER
