; Twin of repeats.asm.
        bits 16
        cpu 8086
        org 0x100
        jmp near START

%assign N 0
SQUARES:
%rep 8
%assign N N+1
        dw N*N
%endrep

%assign N 0
PARITY:
%rep 16
%assign V N
%assign P 0
%rep 4
%assign P P ^ (V & 1)
%assign V V >> 1
%endrep
        db P
%assign N N+1
%endrep

POWERS: dw 1, 3, 9, 27, 81, 243, 729

HEXDIGITS:
        db '0123456789ABCDEF'
VOWELS:
        db 'aeiou'
        dw 100, 200, 400, 800
        db 1, 2, 2, 3, 3, 3
        db 1, 2, 3, 4, 5
COLOUR_RED: db 0
COLOUR_GREEN: db 0
COLOUR_BLUE: db 0

%assign i 0
SMALL_SQUARES:
%rep 10
%if i*i > 40
%exitrep
%endif
        db i*i
%assign i i+1
%endrep

%assign nib 0
CRC_NIBBLES:
%rep 16
%assign crc nib
%rep 4
%if crc & 1
%assign crc (crc >> 1) ^ 0xA001
%else
%assign crc crc >> 1
%endif
%endrep
        dw crc
%assign nib nib+1
%endrep

%rep 0
        db 0xEE
%endrep

START:  push ax
        push bx
        push cx
        push dx
        mov si, SQUARES
        mov cx, 8
        mov ax, 0
SUM:    add ax, [si]
        add si, 2
        loop SUM
        mov di, TEXT
        call HEXBYTE
        mov al, [COLOUR_GREEN]
        shl ax, 1
        shl ax, 1
        shl ax, 1
        pop dx
        pop cx
        pop bx
        pop ax
        ret

HEXBYTE:
        push ax
        mov cl, 4
        shr al, cl
        mov bx, HEXDIGITS
        xlat
        stosb
        pop ax
        and al, 0x0f
        xlat
        stosb
        ret
TEXT:   db '..$'
