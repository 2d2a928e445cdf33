; Card loader for the Wafer Card (PIC16F84 + 24C16).
;
; Build (Intel HEX, data records only):
;   gpasm -p p16f84 -a inhx8m -I loaders/pic-common -o loader_pic16f84.hex loaders/pic16f84/loader.asm
; (gpasm looks for include files in the current directory and the -I directories only.)
;
; The card runs at 3.579545 MHz under the configuration word 0x3FF9 (XT oscillator, watchdog
; and power-up timer off, no code protection). I/O contact RB7. The 24Cxx is looked for on
; the pin pairs of bus_pairs below; the data EEPROM is not used.
;
; Wire protocol (direct convention, 9600 baud at 372 clocks per etu, even parity):
;   ATR      3B 93 11 80 1F 03 56 58 46 56
;   read     C1 21 AH AL n   -> 21, n bytes, 90 00        (n = 1..16)
;   write    C1 22 AH AL n   -> 22, <- n bytes, -> 90 00
;   refused  6E 00 class, 6D 00 instruction, 67 00 length; 65 81 the EEPROM did not answer.
; EEPROM addressing as on the 24C01 .. 24C16: address bits 10..8 in the control byte.

    radix dec
    errorlevel -302             ; bank 1 registers are reached with RP0 set
    #include <p16f84.inc>
    ifndef __16F84
    error "build with gpasm -p p16f84"
    endif

CONFIG_WORD     equ _XT_OSC & _WDT_OFF & _PWRTE_OFF & _CP_OFF
    if CONFIG_WORD != 0x3FF9
    error "the installer writes the configuration word 0x3FF9"
    endif
    __CONFIG CONFIG_WORD

RAM_BASE        equ 0x0C
RAM_LIMIT       equ 0x50
READ_INS        equ 0x21
WRITE_INS       equ 0x22
MAX_DATA        equ 16
CHECK_BYTE      equ 0
EE_ADDRESS_BYTES equ 1
EE_PAGE         equ 8           ; 24C01/02 pages; the 24C04..16 have 16
EE_POLL_TRIES   equ 50
BUS_PROBE_PASSES equ 4
ATR_LENGTH      equ 10
CODE_LIMIT      equ 0x400

    #include "ram.inc"

    org 0
    goto start

; The tables stay in the first 256 words: PCLATH is 0 throughout.
atr_byte
    addwf PCL, f
    dt 0x3B, 0x93, 0x11, 0x80, 0x1F, 0x03, 0x56, 0x58, 0x46, 0x56

; Candidate 24Cxx pins, tried in this order: TRIS register, SDA mask, SCL mask; 0 ends.
; Never RB7 (I/O) or RB6 (programming clock).
bus_pairs
    addwf PCL, f
    dt TRISB, 1 << 4, 1 << 5    ; SDA RB4, SCL RB5
    dt TRISB, 1 << 5, 1 << 4
    dt TRISB, 1 << 0, 1 << 1
    dt TRISB, 1 << 1, 1 << 0
    dt TRISB, 1 << 2, 1 << 3
    dt TRISB, 1 << 3, 1 << 2
    dt 0

start
    clrf PORTB                  ; every latch 0: a pin made an output drives low
    bsf STATUS, RP0
    movlw 0xFF
    movwf TRISB                 ; all pins let go
    movlw 0x7F
    movwf OPTION_REG            ; PORTB weak pull-ups on
    bcf STATUS, RP0
    goto loader_main

    #include "delay.inc"
    #include "card_io.inc"
    #include "i2c_bus.inc"
    #include "eeprom.inc"
    #include "commands.inc"

    if $ > CODE_LIMIT
    error "the loader is longer than the 1024 words of program memory"
    endif

    end
