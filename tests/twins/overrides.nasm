; Twin of overrides.asm.
        bits 16
        cpu 8086
        org 0x100
START:  mov ax, [es:di]
        mov ax, [es:di]
        mov [es:di], al
        mov bl, [cs:bx+si+4]
        mov byte [ss:bp+0], 5
        mov word [ds:si+0x10], 0x1234
        mov ax, [es:bx+TABLE]
        mov ax, [cs:di+TABLE+2]
        mov ax, [es:bx+si]
        mov ax, [cs:TABLE]
        mov ax, [es:bp+di-0x80]
        mov es, [cs:SAVED]
        mov [ss:bx], ds
        inc word [cs:bx]
        add [es:di], ax
        cmp byte [es:si], 'A'
        test word [ss:bp+6], 0x8000
        xchg cx, [es:bx]
        push word [ss:bp+2]
        pop word [es:di]
        lea ax, [es:bx]
        lds si, [cs:FARPTR]
        les di, [ss:bp+4]
        jmp [cs:bx]
        jmp far [cs:FARPTR]
        call [es:bx+2]
        call far [ss:bp+0]
        shl word [es:di], 1
        not byte [ds:bp+0]
        es lodsb
        cs movsw
        ss cmpsb
        rep es movsb
        lock inc word [es:bx]
        ret
TABLE:  dw 1,2,3
SAVED:  dw 0
FARPTR: dw 0,0
