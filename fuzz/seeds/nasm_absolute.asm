[BITS 16]
org 100h
        mov ax, [var2]
        jmp short done
absolute 0x80
var1:   resb 1
var2:   resw 1
var3:   resd 2
section .text
done:   ret
        dw var3-var1
