CPU 8086
section .text
        mov si, end_data
        times 8 resb 1
section .data
a:      resb 4
b:      resw 2
c:      resd 1
d:      resq 1
        times ($-$$) db 0
end_data:
section .bss
        resb 100h
