BITS 16
struc point
.x:     resw 1
.y:     resw 1
.tag:   resb 3
endstruc
        mov ax, [bx+point.y]
        add bx, point_size
p1:     istruc point
        at point.x, dw 1
        at point.y, dw -2
        at point.tag, db 'ab'
        iend
p2:     ISTRUC point
        AT point.tag, db 1
        IEND
