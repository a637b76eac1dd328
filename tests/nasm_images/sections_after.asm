; Prints the command tail in ROT13 and how many letters it turned. The
; code comes first; sections are left and taken up again as the program
; grows, and the reserved space comes last.
bits 16
cpu 8086
[org 0x100]

section .text
start:
        mov si, 0x81
        mov cl, [0x80]
        xor ch, ch
        mov [buf], cl
        mov bx, buf+2
        xor ax, ax
        mov [counter], ax
        jcxz .copied
.copy:
        lodsb
        call rot13
        mov [bx], al
        inc bx
        loop .copy
.copied:
        mov byte [bx], '$'
        mov dx, heading
        call say
        mov dx, buf+2
        call say
        mov dx, crlf
        call say
        mov ax, [counter]
        call show_count
        mov ax, 0x4c00
        int 0x21

section .data align=16
heading:    db "ROT13:$"
crlf:       db 13, 10, "$"

section .text
; Turns al by 13 letters when it is a letter, and counts it.
rot13:
        mov ah, al
        and ah, 0xdf
        cmp ah, 'A'
        jb .keep
        cmp ah, 'Z'
        ja .keep
        inc word [counter]
        cmp ah, 'N'
        jb .up
        sub al, 13
        ret
.up:
        add al, 13
.keep:
        ret

say:
        mov ah, 0x09
        int 0x21
        ret

; Prints ax as four hexadecimal digits.
show_count:
        mov cx, 4
        mov di, count_text
.digit:
        push cx
        mov cl, 4
        rol ax, cl
        pop cx
        mov bx, ax
        and bx, 0x000f
        mov dl, [hex_digits+bx]
        mov [di], dl
        inc di
        loop .digit
        mov dx, count_text
        jmp say

[section .rodata]
hex_digits: db "0123456789ABCDEF"

section .data
count_text: db "0000 letters turned", 13, 10, "$"

section .bss
counter:    resw 1
buf:        resb 2 + 128
