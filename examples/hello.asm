; Hello, world: prints a message with DOS function 09h and ends the program.
        ORG 100H
START:  MOV DX,OFFSET MESSAGE   ; DS:DX points at the '$'-terminated text
        MOV AH,09H
        INT 21H
        MOV AX,4C00H            ; end with exit code 0
        INT 21H

MESSAGE DB 'Hello, world!',0DH,0AH,'$'
        END START
