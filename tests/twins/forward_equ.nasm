; Twin of forward_equ.asm.
        bits 16
        cpu 8086
        org 0x100
SHIP_ROW equ 0x5C*OFFSET_X
MESSAGE_LENGTH equ MESSAGE_END-MESSAGE
FIRST   equ SECOND+1
SECOND  equ THIRD*2
THIRD   equ OFFSET_X+4
        mov ax, SHIP_ROW
        mov cx, MESSAGE_LENGTH
        mov dx, MESSAGE
        mov bx, FIRST
        add bx, SECOND
        mov ah, 9
        int 0x21
        ret
OFFSET_X equ 3
MESSAGE: db 'Settled', 13, 10, '$'
MESSAGE_END:
