; Twin of local_labels.asm.
        bits 16
        cpu 8086
        org 0x100
START:  call SUB1
        call SUB2
        jmp near SUB2.done
SUB1:   mov cx, 3
.loop:  inc ax
        loop .loop
        jcxz .done
        jmp near .done
.done:  ret
SUB2:   mov cx, [COUNT$]
.loop:  dec ax
        loop .loop
        jnz SUB1.loop
        jmp SUB1.loop
.done:  mov bx, SUB1.done
        mov dx, .loop
        ret
SCAN:   mov si, MY@TEXT
.next:  lodsb
        cmp al, 0
        je .end
        jmp .next
.end:   ret
SKIP:   mov cx, 2
.next:  dec cx
        jnz .next
        jmp near .end
.end:   ret
ANON:   mov ax, 0
.a1:    inc ax
        cmp ax, 10
        jb .a1
        jmp near .a2
        nop
.a2:    jmp short .a2
.a3:    jnz .a4
.a4:    loop .a4
        mov al, [IS_OK?]
        mov bx, [$ax]
        inc byte [$loop]
        ret
COUNT$: dw 1
IS_OK?: db 1
MY@TEXT: db 'at', 0
$ax:    dw 5
$loop:  db 3
        dw SUB1.loop, SUB2.loop, $ax, IS_OK?
