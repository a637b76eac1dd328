; Twin of load_address.asm.
        bits 16
        cpu 8086
        org 0x100
START:  lea dx, [MSG]
        mov ah, 9
        int 0x21
        lea si, [MSG+2]
        lea di, [bx+TABLE]
        lea bx, [TABLE+4]
        lea ax, [5]
        lea cx, [0x1234]
        lea bp, [START]
        lea sp, [$]
        lds si, [FARPTR]
        les di, [FARPTR+4]
        lds bx, [FARPTR]
        les ax, [0x80]
        lds dx, [es:FARPTR]
        lea dx, [es:MSG]
        lea si, [si+2]
        ret
MSG:    db 'Hello$'
TABLE:  dw 1,2,3,4
FARPTR: dw 0x10,0x2000
        dw 0x20,0x3000
AFTER:  lea dx, [MSG]
        lea di, [AFTER]
        lea si, [MSG-START]
        lds si, [FARPTR]
        les bx, [MSG]
        ret
