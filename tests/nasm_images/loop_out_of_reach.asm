; nasm rejects
; A loop whose body grew past the reach of its short jump: loop has no
; longer form, so the program cannot be assembled.
bits 16
cpu 8086
org 0x100

start:
        mov cx, 10
.again:
        mov ax, 0x0e2e
        int 0x10
        times 120 nop
        mov dx, 0x3da               ; a little more work in the body
        in al, dx
        loop .again
        ret
