; Counts the vowels in a typed line. The data and the reserved space are
; written before the code; the code still comes first in the image.
bits 16
cpu 8086
org 0x100

section .data
prompt:     db "Type a line: $"
result:     db 13, 10, "Vowels: $"

section .bss
counter:    resw 1
buf:        resb 2 + 80             ; DOS line input: size, length, text
digits:     resb 6

section .rodata align=16
vowels:     db "aeiouAEIOU"
VOWELS_SIZE      equ $ - vowels

section .text
start:
        mov dx, prompt
        mov ah, 0x09
        int 0x21
        mov byte [buf], 80
        mov dx, buf
        mov ah, 0x0a
        int 0x21

        xor ax, ax
        mov [counter], ax
        mov cl, [buf+1]
        xor ch, ch
        jcxz .report
        mov bx, buf+2
.char:
        mov al, [bx]
        mov si, vowels
        mov dx, VOWELS_SIZE
.vowel:
        cmp al, [si]
        je .found
        inc si
        dec dx
        jnz .vowel
        jmp .next
.found:
        inc word [counter]
.next:
        inc bx
        loop .char

.report:
        mov dx, result
        mov ah, 0x09
        int 0x21
        mov ax, [counter]
        call print_number
        mov ax, 0x4c00
        int 0x21

; Prints ax in decimal.
print_number:
        mov di, digits + 5
        mov byte [di], '$'
        mov bx, 10
.digit:
        xor dx, dx
        div bx
        add dl, '0'
        dec di
        mov [di], dl
        test ax, ax
        jnz .digit
        mov dx, di
        mov ah, 0x09
        int 0x21
        ret
