; The same, as NASM reads it.
        org 0x100
FLAGS   equ 5
        db 6|1, 1|6&3, 2|1^3, 1|2==3, 1||0, 0||0, 0||1&&0, 1|2<<1
        dw FLAGS|0x100, FLAGS|8|0x80
        mov ax,FLAGS|8
        or al,1|2
        cmp al,'a'|0x20
        mov bx,[bx+(1|2)]
