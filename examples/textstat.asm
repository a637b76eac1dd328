; TEXTSTAT - copies a sentence into a work buffer in upper case, counts each
; of its vowels, finds where the word FOX starts and gives its length in hex.
        ORG 100H
START:  CLD
        MOV SI,OFFSET SENTENCE          ; copy the sentence to WORK_BUFFER
        MOV DI,OFFSET WORK_BUFFER
        MOV CX,SENT_LENGTH
        REP MOVSB
        MOV BYTE PTR [ES:DI],'$'        ; close it for function 09H
        MOV SI,OFFSET WORK_BUFFER       ; turn its letters a-z into A-Z
        MOV CX,SENT_LENGTH
UPPER_LOOP:
        MOV AL,[SI]
        CMP AL,'a'
        JB NOT_LOWER
        CMP AL,'z'
        JA NOT_LOWER
        SUB AL,'a'-'A'
        MOV [SI],AL
NOT_LOWER:
        INC SI
        LOOP UPPER_LOOP
        LEA DX,UPPER_MSG
        CALL PRINT_STRING
        LEA DX,WORK_BUFFER
        CALL PRINT_STRING
        CALL COUNT_VOWELS               ; each vowel as " A=n"
        LEA DX,VOWELS_MSG
        CALL PRINT_STRING
        XOR BX,BX
REPORT_VOWEL:
        MOV AL,VOWEL_LIST[BX]
        MOV [ITEM_TEXT+1],AL
        LEA DX,ITEM_TEXT
        CALL PRINT_STRING
        MOV SI,BX
        SHL SI,1                        ; the counters are words
        MOV AX,VOWEL_COUNTS[SI]
        CALL PRINT_DECIMAL
        INC BX
        CMP BX,VOWEL_TOTAL
        JB REPORT_VOWEL
        MOV BX,OFFSET WORK_BUFFER       ; try the key word at every place
        MOV DX,SENT_LENGTH-KEY_LENGTH+1
FIND_WORD:
        MOV SI,OFFSET KEY_WORD
        MOV DI,BX
        MOV CX,KEY_LENGTH
        REPE CMPSB
        JE WORD_FOUND
        INC BX
        DEC DX
        JNZ FIND_WORD
        LEA DX,MISSING_MSG
        CALL PRINT_STRING
        JMP SHORT SHOW_LENGTH
WORD_FOUND:
        LEA DX,FOUND_MSG
        CALL PRINT_STRING
        MOV AX,BX
        SUB AX,OFFSET WORK_BUFFER-1     ; position counted from 1
        CALL PRINT_DECIMAL
SHOW_LENGTH:
        LEA DX,LENGTH_MSG
        CALL PRINT_STRING
        MOV AL,SENT_LENGTH
        CALL PRINT_HEX_BYTE
        MOV AX,0x4C00
        INT 0x21

; Counts each vowel of WORK_BUFFER into its word of VOWEL_COUNTS.
COUNT_VOWELS PROC NEAR
        MOV DI,OFFSET VOWEL_COUNTS      ; clear the counters
        XOR AL,AL
        MOV CX,VOWEL_TOTAL*2
        REP STOSB
        MOV SI,OFFSET WORK_BUFFER
        MOV DX,SENT_LENGTH
NEXT_LETTER:
        LODSB
        MOV DI,OFFSET VOWEL_LIST        ; is it in the list?
        MOV CX,VOWEL_TOTAL
        REPNE SCASB
        JNE NOT_VOWEL
        MOV BX,VOWEL_TOTAL-1            ; CX counts the vowels after
        SUB BX,CX                       ; the match, so BX is its index
        SHL BX,1
        INC WORD PTR VOWEL_COUNTS[BX]
NOT_VOWEL:
        DEC DX
        JNZ NEXT_LETTER
        RET
COUNT_VOWELS ENDP

; Prints AX as an unsigned decimal number; keeps BX.
PRINT_DECIMAL PROC NEAR
        MOV DI,OFFSET DIGIT_END         ; the digits come out backwards
        MOV CX,10
NEXT_DIGIT:
        XOR DX,DX
        DIV CX
        ADD DL,'0'
        DEC DI
        MOV [DI],DL
        OR AX,AX
        JNZ NEXT_DIGIT
        MOV DX,DI
        JMP SHORT PRINT_STRING
PRINT_DECIMAL ENDP

; Prints AL as 0x and two hexadecimal digits, then a new line.
PRINT_HEX_BYTE PROC
        MOV BX,OFFSET HEX_DIGITS        ; XLAT looks up [BX+AL]
        MOV AH,AL
        MOV CL,4
        SHR AL,CL                       ; high nibble first
        XLAT
        MOV [HEX_TEXT+2],AL
        MOV AL,AH
        AND AL,0x0F
        XLAT
        MOV [HEX_TEXT+3],AL
        LEA DX,HEX_TEXT
        JMP SHORT PRINT_STRING          ; its RET returns for us
PRINT_HEX_BYTE ENDP
PRINT_STRING PROC                       ; prints DS:DX up to its '$'
        MOV AH,0x09
        INT 0x21
        RET
PRINT_STRING ENDP

SENTENCE DB 'The quick brown fox jumps over the lazy dog.'
SENT_LENGTH EQU $-SENTENCE
KEY_WORD DB 'FOX'
KEY_LENGTH EQU $-KEY_WORD
VOWEL_LIST DB 'AEIOU'
VOWEL_TOTAL EQU $-VOWEL_LIST
UPPER_MSG DB 'Upper case: $'
VOWELS_MSG DB 0x0D,0x0A,'Vowels:$'
ITEM_TEXT DB ' ?=$'
FOUND_MSG DB 0x0D,0x0A,'FOX starts at: $'
MISSING_MSG DB 0x0D,0x0A,'FOX is missing$'
LENGTH_MSG DB 0x0D,0x0A,'Length: $'
HEX_DIGITS DB '0123456789ABCDEF'
HEX_TEXT DB '0x',2 DUP(0),0x0D,0x0A,'$'
DIGIT_BUFFER DS 5
DIGIT_END DB '$'
VOWEL_COUNTS DW VOWEL_TOTAL DUP(?)
WORK_BUFFER DB 64 DUP(0)
        END START
