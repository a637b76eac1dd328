; A DOS .COM in sections with the 80186's forms, their immediates, counts
; and sizes defined at the end.
bits 16
cpu 186
org 0x100

section .text
main:
        push msg
        call print
        add sp, 2
        mov cx, COUNT
.next:  push cx
        imul ax, cx, SCALE
        shl ax, SHIFT
        mov [buffer + BUFLEN - 2], ax
        pop cx
        loop .next
        push word [result]
        pop ax
        imul bx, [table + 2], -3
        bound ax, [limits]
        mov ax, 0x4c00
        int 0x21

print:
        enter 0, 0
        mov dx, [bp + 4]
        mov ah, 9
        int 0x21
        leave
        ret

section .data
msg:    db "hello from the 80186$"
table:  dw 1, 2, 3, 4
limits: dw 0, 100
result: dw 42

section .bss
buffer: resb BUFLEN

COUNT   equ 10
SCALE   equ 100
SHIFT   equ 2
BUFLEN  equ 64
