; Twin of prefixes_alone.asm.
        bits 16
        org 0x100
        rep
again:
        movsb
        repne
        es
        scasw
        lock
        inc word [bx]
        lock
        repe
        cmpsb
        repnz
        cs
        lodsb
        jmp again
