        bits 16
        db `a\tb\\c\'d\"e\``
        db `\x41\101\u00e9\e\0`, 0
        db 4 dup '1'
        dw `ab`, 'cd'
        dd `wxyz`
        times 32-($-$$) db 0
