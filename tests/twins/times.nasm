; Twin of times.asm.
        bits 16
        cpu 8086
        org 0x100
N       equ 4
START:  times 4 nop
        times 1 inc ax
        times 0 dec ax
        times 2 db 0x8b, 0xc3           ; mov ax,bx as Vexa encodes it
        times 2 rep movsb
        times 3 lodsb
        times 2 jmp short $+2
        times 2 mov cx, $
        mov dx, $-$$
        times 32-($-$$) db 0
PADDED: db 0xee
        times 3 db 1, 2
        times 0 db 5
        times 2*3 db 0
        times N-1 dw -1
        times (N) db 'ab'
        times PADDED-START-30 db 9
ROW:    times 3 dw $
        times 2 dw $-$$, ROW
        times 2 db 7, 7, 7, 'x'
        dw $$, $-$$, PADDED-$$
        times 96-($-$$) db 0xcc
        times 96-($-$$) db 0xdd
        db 0xee
