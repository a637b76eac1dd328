; Twin of dup_mixed.asm.
        bits 16
        cpu 8086
        org 0x100
ROWS    equ 4
COLS    equ 0x10
START:  mov si, GRID
        mov cx, GRIDLEN
        mov di, LATER
        ret
MSG:    db 'AB',0,0,'$'
        db 'x'
        times 3 db 'yz',0
        db '!'
        times 2 db 7,7,7,8
        times 2 db 1,3,3,1,3,3,4
GRID:   times ROWS*COLS db 0xc4
GRIDLEN equ $-GRID
%rep ROWS
        times COLS db 1
        db 13,10
%endrep
        times 256 db 5
        times 3*64 db 1,2
        times 128 dw 7
%rep 2
        times 31 dw 1,2
        dw 0xffff
%endrep
        times 3 dw GRID,LATER
        times 2 dw 0,ROWS
        dw 0
        times 4 db 0
        db 1,0
        times 2 db 0,9
        times (ROWS+1)*2 db -1
        db 0x42
        times 5 db 6
LATER:  times 2 dw LATER-START
