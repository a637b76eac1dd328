; A boot sector: the BIOS loads these 512 bytes at 0000:7C00 and jumps to
; them. It prints a greeting through the BIOS teletype service and halts.
        ORG 7C00H
START:  JMP 0:MAIN              ; run at 0000:7C00 whatever CS the BIOS chose
MAIN:   CLI
        MOV AX,CS
        MOV DS,AX
        MOV ES,AX
        MOV SS,AX
        MOV SP,7C00H            ; the stack grows down below the code
        STI
        CLD
        MOV SI,OFFSET MESSAGE
PRINT:  LODSB                   ; AL = next character, SI moves on
        CMP AL,0
        JE DONE                 ; the message ends with a zero byte
        MOV AH,0EH              ; teletype output of AL
        MOV BX,0007H            ; page 0, light grey
        INT 10H
        JMP PRINT
DONE:   CLI
HALT:   HLT                     ; wait here for good
        JMP HALT

MESSAGE DB 'Hello from a Vexa boot sector!',0DH,0AH,0

        TIMES 510-($-$$) DB 0   ; fill the sector up to its last two bytes
        DW 0AA55H               ; the signature the BIOS looks for
        END
