; Moves points by a step, keeps them inside a box, and prints them as
; "x,y" lines. Points and the box are structures laid out with istruc.
bits 16
cpu 8086
org 0x100

struc point
.x:     resw 1
.y:     resw 1
endstruc

struc box
.corner: resb point_size
.w:      resw 1
.h:      resw 1
.name:   resb 8
.flags:  resb 1
endstruc

section .text
start:
        sub sp, point_size          ; the step, on the stack
        mov bp, sp
        mov word [bp+point.x], 3
        mov word [bp+point.y], -2

        mov bx, points
        mov cx, POINT_COUNT
.each:
        mov ax, [bp+point.x]
        add [bx+point.x], ax
        mov ax, [bp+point.y]
        add [bx+point.y], ax
        call clamp
        call show
        add bx, point_size
        loop .each

        or byte [area+box.flags], 1
        mov si, area+box.name
        call say_name
        add sp, point_size
        mov ax, 0x4c00
        int 0x21

; Keeps the point at bx inside the area.
clamp:
        mov si, area
        mov ax, [si+box.corner+point.x]
        cmp [bx+point.x], ax
        jge .x_low
        mov [bx+point.x], ax
.x_low:
        add ax, [si+box.w]
        cmp [bx+point.x], ax
        jl .x_high
        dec ax
        mov [bx+point.x], ax
.x_high:
        mov ax, [si+box.corner+point.y]
        cmp [bx+point.y], ax
        jge .y_low
        mov [bx+point.y], ax
.y_low:
        add ax, [area+box.h]
        cmp [bx+point.y], ax
        jl .y_high
        dec ax
        mov [bx+point.y], ax
.y_high:
        ret

; Prints the point at bx as "x,y".
show:
        push cx
        mov ax, [bx+point.x]
        call decimal
        mov dl, ','
        mov ah, 0x02
        int 0x21
        mov ax, [bx+point.y]
        call decimal
        mov dl, 13
        mov ah, 0x02
        int 0x21
        mov dl, 10
        int 0x21
        pop cx
        ret

; Prints ax, an unsigned number, in decimal.
decimal:
        mov si, 10
        xor cx, cx
.divide:
        xor dx, dx
        div si
        push dx
        inc cx
        test ax, ax
        jnz .divide
.digit:
        pop dx
        add dl, '0'
        mov ah, 0x02
        int 0x21
        loop .digit
        ret

; Prints the zero-terminated name at si.
say_name:
        lodsb
        test al, al
        jz .done
        mov dl, al
        mov ah, 0x02
        int 0x21
        jmp say_name
.done:
        ret

section .data
points:
        istruc point
            at point.x, dw 5
            at point.y, dw 7
        iend
        istruc point
            at point.x, dw 98
            at point.y, dw 1
        iend
        istruc point
            at point.x, dw 40
            at point.y, dw 60
        iend
POINT_COUNT  equ ($ - points) / point_size

area:
        istruc box
            at box.corner, dw 2, 2
            at box.w, dw 96
            at box.h, dw 48
            at box.name, db "field", 0
        iend
