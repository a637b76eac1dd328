; Twin of forward_counts.asm: NASM wants TIMES counts known, so the EQUs
; stand before their use here.
        bits 16
        cpu 8086
        org 0x100
BUFFER_SIZE equ 16
ENTRIES equ 5
CODE_START equ 0x180
        jmp near START
BUFFER: times BUFFER_SIZE db 0
TABLE:  times ENTRIES db 0xFF
WORDS:  times ENTRIES*2 dw 0x1234
        times CODE_START-($-$$)-0x100 db 0
START:  mov si, BUFFER
        mov cx, BUFFER_SIZE
        mov di, TABLE
        ret
