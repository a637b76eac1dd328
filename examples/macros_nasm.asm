; Macros in NASM's spelling: DOS calls behind %macro and %define, texts
; printed beside the code with %% labels, tables built by %rep and %assign,
; arguments counted with %0 and walked backwards with %rotate.
        org 0x100

%define DOS_PUTC  0x02
%define DOS_PRINT 0x09
%define DOS_EXIT  0x4C
%define SQUARE(x) ((x)*(x))
%assign ROWS 5
%assign COLS 5

%macro dos 1
        mov ah, %1
        int 0x21
%endmacro

%macro putc 1
        mov dl, %1
        dos DOS_PUTC
%endmacro

%macro newline 0
        putc 13
        putc 10
%endmacro

; a text kept beside the code that prints it; the text may hold commas
%macro print 1+
        mov dx, %%text
        dos DOS_PRINT
        jmp short %%past
%%text: db %1, '$'
%%past:
%endmacro

; a number in decimal, AX unless another value is given
%macro printnum 0-1 ax
%ifidn %1, ax
%else
        mov ax, %1
%endif
        call putnum
%endmacro

; the arguments, last first
%macro reversed 1-*
%rep %0
%rotate -1
        putc %1
%endrep
%endmacro

; a blank and the number of arguments given
%macro nargs 0-*
        putc ' '
        printnum %0
%endmacro

start:  print 'Table:', 13, 10
        mov si, table
        mov bx, ROWS
row:    mov cx, COLS
.cell:  lodsb
        mov ah, 0
        call putnum3
        loop .cell
        newline
        dec bx
        jnz row

        print 'Powers:'
        mov si, powers
        mov cx, powers_end-powers
.next:  putc ' '
        lodsb
        mov ah, 0
        printnum
        loop .next
        newline

        print 'Squares: '
%assign i 1
%rep 4
%if i > 1
        print ', '
%endif
        printnum SQUARE(i)
%assign i i+1
%endrep
        newline

        print 'Reversed: '
        reversed 'a', 'b', 'c', 'd', 'e'
        newline

        print 'Arguments:'
        nargs
        nargs x
        nargs a, {b, c}, d
        newline

        mov al, 0
        dos DOS_EXIT

; AX right-aligned in three columns
putnum3:
        cmp ax, 10
        jae .two
        call space
.two:   cmp ax, 100
        jae putnum
        call space
; AX in decimal; keeps BX, CX and SI
putnum: push bx
        push cx
        mov bx, 10
        mov cx, 0
.digit: mov dx, 0
        div bx
        push dx
        inc cx
        cmp ax, 0
        jne .digit
.out:   pop dx
        add dl, '0'
        dos DOS_PUTC
        loop .out
        pop cx
        pop bx
        ret

space:  push ax
        putc ' '
        pop ax
        ret

; row times column for each cell
table:
%assign r 1
%rep ROWS
%assign c 1
%rep COLS
        db r*c
%assign c c+1
%endrep
%assign r r+1
%endrep

; the powers of two below 100
powers:
%assign p 1
%rep 16
%if p >= 100
%exitrep
%endif
        db p
%assign p p*2
%endrep
powers_end:
        END
