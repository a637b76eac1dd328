Bits 16
Section .Text Align=4
Struc S
.A: ResB 2
.B: ResW 1
EndStruc
  IStruc S
  At S.B, Dw 7
  IEnd
Absolute 0
Z: ResB S_size
Segment .Data NoBits
  ResD 3
