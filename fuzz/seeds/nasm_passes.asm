bits 16
cpu 186
org 0x7c00
start:  push strict word 5
        add si, strict byte 5
        mov al, [bx+ROW]
        shl al, SHIFT
        aam BASE
again:  times 100 nop
        mov [bx+ROW], al
        jcxz again
        times 510-($-$$) db 0
        dw 0xaa55
ROW     equ 1
SHIFT   equ 1
BASE    equ 16
