; Twin of dup_65535_bytes.asm.
        bits 16
        times 65535 db 0xa5
