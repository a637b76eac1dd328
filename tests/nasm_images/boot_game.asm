; Boot sector game: catch the falling stars with the paddle.
; a/d or the arrow keys move, p pauses, q or Esc stops. A missed star
; ends the game. Every branch forward is short: with one near form
; the sector would no longer fit in 510 bytes.
bits 16
cpu 8086
org 0x7c00

COLS    equ 80
BOTTOM  equ 23                  ; row of the paddle
WIDTH   equ 7                   ; paddle width
STAR    equ 0x0e2a              ; yellow '*'
PAD     equ 0x0adb              ; green block
BLANK   equ 0x0720

start:
        xor ax, ax
        mov ds, ax
        mov ss, ax
        mov sp, 0x7c00
        cld
        mov ax, 0xb800
        mov es, ax
        mov ax, 0x0003
        int 0x10
        mov ah, 0x01            ; no cursor
        mov cx, 0x2000
        int 0x10
        mov si, title
        mov di, 2 * COLS * 24
        call text
        call new_star

game:
        call draw
        call delay
        call keys
        jc quit
        cmp byte [paused], 0
        jne game
        call fall
        jnc game
        mov si, lost
        jmp finish
quit:
        mov si, bye
finish:
        mov di, 2 * (COLS * 12 + 30)
        call text
        mov ax, [score]
        call number
        xor ah, ah
        int 0x16
        int 0x19

; Reads a key if one waits; CF set when the player stops.
keys:
        mov ah, 0x01
        int 0x16
        jz .none
        xor ah, ah
        int 0x16
        cmp al, 'q'
        je .stop
        cmp al, 27
        je .stop
        cmp al, 'p'
        je .pause
        cmp byte [paused], 0
        jne .none
        cmp al, 'a'
        je .left
        cmp ah, 0x4b
        je .left
        cmp al, 'd'
        je .right
        cmp ah, 0x4d
        je .right
        jmp .none
.left:
        cmp byte [paddle], 2
        jb .none
        sub byte [paddle], 2
        jmp .none
.right:
        cmp byte [paddle], COLS - WIDTH - 2
        ja .none
        add byte [paddle], 2
        jmp .none
.pause:
        xor byte [paused], 1
.none:
        clc
        ret
.stop:
        stc
        ret

; Moves the star down; CF set when it passes the paddle.
fall:
        inc byte [ticks]
        mov al, [ticks]
        cmp al, [speed]
        jb .kept
        mov byte [ticks], 0
        call star_at
        mov word [es:di], BLANK
        inc byte [star_y]
        cmp byte [star_y], BOTTOM
        jb .kept
        mov al, [star_x]
        sub al, [paddle]
        jc .missed
        cmp al, WIDTH
        jae .missed
        inc word [score]
        cmp byte [speed], 1
        je .same
        dec byte [speed]
.same:
        call new_star
.kept:
        clc
        ret
.missed:
        stc
        ret

; A star at the top, in a column from the clock.
new_star:
        mov byte [star_y], 1
        xor ah, ah
        int 0x1a
        mov ax, dx
        xor dx, dx
        mov cx, COLS
        div cx
        mov [star_x], dl
        ret

; di = the star's cell in video memory.
star_at:
        mov al, [star_y]
        mov ah, COLS
        mul ah
        add al, [star_x]
        adc ah, 0
        shl ax, 1
        mov di, ax
        ret

; Star, paddle and score.
draw:
        call star_at
        mov word [es:di], STAR
        mov di, 2 * COLS * BOTTOM
        mov cx, COLS
        xor bx, bx
.cell:
        mov ax, BLANK
        mov dl, bl
        sub dl, [paddle]
        jc .put
        cmp dl, WIDTH
        jae .put
        mov ax, PAD
.put:
        stosw
        inc bx
        loop .cell
        mov di, 2 * 70
        mov ax, [score]
; Writes ax in decimal at di.
number:
        mov bx, 10
        xor cx, cx
.digit:
        xor dx, dx
        div bx
        push dx
        inc cx
        test ax, ax
        jnz .digit
.out:
        pop ax
        add ax, 0x0f30
        stosw
        loop .out
        ret

; Waits for the next clock tick.
delay:
        xor ah, ah
        int 0x1a
        mov bx, dx
.wait:
        xor ah, ah
        int 0x1a
        cmp dx, bx
        je .wait
        ret

; Writes the zero-terminated string at si to di.
text:
        mov ah, 0x0f
.next:
        lodsb
        test al, al
        jz .done
        stosw
        jmp .next
.done:
        ret

title:  db "CATCH THE STARS  -  a/d or arrows: move   p: pause   q: quit", 0
lost:   db "The star got away! Final score ", 0
bye:    db "Thanks for playing! Score ", 0

paddle: db (COLS - WIDTH) / 2
star_x: db 0
star_y: db 1
speed:  db 6
ticks:  db 0
paused: db 0
score:  dw 0

        times 510-($-$$) db 0
        dw 0xaa55
