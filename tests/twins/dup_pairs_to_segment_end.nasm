; Twin of dup_pairs_to_segment_end.asm.
        bits 16
        org 0x100
        db 0xff
        times 32639 db 1,2
        db 0xfe
