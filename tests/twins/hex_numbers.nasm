; Twin of hex_numbers.asm.
        bits 16
        cpu 8086
        org 0x100
PORT    equ 0x60
MASK    equ 0xff00
START:  mov ax, 0x1234
        mov bl, 0xff
        mov cx, -0x10
        mov dx, MASK+0xff
        add si, strict word 0x7fff
        sub di, strict word 0x80
        and ax, 0xfff0
        cmp byte [bx], 0x7f
        mov word [bx+si+0x10], 0xbeef
        mov ax, [bx+0x7f]
        mov ax, [bp-0x80]
        mov ax, [di+0x80]
        mov ax, [si+0x20]
        mov al, [0x80]
        mov [0x1234], ax
        mov ax, [es:0x10]
        mov ax, TABLE+2
        int 0x21
        int3
        shl ax, 1
        sar byte [si], 1
        in al, PORT
        in ax, 0x61
        out 0xff, al
        jmp short $+4
        jmp 0x1000:0x20
        call 0xffff:0
        call FUNC
        je $+2
        mov ax, $+0x10
        ret
FUNC:   ret 4
        retf 0
TABLE:  db 0x41,0x42,-1,0
        db 'x',13,10,'$'
        dw 0x1234,0xffff,-0x8000
        dw $+0x10
        times 0x10 db 0x55
        times 3 dw 0xabcd
        times 0x10 db 0
        db 0x99
        times 0x200-0x100-($-$$) db 0
        db 0x77
