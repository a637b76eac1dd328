; The frame of every program: labels in column 0, statements indented,
; comments after a semicolon, and END at the end.
START:                  ; the entry point
MAIN_LOOP:
DONE:   END START
