; Twin of prefixes.asm.
        bits 16
        cpu 8086
        org 0x100
START:  cld
        mov si, SRC
        mov di, DST
        mov cx, LEN
        rep movsb
        rep movsw
        rep movsb
        rep cs movsw
        rep ss movsb
        repe cmpsb
        repe cmpsw
        repe cmpsb
        repz es cmpsw
        repz cmpsb
        repne scasb
        repne scasw
        repnz scasw
        repnz cmpsb
        rep stosb
        rep stosw
        rep stosb
        rep lodsb
        rep lodsw
        rep es lodsb
        rep cs lodsw
        rep
        movsb
        repne
        scasb
        lock xchg ax, [bx]
        lock xchg [si+4], cl
        lock xchg ax, [es:bx]
        lock xchg dx, [es:bx+di+0x1234]
        lock inc word [bx]
        lock dec byte [di]
        lock neg word [cs:si]
        lock not byte [ss:bp+2]
        lock add [bx], al
        lock adc word [bx], 5
        lock sub [di], ax
        lock sbb byte [si], 0x7f
        lock and [bx+si], dx
        lock or word [bp+di], 0x8000
        lock xor [SRC], al
        lock
        inc word [DST]
        ret
SRC:    db 'source'
LEN     equ $-SRC
DST:    times LEN db 0
