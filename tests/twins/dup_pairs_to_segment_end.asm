; Copies of a two-item list after a byte and before a last one, up to the
; end of the segment: the last byte stands at FFFFH.
        ORG 100H
        DB 0FFH
        DB 32639 DUP(1,2)
        DB 0FEH
        END
