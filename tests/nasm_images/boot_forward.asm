; A boot sector whose first pass is longer than the sector: its table
; offsets, shift counts and AAM's base are defined at the end, so the
; first pass takes word displacements and counts of 1 (as NASM's does),
; and the padding and a JCXZ back over them come out right only in the
; passes after.
bits 16
cpu 186
org 0x7c00

start:
        push cs
        pop ds
        mov bx, table
again:
%rep 10
        mov al, [bx+ROW]
        add al, [bx+COLUMN]
        shl al, SHIFT
        mov [bx+ROW], al
%endrep
        aam BASE
        mov cx, ax
        jcxz again
        rol word [bx+COLUMN], ONE
%rep 110
        mov [bx+COLUMN], al
%endrep
        hlt
table:  db 1, 2, 3, 4

        times 510-($-$$) db 0
        dw 0xaa55

ROW     equ 1
COLUMN  equ 2
SHIFT   equ 3
ONE     equ 1
BASE    equ 16
