; Twin of short_jumps.asm.
        bits 16
        cpu 8086
        org 0x100
START:  mov ax, 0
        mov cx, 5
        jmp short SKIP
        mov ax, 1
        mov bx, 2
SKIP:   inc ax
        loop SKIP
        jcxz CXZERO
        nop
CXZERO: cmp ax, 5
        je short EQUAL
        jne short START
EQUAL:  jmp short NEXT
NEXT:   jmp short $+2
        jmp short AHEAD127
        mov ax, 0x1234
        times 124 db 0x90
AHEAD127:
        mov dx, 3
BACK128: add ax, [bx]
        sub ax, [si]
        times 122 db 0x90
        jmp short BACK128
        je short JAHEAD127
        times 127 db 0x90
JAHEAD127:
JBACK128:
        times 126 db 0x90
        jnz short JBACK128
TAIL:   loope TAIL
        loopz LATER
        loopne LATER
        loopnz $
        jcxz TAIL+1
        jmp short LATER
LATER:  jmp short TAIL
        ret
