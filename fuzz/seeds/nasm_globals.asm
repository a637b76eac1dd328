        global start
        extern puts
        BITS 16
section .text
start:  call near start
        jmp start
