; Twin of data_widths.asm.
        bits 16
        cpu 8086
        org 0x100
START:  mov ax, [BIG]
        mov dx, [BIG+2]
        les di, [FARPTR]
        mov si, QUADS
        mov cx, QEND-QUADS
        ret
BIG:    dd 0x12345678
        dd 0, 1, -1, 0x7fffffff, -2147483648, 0x80000000, 0xffffffff
        dd 0x10000*3+2, -(1 << 16), -129
FARPTR: dd START
        dd BIG, BIG-START, QEND, QEND-START
CHARS:  dd 'abcd', 'ab', 'A'
        dw 'ab', 'z'
        db 'ab'
QUADS:  dq 1, -1, 0, 0x7fffffff, 0x80000000, 0xffffffff, -2
        dq 0xaabbccdd, 0x12345678
        dq 'abcd', 'x', START, QEND-START
QEND:
        times 3 dd 1
        times 2 dd -1, 5
        dd 0
        times 2 dq -3
        dq 0, 4
        dd 0, 0, 0, 9
        times 2 dq 0, 0, 6
        times 2 dd 'ab'
        db 0xee
