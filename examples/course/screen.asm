; Clears the screen and writes a diagonal of stars under a title, the
; cursor hidden while it draws, with the course library's screen macros.
INCLUDE 'emu8086.inc'

        ORG 100H
        CALL CLEAR_SCREEN
        CURSOROFF
        GOTOXY 30, 2
        PRINT 'Stars on a diagonal'
        MOV CL, 10              ; column
        MOV CH, 5               ; row
STAR:
        GOTOXY CL, CH
        PUTC '*'
        ADD CL, 4
        INC CH
        CMP CH, 20
        JB STAR
        GOTOXY 0, 22
        CURSORON
        RET

DEFINE_CLEAR_SCREEN
        END
