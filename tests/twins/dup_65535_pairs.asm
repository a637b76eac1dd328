; 65535 copies of a two-item list after a byte and before a last one.
        ORG 100H
        DB 0FFH
        DB 65535 DUP(1,2)
        DB 0FEH
        END
