; nasm rejects
; A boot sector whose message no longer fits: the padding before the
; signature would be negative.
bits 16
cpu 8086
[org 0x7c00]

start:
        mov si, text
        mov ah, 0x0e
.next:
        lodsb
        test al, al
        jz .halt
        int 0x10
        jmp .next
.halt:
        hlt
        jmp .halt

text:
        times 50 db "0123456789"
        db 0

        times 510-($-$$) db 0
        dw 0xaa55
