; Twin of macros_nasm.asm.
        bits 16
        cpu 8086
        org 0x100

%define COLS 80
%define CELL(row, col) (((row)*COLS+(col))*2)
%idefine attribute 0x1F
%assign cells 0
%define LAST_ROW ROWS-1                 ; ROWS is read where LAST_ROW is used
%define ROWS 25
%assign FIXED_LAST LAST_ROW             ; 24, whatever ROWS becomes later

; load a register, zero when no value is given
%macro setreg 1-2 0
        mov %1, %2
%endmacro

; push a list of registers, and pop them back in reverse
%macro pushall 1-*
%rep %0
        push %1
%rotate 1
%endrep
%endmacro

%macro popall 1-*
%rep %0
%rotate -1
        pop %1
%endrep
%endmacro

; a character with its attribute at a screen cell, ES:DI after it
%macro putcell 3
        mov di, CELL(%1, %2)
        mov ax, (ATTRIBUTE << 8) | %3
        stosw
%assign cells cells+1
%endmacro

; spin CX down from COUNT, with a label of its own in each copy
%macro spin 1
        mov cx, %1
%%again: loop %%again
%endmacro

; absolute value of a register, jumping forward past the NEG
%macro absval 1
        cmp %1, 0
        jge %%done
        neg %1
%%done:
%endmacro

; a wait that keeps CX and AX: macros calling macros
%macro pause 1
        pushall cx, ax
        spin %1
        popall cx, ax
%endmacro

; a named '$'-terminated message; the text may hold commas
%macro message 2+
%{1}: db %2, '$'
%endmacro

; a counted string: its length byte, the text, and the label NAME_end
%macro counted 2
%{1}: db %{1}_end-%{1}-1, %2
%{1}_end:
%endmacro

; a window record: column, width and height, a full screen by default
%macro window 1-3 COLS, ROWS
        dw %1, %2, %3
%endmacro

; how many arguments the call had
%macro argcount 0-*
        db %0
%endmacro

; w for ax spelled so, b for al in any case, ? for the rest
%macro kind 1
%ifidn %1, ax
        db 'w'
%else
%ifidni %1, al
        db 'b'
%else
        db '?'
%endif
%endif
%endmacro

; COUNT bytes of VALUE; nothing at all for a zero count
%macro fill 2
%if %2 == 0
%exitmacro
%endif
        times %2 db %1
%endmacro

; a byte in range, refused otherwise
%macro checked 1
%if %1 > 255
%error "value too large"
%elif %1 < 0
%warning "negative value"
%else
        db %1
%endif
%endmacro

; a bit mask from a list of bit numbers
%macro bits_of 1-*
%assign mask 0
%rep %0
%assign mask mask | (1 << %1)
%rotate 1
%endrep
        dw mask
%endmacro

; makes a macro that prints its argument with DOS function 2
%macro makeput 1
%macro %1 1
        mov dl, %1
        mov ah, 2
        int 0x21
%endmacro
%endmacro

        makeput putc

start:  mov ax, 0xB800
        mov es, ax
        cld
        putcell 0, 0, 'V'
        putcell 0, 1, 'x'
        putcell 12, 40, '+'
        putcell 24, COLS-1, '.'
        setreg bx
        setreg dx, {CELL(1, 1)}
        mov ax, -3
        absval ax
        absval dx
        pause 100
        pause 2
        putc '*'
        putc 'A'+1
draw:   mov cx, 3
.row:   pause 5
        absval bx
        loop .row
        mov si, hello
        ret

%define TRACE
%undef TRACE
%ifdef TRACE
        int 3
%else
        nop
%endif
%ifndef TRACE
        clc
%endif

        message hello, 'Hi, there', 13, 10
        message bye, "Bye"
        counted greeting, 'hello'
        argcount
        argcount a
        argcount a, {b, c}, d
        kind ax
        kind AX
        kind AL
        kind bx
        fill 0xEE, 3
        fill 0xDD, 0
        checked 200
        checked 0
        bits_of 0, 3, 15
        dw CELL(24, 79), draw.row, greeting_end
        window 0
        window 10, 60
        window 20, 40, 12
%define ROWS 50
        dw LAST_ROW, FIXED_LAST
        db cells
        dw 4+3+2+1                      ; triangle 4: NASM expands no macro within itself
