; Twin of settling_chain.asm.
        bits 16
        cpu 8086
        org 0x100
        add bx, LENGTH_1
S1:     add bx, LENGTH_2
        sub cx, LENGTH_2
        times 120 db 0x90
E1:
S2:     add bx, LENGTH_3
        sub cx, LENGTH_3
        times 120 db 0x90
E2:
S3:     add bx, LENGTH_4
        sub cx, LENGTH_4
        times 120 db 0x90
E3:
S4:     add bx, LENGTH_5
        sub cx, LENGTH_5
        times 120 db 0x90
E4:
        ret
LENGTH_1 equ E1-S1
LENGTH_2 equ E2-S2
LENGTH_3 equ E3-S3
LENGTH_4 equ E4-S4
LENGTH_5 equ 1000
