; Jumps at the edges of reach. A short jump reaches -128..+127 bytes from
; its end; one byte further an unconditional jump takes the near form and a
; conditional one becomes the opposite condition over a near jmp (8086).
bits 16
cpu 8086
org 0x100

start:
        jmp main

; Unconditional, forward and back.
main:
        jmp .f127                       ; EB 7F
        times 127 nop
.f127:
        jmp .f128                       ; E9 80 00
        times 128 nop
.f128:
.b128:
        times 126 nop
        jmp .b128                       ; EB 80
.b129:
        times 127 nop
        jmp .b129                       ; E9 7E FF

; jo, jo
cond0:
        jo .f127
        times 127 nop
.f127:
        jo .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jo .b128
.b129:
        times 127 nop
        jo .b129

; jno, jno
cond1:
        jno .f127
        times 127 nop
.f127:
        jno .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jno .b128
.b129:
        times 127 nop
        jno .b129

; jb, jc
cond2:
        jb .f127
        times 127 nop
.f127:
        jc .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jb .b128
.b129:
        times 127 nop
        jc .b129

; jae, jnc
cond3:
        jae .f127
        times 127 nop
.f127:
        jnc .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jae .b128
.b129:
        times 127 nop
        jnc .b129

; je, jz
cond4:
        je .f127
        times 127 nop
.f127:
        jz .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        je .b128
.b129:
        times 127 nop
        jz .b129

; jne, jnz
cond5:
        jne .f127
        times 127 nop
.f127:
        jnz .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jne .b128
.b129:
        times 127 nop
        jnz .b129

; jbe, jna
cond6:
        jbe .f127
        times 127 nop
.f127:
        jna .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jbe .b128
.b129:
        times 127 nop
        jna .b129

; ja, jnbe
cond7:
        ja .f127
        times 127 nop
.f127:
        jnbe .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        ja .b128
.b129:
        times 127 nop
        jnbe .b129

; js, js
cond8:
        js .f127
        times 127 nop
.f127:
        js .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        js .b128
.b129:
        times 127 nop
        js .b129

; jns, jns
cond9:
        jns .f127
        times 127 nop
.f127:
        jns .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jns .b128
.b129:
        times 127 nop
        jns .b129

; jp, jpe
cond10:
        jp .f127
        times 127 nop
.f127:
        jpe .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jp .b128
.b129:
        times 127 nop
        jpe .b129

; jnp, jpo
cond11:
        jnp .f127
        times 127 nop
.f127:
        jpo .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jnp .b128
.b129:
        times 127 nop
        jpo .b129

; jl, jnge
cond12:
        jl .f127
        times 127 nop
.f127:
        jnge .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jl .b128
.b129:
        times 127 nop
        jnge .b129

; jge, jnl
cond13:
        jge .f127
        times 127 nop
.f127:
        jnl .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jge .b128
.b129:
        times 127 nop
        jnl .b129

; jle, jng
cond14:
        jle .f127
        times 127 nop
.f127:
        jng .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jle .b128
.b129:
        times 127 nop
        jng .b129

; jg, jnle
cond15:
        jg .f127
        times 127 nop
.f127:
        jnle .f128
        times 128 nop
.f128:
.b128:
        times 126 nop
        jg .b128
.b129:
        times 127 nop
        jnle .b129

; Counted loops and jcxz, at their edges (they have no longer form).
loops:
        jcxz .f127                      ; E3 7F
        times 127 nop
.f127:
.b128:
        times 126 nop
        loop .b128                      ; E2 80
.z128:
        times 126 nop
        loopz .z128                     ; E1 80
.nz128:
        times 126 nop
        loopnz .nz128                   ; E0 80
        loope .e127                     ; E1 7F
        times 127 nop
.e127:
        loopne .ne127                   ; E0 7F
        times 127 nop
.ne127:
.j128:
        times 126 nop
        jcxz .j128                      ; E3 80

; Explicit sizes, calls and indirect jumps.
sizes:
        jmp short .near
        jmp near .near
        call near .near
        call .near
        jmp .near
.near:
        jmp near sizes
        call sizes
        jmp far [far_ptr]
        call far [far_ptr]
        jmp [near_ptr]
        call [near_ptr]
        mov bx, near_ptr
        jmp [bx]
        call word [bx]
        call far [bx+si+2]
        jmp bx
        call si
        jmp 0x1234:0x5678
        call 0xf000:0xfff0

; Chains: one jump's form decides another's reach.
chains:
        jmp .c1                         ; +125 if the jz were short
        times 60 nop
        jz .far                         ; out of reach
        times 63 nop
.c1:
        times 200 nop
.far:
.loop:
        jmp .c2                         ; both short: +127 and -128
        times 124 nop
        je .loop
        times 1 nop
.c2:
        jmp .c3                         ; pushed out by the near jmp inside
        times 60 nop
        jmp .c4
        times 65 nop
.c3:
        times 64 nop
.c4:
        int 0x20

far_ptr:        dw sizes, 0
near_ptr:       dw sizes
