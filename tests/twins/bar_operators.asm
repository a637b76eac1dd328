; The operators spelt with a bar, which an encoding table cannot hold: | and
; || at their levels, beside & ^ and the comparisons.
        ORG 100H
FLAGS   EQU 5
        DB 6|1, 1|6&3, 2|1^3, 1|2==3, 1||0, 0||0, 0||1&&0, 1|2<<1
        DW FLAGS|100H, FLAGS|8|80H
        MOV AX,FLAGS|8
        OR AL,1|2
        CMP AL,'a'|20H
        MOV BX,[BX+(1|2)]
        END
