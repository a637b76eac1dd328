; Twin of dup_65535_pairs.asm.
        bits 16
        org 0x100
        db 0xff
        times 65535 db 1,2
        db 0xfe
