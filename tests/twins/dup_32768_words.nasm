; Twin of dup_32768_words.asm.
        bits 16
        times 32768 dw 0x1234
