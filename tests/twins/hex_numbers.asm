; 0x numbers in every place a value is read: ORG, EQU, DS, DB and DW items,
; DUP counts, immediates, displacements, direct addresses, INT numbers, shift
; counts, ports, RET counts, jump targets, segment:offset pairs and $ offsets.
        ORG 0x100
PORT    EQU 0x60
MASK    EQU 0XFF00
START:  MOV AX,0x1234
        MOV BL,0xFF
        MOV CX,-0x10
        MOV DX,MASK+0x00FF
        ADD SI,0x7FFF
        SUB DI,0X80
        AND AX,0xfff0
        CMP BYTE PTR [BX],0x7F
        MOV WORD PTR [BX+SI+0x10],0xBEEF
        MOV AX,[BX+0x7F]
        MOV AX,[BP-0x80]
        MOV AX,[DI+0x80]
        MOV AX,0x20[SI]
        MOV AL,[0x0080]
        MOV [0x1234],AX
        MOV AX,ES:[0x10]
        MOV AX,OFFSET TABLE+0x2
        INT 0x21
        INT 0x3
        SHL AX,0x1
        SAR BYTE PTR [SI],0x1
        IN AL,PORT
        IN AX,0x61
        OUT 0xFF,AL
        JMP SHORT $+0x4
        JMP 0x1000:0x20
        CALL 0XFFFF:0x0
        CALL FUNC
        JE $+0x2
        MOV AX,$+0x10
        RET
FUNC:   RET 0x4
        RETF 0x0
TABLE   DB 0x41,0X42,-0x1,0x0
        DB 'x',0x0D,0x0A,'$'
        DW 0x1234,0xFFFF,-0x8000
        DW $+0x10
        DB 0x10 DUP(0x55)
        DW 0x3 DUP(0xABCD)
        DS 0x10
        DB 0x99
        ORG 0x200
        DB 0x77
        DS 0x20
        END START
