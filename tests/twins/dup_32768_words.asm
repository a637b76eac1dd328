; The most words a DUP in DW can write: 32768 of them, 65536 bytes, the
; whole segment.
        DW 32768 DUP(1234H)
        END
