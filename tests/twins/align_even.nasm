; Twin of align_even.asm.
        bits 16
        cpu 8086
        org 0x103
        sectalign off                   ; the image starts at 103H, unpadded
PARA    equ 16
        align 4
START:  mov al, 1
        align 4
        inc ax
        align 2
        align 2
        align 1
        db 1
        align 8, db 0xff
        db 2
        align PARA, db 0
ALIGNED: db 3
        align 2*2, db 'x'
        dw ALIGNED, $-$$
        align 16, db -1
        jmp near TARGET
        align 8
TARGET: call ROUTINE
        ret
        align 64, db 0xcc
ROUTINE: ret
        align 2
        align 2
        db 4
        align 2
        align 4, db 0
        dw TARGET, ROUTINE, ROUTINE-$$
        align 32
        db 0xee
