; DUP among other items, nested DUPs up to the 128 bytes an inner one may
; hold, counts computed from EQU names, ? items, and names in DUP items.
        ORG 100H
ROWS    EQU 4
COLS    EQU 0x10
START:  MOV SI,OFFSET GRID
        MOV CX,GRIDLEN
        MOV DI,OFFSET LATER
        RET
MSG     DB 'AB',2 DUP(0),'$'
        DB 'x' , 3 DUP('yz',0) , "!"
        DB 2 DUP(3 DUP(7),8)
        DB 2 DUP(2 DUP(1,2 DUP(3)),4)
GRID    DB ROWS*COLS DUP(0C4H)
GRIDLEN EQU $-GRID
        DB ROWS DUP(COLS DUP(1),0DH,0AH)
        DB 2 DUP(128 DUP(5))
        DB 3 DUP(64 DUP(1,2))
        DW 2 DUP(64 DUP(7))
        DW 2 DUP(31 DUP(1,2),0FFFFH)
        DW 3 DUP(GRID,LATER)
        DW 2 DUP(?,ROWS),?
        DB 4 DUP(?),1,?,2 DUP(?,9)
        DB (ROWS+1)*2 DUP(-1)
        DB 1 DUP(1 DUP(1 DUP(0x42)))
        DB 5 DUP ( 6 )
LATER   DW 2 DUP(LATER-START)
        DB 20 DUP(?)
        END START
