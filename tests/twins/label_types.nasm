; Twin of label_types.asm.
        bits 16
        cpu 8086
        org 0x100
START:  mov byte [BYTES], 1
        mov word [WORDS], 1
        mov al, [BYTES+1]
        inc byte [BYTES+1]
        not word [bx+WORDS]
        mov byte [si+BYTES], 0
        add word [ASWORDS+2], 0x300
        call far [FARVEC]
        les di, [FARVEC]
        call NEARLBL
        jmp near NEARLBL
BACK:
        nop
        jmp BACK
NEARLBL:
        ret
ENTRY:
        retf
BYTES:
WORDS:  dw 0x1234
ASWORDS:
        db 1, 2, 3, 4
FARVEC:
        dw NEARLBL, 0
TWO:
SAME:
        dw ENTRY, BACK, BYTES, WORDS, SAME-TWO
AFTER:  mov word [ASWORDS], 5
        shl byte [BYTES], 1
        dec word [SAME]
        inc byte [TWO]
        jmp far [FARVEC]
        jmp BACK
