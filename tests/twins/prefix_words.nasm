; Twin of prefix_words.asm.
        bits 16
        cpu 8086
        org 0x100
START:  cs xlatb
        es mov ax, [VAR]
        ss mov [bx], al
        ds mov cx, [bx+si+2]
        es lodsb
        cs movsw
        ss mov dx, [bp+0]
AGAIN:  ss lodsw
        mov byte [es:bx], 1
        mov byte [es:bx], 1
        inc word [cs:si+2]
        inc word [cs:si+2]
        mov ax, [ds:VAR]
        mov ax, [es:bx+VAR]
        mov [ds:VAR], dx
        mov al, [cs:TABLE+1]
        mov word [es:VAR], 5
        add ax, [ss:bp+di+TABLE]
        les di, [cs:FARPTR]
        mov ax, TABLE+2
        mov bx, 2+TABLE
        mov cx, TEND-TABLE
        mov dx, TABLE_4
        mov di, TEND
        jne AGAIN
        ret
VAR:    dw 0x1234
FARPTR: dw START, 0
TABLE:  db 1, 2, 3, 4, 5, 6
TEND:
TABLE_4 equ TABLE+4
        dw VAR, TABLE, (TEND-TABLE)*2, TABLE_4
        db TEND-TABLE, (TEND-$$+0x100) & 0xff
