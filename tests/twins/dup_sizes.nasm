; Twin of dup_sizes.asm.
        bits 16
        cpu 8086
        org 0x100
START:  mov si, ONE
        mov cx, BLOCKEND-ONE
        mov bx, W129
        mov di, Z129
        mov dx, DONE-Z128
        jmp near DONE
ONE:    times 1 db 0x11
        db 0xee
B128:   times 128 db 0x22
        db 0xee
B129:   times 129 db 0x33
        db 0xee
W1:     times 1 dw 0x1234
W128:   times 128 dw 0x5678
W129:   times 129 dw 0x9abc
BLOCKEND:
Z1:     times 1 db 0
Z128:   times 128 db 0
Z129:   times 129 dw 0
DONE:   mov ax, Z1
        mov ax, B129+128
        mov ax, [W128+254]
        ret
