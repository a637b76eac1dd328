; Twin of dup_65535_words.asm.
        bits 16
        times 65535 dw 0x1234
