; The largest DUP count in DB: 65535 bytes, all written.
        DB 65535 DUP(0A5H)
        END
