; Twin of conditions.asm.
        bits 16
        cpu 8086
        org 0x100
MODE    equ 2
%if MODE == 1
        mov ax, 1
%elif MODE == 2
        mov ax, 2
%if MODE-2 == 0
        inc ax
%else
        dec ax
%endif
%else
        mov ax, 3
%endif
%if MODE > 1
        mov bx, MODE
%elif MODE
        mov bx, 0
%endif
        ret
