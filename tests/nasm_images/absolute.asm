; Builds a table of the squares of 0..255 in free memory at 0500h, sums
; them in a double word, counts the odd ones in a quad word, and prints
; the sum in hexadecimal.
bits 16
cpu 8086
org 0x100

start:
        jmp main

absolute 0x0500
squares:    resw 256
squares_end:
done:       resb 1
            resb 1                  ; keeps the sum on an even address
total:      resd 1
odd_count:  resq 1
line:       resb 10                 ; eight digits, CR LF
line_end:   resb 1                  ; '$'

section .text
main:
        cld
        xor ax, ax
        mov [done], al
        mov [total], ax
        mov [total+2], ax
        mov di, odd_count
        mov cx, 4
        rep stosw

        mov di, squares
        xor bx, bx
.square:
        mov ax, bx
        mul ax
        stosw
        add [total], ax
        adc word [total+2], 0
        test al, 1
        jz .even
        add word [odd_count], 1
        adc word [odd_count+2], 0
        adc word [odd_count+4], 0
        adc word [odd_count+6], 0
.even:
        inc bx
        cmp di, squares_end
        jb .square
        mov byte [done], 1

        mov di, line
        mov ax, [total+2]
        call hex16
        mov ax, [total]
        call hex16
        mov word [line+8], 0x0a0d
        mov byte [line_end], '$'
        mov dx, line
        mov ah, 0x09
        int 0x21

        mov ax, [squares + 2 * 16]  ; 16 squared
        cmp ax, 256
        jne .wrong
        mov cx, (squares_end - squares) / 2
        cmp cx, [odd_count]
        jbe .wrong
        mov ax, 0x4c00
        int 0x21
.wrong:
        mov ax, 0x4c01
        int 0x21

; Writes ax as four hexadecimal digits at di.
hex16:
        mov cx, 4
.digit:
        push cx
        mov cl, 4
        rol ax, cl
        pop cx
        mov dl, al
        and dl, 0x0f
        add dl, '0'
        cmp dl, '9'
        jbe .put
        add dl, 'A' - '9' - 1
.put:
        mov [di], dl
        inc di
        loop .digit
        ret
