; Twin of assign.asm.
        bits 16
        cpu 8086
        org 0x100
BASE    equ 10
%assign COUNT 0
        db COUNT
%assign COUNT COUNT + 1
        db COUNT
%assign COUNT COUNT+1
        dw COUNT, COUNT*BASE
%assign X 5
START:  mov ax, X
%assign X X*2
        mov bx, X
        mov cx, [bx+X]
        add ax, X-1
%assign X X << 4
        mov dl, X
        times COUNT db 0xaa
%assign COUNT 0
        db COUNT, X
%assign N 7
        db N
%assign N -1
        dw N, X
HERE1   equ $
        dw HERE1
        nop
HERE2   equ $
        dw HERE2, HERE2-START
LEN1    equ TAIL-START
        mov cx, LEN1
LEN2    equ LEN1/2
        mov dx, LEN2
%assign V BASE*3
        mov al, V
%assign V V-BASE
        cmp al, V
TAIL:   ret
