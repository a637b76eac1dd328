; Twin of bootsect.asm: the same 512-byte boot sector in NASM syntax.
        bits 16
        cpu 8086
        org 0x7c00
START:  jmp 0:MAIN              ; run at 0000:7C00 whatever CS the BIOS chose
MAIN:   cli
        mov ax, cs
        mov ds, ax
        mov es, ax
        mov ss, ax
        mov sp, 0x7c00          ; the stack grows down below the code
        sti
        cld
        mov si, MESSAGE
PRINT:  lodsb                   ; AL = next character, SI moves on
        cmp al, 0
        je DONE                 ; the message ends with a zero byte
        mov ah, 0x0e            ; teletype output of AL
        mov bx, 0x0007          ; page 0, light grey
        int 0x10
        jmp PRINT
DONE:   cli
HALT:   hlt                     ; wait here for good
        jmp HALT

MESSAGE: db 'Hello from a Vexa boot sector!', 13, 10, 0

        times 510-($-$$) db 0   ; fill the sector up to its last two bytes
        dw 0xaa55               ; the signature the BIOS looks for
