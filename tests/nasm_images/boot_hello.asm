; Boot sector: greets, shows the boot drive, and spins until a key
; is pressed, then asks the BIOS to boot again.
bits 16
cpu 8086
[org 0x7c00]

start:
        jmp 0x0000:normal       ; some BIOSes enter at 07C0:0000

normal:
        cli
        xor ax, ax
        mov ds, ax
        mov es, ax
        mov ss, ax
        mov sp, 0x7c00
        sti
        cld
        mov [boot_drive], dl

        mov ax, 0x0003          ; 80x25 colour text, clears the screen
        int 0x10

        mov cx, 3               ; the greeting three times
.greet:
        mov si, greeting
        call print
        loop .greet

        mov si, drive_text
        call print
        mov al, [boot_drive]
        call print_hex8
        mov si, newline
        call print

wait_key:
        mov si, spinner
.spin:
        lodsb
        test al, al
        jz wait_key
        mov ah, 0x0e
        mov bx, 0x0007
        int 0x10
        mov al, 8               ; back over the spinner
        int 0x10
        mov ah, 0x01            ; a key waiting?
        int 0x16
        jz .spin
        xor ah, ah
        int 0x16
        int 0x19

; Prints the zero-terminated string at si.
print:
        mov ah, 0x0e
        mov bx, 0x0007
.next:
        lodsb
        test al, al
        jz .done
        int 0x10
        jmp .next
.done:
        ret

; Prints al as two hexadecimal digits.
print_hex8:
        push ax
        mov cl, 4
        shr al, cl
        call .digit
        pop ax
        and al, 0x0f
.digit:
        add al, '0'
        cmp al, '9'
        jbe .out
        add al, 'a' - '9' - 1
.out:
        mov ah, 0x0e
        mov bx, 0x0007
        int 0x10
        ret

greeting:   db "Hello from the boot sector!", 13, 10, 0
drive_text: db "Booted from drive 0x", 0
newline:    db 13, 10, 0
spinner:    db "|/-\", 0
boot_drive: db 0

        times 510-($-$$) db 0
        dw 0xaa55
