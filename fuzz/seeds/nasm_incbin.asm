use16
start: incbin "LIB.INC"
  incbin "LIB.INC",2
  incbin "LIB.INC",1,2
  db $-start
ÿABCDEF