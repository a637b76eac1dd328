; Twin of forward_displacements.asm.
        bits 16
        cpu 8086
        org 0x100
        mov dx, [bx+POS]
        mov ax, [bp+di+POS]
        mov cl, [si+POS+1]
        mov [bx+FAR_OUT], ax
        add ax, [di+BACK]
        cmp byte [bx+POS], 0
        mov word [si+ROW_SIZE*2], 0x1234
        inc word [bx+si+RECORD_LENGTH]
        mov ax, [bx+TABLE]
        ret
POS     equ 64
FAR_OUT equ 0x300
BACK    equ -2
ROW_SIZE equ 40
RECORD_LENGTH equ 12
TABLE:  dw 0
