; Draws the 8x8 sprite of data/sprite.bin with '#' and '.' characters.
; The file is "SP", the width, the height, then one byte a row.
bits 16
cpu 8086
org 0x100

section .text
start:
        cmp word [file], 'SP'       ; the whole file, as a check
        jne .bad
        mov al, [size]
        cmp al, [file+2]
        jne .bad
        mov si, rows
        mov ch, [size+1]
.row:
        lodsb
        mov ah, al
        mov cl, [size]
.bit:
        mov dl, '.'
        shl ah, 1
        jnc .put
        mov dl, '#'
.put:
        push ax
        mov ah, 0x02
        int 0x21
        pop ax
        dec cl
        jnz .bit
        mov dx, crlf
        mov ah, 0x09
        int 0x21
        dec ch
        jnz .row
        mov al, [size+2]            ; the top row again
        cmp al, [rows]
        jne .bad
        mov ax, [tail]
        cmp ax, [rows+6]
        jne .bad
        mov ax, 0x4c00
        int 0x21
.bad:
        mov dx, bad
        mov ah, 0x09
        int 0x21
        mov ax, 0x4c01
        int 0x21

section .data
file:   incbin "data/sprite.bin"
rows:   incbin "data/sprite.bin", 4
size:   incbin "data/sprite.bin", 2, 3  ; width, height and the top row
tail:   incbin 'data/sprite.bin', 10    ; the last two rows
crlf:   db 13, 10, "$"
bad:    db "not a sprite", 13, 10, "$"
