; Twin of macros_masm.asm.
        bits 16
        cpu 8086
        org 0x100
BASE    equ 0x40

%macro SETREG 1-2 0
        mov %1, %2
%endmacro

%macro LOADK 2
%if %2 == 0
        mov %1, 0
%elif %2 == 1
        mov %1, 0
        inc %1
%else
        mov %1, %2
%endif
%endmacro

%macro ABSVAL 1
        cmp %1, 0
        jge %%positive
        neg %1
%%positive:
%endmacro

%macro WAITCX 1
        mov cx, %1
        jcxz %%done
%%again: loop %%again
%%done:
%endmacro

%macro MAGNITUDE 2
        LOADK %1, %2
        ABSVAL %1
%endmacro

%macro SHIFTBY 2-3 1
%ifidni %2, left
%rep %3
        shl %1, 1
%endrep
%else
%rep %3
        shr %1, 1
%endrep
%endif
%endmacro

%macro EMIT 1-2
%if %0 > 1
        mov al, %2
%endif
        out %1, al
%endmacro

%macro RETURN 0-1
%if %0
        ret %1
%else
        ret
%endif
%endmacro

%macro CLEARN 1
%if (%1 & 1) == 0
        mov cx, %1/2
        rep stosw
%else
        mov cx, %1
        rep stosb
%endif
%endmacro

        jmp near START

HELPER: push bp
        db 0x8b, 0xec                   ; mov bp,sp as Vexa encodes it
        mov ax, [bp+4]
        pop bp
        RETURN 2
SETUP:  cld
        RETURN

START:  SETREG ax
        SETREG bx, 0x1234
        SETREG cx, BASE*2
        LOADK dx, 0
        LOADK si, 1
        LOADK di, 300
        MAGNITUDE ax, -5
        MAGNITUDE bx, 7
        WAITCX 10
        WAITCX 0
        SHIFTBY ax, LEFT, 3
        SHIFTBY bx, right
        SHIFTBY dx, Left, 2
        EMIT 0x61, 3
        EMIT 0x61
        call SETUP
        mov ax, -1
        mov di, BUFFER
        CLEARN 8
        CLEARN 5
        mov ax, 7
        mov si, BASE+2
        mov ax, TEXT1
        push ax
        push bx
        push si
        push ax
        call HELPER
        pop si
        pop bx
        pop ax
        ret

        db 'S'
        db 'C', '~'
        db 'D', '~'
        db 1
        db 3, 0xff, 0xff, 0xff

%assign n 5
%rep 5
        dw n*n
%assign n n-1
%endrep

ROW1:   db 1, 2, 3, 4
ROW2:   db 0, 0, 0, 0
TEXT1:  db 'Hello, world', '$'
TEXT2:  db 'a>b', '$'
SLOT_8: dw 8
SLOT_3: dw 3
CNT_TICKS: dw 100
TICKS_END:
CNT_BEATS: dw 0
BEATS_END:
        db 'A'
        db 'B'
POS_X:  dw 0
POS_Y:  dw 0
LATER:  dw SLOT_8, SLOT_3, TICKS_END, BEATS_END
        dw CNT_TICKS, ROW2, POS_X, POS_Y
BUFFER: times 16 db 0
