; A mode-13H boot sector as such programs are written: macros, local labels,
; PUSHA/POPA, IMUL by the screen width, PUSH of the video segment, shifts by
; counts, ENTER/LEAVE.
[bits 16]
[org 0x7c00]
cpu 186

%define VIDEO 0xa000
%define WIDTH 320
%macro setpixel 0
        imul di, [y], WIDTH
        add di, [x]
        mov byte [es:di], al
%endmacro

start:
        xor ax, ax
        mov ds, ax
        mov ss, ax
        mov sp, 0x7c00
        mov ax, 0x13
        int 0x10
        push VIDEO
        pop es
.loop:
        pusha
        mov al, [color]
        setpixel
        popa
        call read_key
        inc byte [color]
        shl word [delay], 1
        shr word [delay], 2
        sar ax, 3
        rol bl, 4
        jmp .loop

read_key:
        mov ah, 1
        int 0x16
        jz .none
        xor ah, ah
        int 0x16
        cmp ah, 0x48
        jne .n1
        dec word [y]
.n1:    cmp ah, 0x50
        jne .n2
        inc word [y]
.n2:    cmp ah, 0x4b
        jne .n3
        dec word [x]
.n3:    cmp ah, 0x4d
        jne .none
        inc word [x]
.none:  ret

wait_tick:
        enter 2, 0
        push word [delay]
        pop cx
.w:     loop .w
        leave
        ret

x:      dw 160
y:      dw 100
color:  db 1
delay:  dw 0x100
msg:    db "Snake!", 0

        times 510-($-$$) db 0
        dw 0xaa55
