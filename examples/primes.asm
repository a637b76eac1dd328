; The sieve of Eratosthenes: prints the primes below 100.
        ORG 100H
LIMIT   EQU 100
START:  MOV DI,OFFSET SIEVE     ; clear the sieve: no number crossed out yet
        MOV CX,LIMIT
        MOV AL,0
        CLD
        REP
        STOSB
        MOV BX,2
NUMBER:
        CMP BYTE PTR [BX+SIEVE],0
        JNE NEXT_ONE            ; crossed out: not a prime
        MOV AX,BX
        CALL PRINTNUM
        MOV DL,20H
        MOV AH,02H
        INT 21H
        MOV SI,BX               ; cross out 2*BX, 3*BX, ...
        ADD SI,BX
CROSS:  CMP SI,LIMIT
        JAE NEXT_ONE
        MOV BYTE PTR [SI+SIEVE],1
        ADD SI,BX
        JMP CROSS
NEXT_ONE:
        INC BX
        CMP BX,LIMIT
        JB NUMBER
        MOV DL,0DH
        MOV AH,02H
        INT 21H
        MOV DL,0AH
        INT 21H
        MOV AX,4C00H
        INT 21H

; Prints AX in decimal.
PRINTNUM:
        MOV CX,0
        MOV DI,10
DIVIDE: XOR DX,DX
        DIV DI
        PUSH DX
        INC CX
        OR AX,AX
        JNZ DIVIDE
DIGIT:  POP DX
        ADD DL,30H
        MOV AH,02H
        INT 21H
        LOOP DIGIT
        RET

SIEVE   DS LIMIT
        END START
