; Immediates and displacements as NASM sizes them: the sign-extended byte
; form for a number that fits, the word form for an address; a byte
; displacement for a small constant defined further on, a word one for
; a label. The program sums a table, scales it and writes it to the screen.
bits 16
cpu 8086
org 0x100

start:
        mov si, table
        add si, 5                   ; 83 form
        add si, table               ; an address keeps the word form
        sub si, table
        add si, table_end - table   ; a difference is a number
        sub si, table_end - table
        sub sp, 128
        add sp, 127
        add sp, 1
        mov bx, table
        xor ax, ax
        mov cx, ENTRIES
.sum:
        add ax, [bx]
        adc dx, 0
        cmp ax, 127
        jle .small
        cmp ax, 128
        jge .large
.small:
        add ax, 0xff80
        add ax, 0x0080
.large:
        and ax, 0xfff0
        or al, 0x80
        xor dx, 0x7f
        sbb ax, -1
        add bx, 2
        loop .sum
        mov [total], ax

        mov bx, record
        mov al, [bx+FOO]            ; FOO defined later: byte displacement
        mov ax, [bx+label]          ; a label: word displacement
        mov [bx+si+NEAR_NEG], al
        mov ax, [bx+si+FAR_AWAY]
        mov [bp+si-2], ax
        mov ax, [bp]
        mov ax, [bp+di]
        mov al, [di+127]
        mov al, [di+128]
        mov al, [di-128]
        mov al, [di-129]
        lea si, [bx+di+FOO]
        mov ax, [0x0080]
        mov al, [label]
        mov [label], ax
        mov ax, [es:bx]
        mov al, [cs:record+1]
        les di, [screen]
        mov ax, label

        mov [pos], word 0x0c14
        mov byte [bx], 5
        mov word [bx+FOO], 300
        mov word [bx+FOO+2], 3
        cmp byte [bx], 'a'
        cmp word [bx], 'a'
        add word [si+2], 1000
        add word [si+2], -1
        test ax, 1
        test bl, 1
        test word [bx], 0x8000
        adc dx, 0
        mov ax, -1
        push word [bx]
        pop word [bx+si]
        inc word [total]
        dec byte [record+FOO]
        shl ax, 1
        shl ax, cl
        sar word [bx+2], 1
        cmp word [total], 0
        jne .show
        call debug_break
.show:
        mov di, [pos]
        mov ax, [total]
        mov cx, 4
.digit:
        push cx
        mov cl, 4
        rol ax, cl
        pop cx
        mov bl, al
        and bx, 0x0f
        mov dl, [hex+bx]
        mov dh, 0x07
        mov [es:di], dx
        add di, 2
        loop .digit
        ret 0

; Reads the keyboard port, acknowledges the interrupt, stops in a debugger.
debug_break:
        in al, 0x60
        out 0x20, al
        int 3
        int3
        ret 2

table:      dw 10, 200, -5, 0x7fff, 1000, 3, 77, 128
table_end:
ENTRIES     equ (table_end - table) / 2
total:      dw 0
pos:        dw 0
screen:     dw 0, 0xb800
hex:        db "0123456789ABCDEF"
record:     times 16 db 0
label:      dw 0

FOO         equ 5
NEAR_NEG    equ -3
FAR_AWAY    equ 1000
