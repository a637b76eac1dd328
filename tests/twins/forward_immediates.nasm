; Twin of forward_immediates.asm.
        bits 16
        cpu 8086
        org 0x100
START:  mov si, TABLE
        mov di, TABLE
NEXT:   cmp di, TABLE_END
        jae DONE
        cmp si, TABLE_END
        add si, LATER
        add si, LATER
        sub bx, LATER
        and dx, TABLE_END
        cmp ax, TABLE_END
        adc cx, LATER
        add di, 2
        jmp short NEXT
DONE:   add si, SMALL
        cmp bx, NEAR_ZERO
        ret
SMALL   equ 10
NEAR_ZERO equ -3
TABLE:  dw 1, 2, 3, 4
TABLE_END:
LATER:  db 'end'
