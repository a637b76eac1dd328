bits 16
cpu 8086
[org 0x100]
section .text
start:  mov dx, msg
        mov ah, 9
        int 0x21
        mov cx, [count]
        ret
section .data align=16
msg:    db `hi\r\n$`
count:  dw 3
section .bss
buf:    resb 16
        resw 2
[SECTION .rodata progbits]
table:  dw start, msg, buf
segment .scratch nobits align=2
        resd 1
        resq 1
