; vexa options: --dialect=nasm
; Greets, then lists the bytes of a string of escapes in hexadecimal,
; and draws a frame from repeated characters.
org 0x100

start:
        mov dx, hello
        mov ah, 0x09
        int 0x21

        mov si, escapes
        mov cx, ESCAPES_SIZE
.byte:
        lodsb
        call hex8
        mov dl, ' '
        mov ah, 0x02
        int 0x21
        loop .byte
        mov dx, newline
        mov ah, 0x09
        int 0x21

        mov dx, frame
        mov ah, 0x09
        int 0x21

        mov ax, 'ok'                ; 'o' in al, 'k' in ah
        cmp al, `o`
        jne .done
        cmp ah, `\x6b`
        jne .done
        mov dl, al
        mov ah, 0x02
        int 0x21
        mov dl, `\n`
        int 0x21
.done:
        mov ax, 0x4c00
        int 0x21

; Prints al as two hexadecimal digits.
hex8:
        push ax
        mov dl, al
        shr dl, 1
        shr dl, 1
        shr dl, 1
        shr dl, 1
        call .nibble
        pop ax
        mov dl, al
        and dl, 0x0f
.nibble:
        mov bx, digits
        mov al, dl
        xlatb
        mov dl, al
        mov ah, 0x02
        int 0x21
        ret

hello:      db `Hello\r\n$`
escapes:    db `\t \0 \\ \' \" \` \x41 \101 \e`
            db `\a\b\f\v\?\n\r`, `\xff\377`
            db 'single "quoted"', "double 'quoted'", `it's`
ESCAPES_SIZE     equ $ - escapes
newline:    db `\r\n$`
digits:     db "0123456789abcdef"

frame:      db "+", 8 dup ('-'), "+", 13, 10
            db "|", 8 dup ' ', "|", 13, 10
            db "|", 2 dup (' ', 2 dup ('*'), ' '), "|", 13, 10
            db "+", 8 dup ('-'), "+", 13, 10, '$'
words:      dw 'ab', `c\0`, 3 dup (0x1234)
longs:      dd 'abcd', `\x01\x02`
counts:     db 4 dup ('1'), 4 dup '1'
            times 3 db 'xy'
