; The largest DUP count in DW: 65535 words, 131070 bytes, all written.
        DW 65535 DUP(1234H)
        END
