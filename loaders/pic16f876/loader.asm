; Card loader for the Pic Card 2 (PIC16F876 + 24C64/24C128).
;
; Build (Intel HEX, data records only):
;   gpasm -p p16f876 -a inhx8m -I loaders/pic-common -o loader_pic16f876.hex loaders/pic16f876/loader.asm
; (gpasm looks for include files in the current directory and the -I directories only.)
;
; The card runs at 3.579545 MHz under the configuration word 0x3F39 (XT oscillator, watchdog,
; power-up timer, brown-out reset and low-voltage programming off, no protection). The
; installer writes the first 576 words only: the code must stay below 0x240. I/O contact RB7.
; The 24Cxx is looked for on the pin pairs of bus_pairs below.
;
; Wire protocol (direct convention, 9600 baud at 372 clocks per etu, even parity):
;   ATR      3B 01 56
;   read     C1 01 AH AL n   -> 01, n-1 bytes, X          (n = 2..33)
;   write    C1 02 AH AL n   -> 02, <- n-1 bytes and X, -> 90
;   X is the exclusive-or of the data bytes; a write whose X is wrong is not carried out (6A).
;   refused  6E class, 6D instruction, 67 length; 65 the EEPROM did not answer.
; EEPROM addressing as on the 24C32 .. 24C512: control byte 0xA0, two address bytes.

    radix dec
    errorlevel -302             ; bank 1 registers are reached with RP0 set
    #include <p16f876.inc>
    ifndef __16F876
    error "build with gpasm -p p16f876"
    endif

CONFIG_WORD     equ _XT_OSC & _WDT_OFF & _PWRTE_OFF & _BODEN_OFF & _LVP_OFF & _CP_OFF
    if CONFIG_WORD != 0x3F39
    error "the installer writes the configuration word 0x3F39"
    endif
    __CONFIG CONFIG_WORD

RAM_BASE        equ 0x20
RAM_LIMIT       equ 0x70
READ_INS        equ 0x01
WRITE_INS       equ 0x02
MAX_DATA        equ 32
CHECK_BYTE      equ 1
EE_ADDRESS_BYTES equ 2
EE_PAGE         equ 32          ; 24C32/64 pages; the 24C128 and up have 64 or 128
EE_POLL_TRIES   equ 50
BUS_PROBE_PASSES equ 4
ATR_LENGTH      equ 3
CODE_LIMIT      equ 0x240

    #include "ram.inc"

    org 0
    goto start

; The tables stay in the first 256 words: PCLATH is 0 throughout.
atr_byte
    addwf PCL, f
    dt 0x3B, 0x01, 0x56

; Candidate 24Cxx pins, tried in this order: TRIS register, SDA mask, SCL mask; 0 ends.
; Never RB7 (I/O) or RB6 (programming clock).
bus_pairs
    addwf PCL, f
    dt TRISC, 1 << 4, 1 << 3    ; SDA RC4, SCL RC3: the MSSP's I2C pins
    dt TRISC, 1 << 3, 1 << 4
    dt TRISB, 1 << 4, 1 << 5
    dt TRISB, 1 << 5, 1 << 4
    dt TRISB, 1 << 0, 1 << 1
    dt TRISB, 1 << 1, 1 << 0
    dt 0

start
    clrf PORTB                  ; every latch 0: a pin made an output drives low
    clrf PORTC
    bsf STATUS, RP0
    movlw 0xFF
    movwf TRISB                 ; all pins let go
    movwf TRISC
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
    error "the loader is longer than the 576 words the installer writes"
    endif

    end
