; Card loader for the AVR smart cards (AT90S8515, ATmega8515, ATmega163 with a 24Cxx beside
; the chip). It answers the reader as an ISO 7816 T=0 style card on the I/O contact PB6 and
; moves blocks between the reader and the 24Cxx over a bit-banged I2C bus.
;
; Build (from the top of the source tree):
;   avr-gcc -mmcu=at90s8515 -nostartfiles -nostdlib -o loader_at90s8515.elf loaders/avr/loader.S
;   avr-objcopy -O ihex -j .text -j .data loader_at90s8515.elf loader_at90s8515.hex
; The HEX file holds data records and the end record only; the installer writes 991 words.
;
; One binary serves the three chips: it uses the AT90S8515 instruction set and only the
; registers the AT90S8515, ATmega8515, ATmega163 and ATmega16 share (PINx/DDRx/PORTx at the
; same addresses, SPL/SPH, SRAM from 0x60 to at least 0x25F). No interrupts, no timers, no
; UART: every time on the I/O line and the I2C bus is counted in CPU cycles at the card clock
; of 3.579545 MHz (1 etu = 372 cycles, 9600 baud).
;
; Card I/O line (PB6): direct convention, 8 data bits LSB first, even parity, guard time of
; 2 etu after each character the card sends. The line is open drain: the card pulls it low by
; making PB6 an output (PORTB6 stays 0) and releases it by making PB6 an input.
;
; Answer to reset: 3B 13 11 56 58 41 (TS direct convention, T0 with TA1 and three historical
; bytes, TA1 = 11: Fi 372 / Di 1, historical "VXA").
;
; Commands: header CLA INS P1 P2 P3 (class C1, EEPROM address P1:P2, P3 data bytes, 1..64).
;   INS 22 read block:  procedure byte 22, P3 bytes from the EEPROM, status 90 00
;   INS 20 write block: procedure byte 20, P3 bytes from the reader, status 90 00 once written
; A header the loader refuses gets its status at once, without procedure byte:
;   wrong class 6E 00, unknown instruction 6D 00, length 0 or over 64 67 00.
; An EEPROM that does not answer ends a read with FF data and a write early, both with 65 81.
;
; 24Cxx: found at start-up by probing the SDA/SCL pairs of the table `bus_candidates` for
; a part that acknowledges the control byte A0. A part that also acknowledges A2 keeps its
; block number in the control byte (24C04, 24C08, 24C16: one word address byte, 16-byte
; pages); any other takes two word address bytes (24C32 .. 24C512; 32-byte pages are the
; smallest of those). Writes are page writes cut at page boundaries, each followed by
; acknowledge polling until the part has finished its write cycle.

#define IO_PINB   0x16
#define IO_DDRB   0x17
#define IO_PORTB  0x18
#define IO_SPL    0x3D
#define IO_SPH    0x3E
#define LINE      6        /* PB6: the card's I/O contact (the programming data pin MISO) */

; PINx, DDRx and PORTx of a port follow each other; as data addresses (I/O + 0x20):
#define PINA_DATA 0x39
#define PINB_DATA 0x36
#define PINC_DATA 0x33
#define PIND_DATA 0x30
#define PIN_OFS   0
#define DDR_OFS   1
#define PORT_OFS  2

#define SRAM_TOP  0x025F   /* the AT90S8515's last SRAM byte; all four chips have it */

#define CLA       0xC1
#define INS_READ  0x22
#define INS_WRITE 0x20
#define MAX_DATA  64

#define CONTROL   0xA0     /* 24Cxx device code 1010, chip select pins A2..A0 low, write */
#define POLLS     120      /* acknowledge polls: each about 0.25 ms, together over 25 ms */
#define ROUNDS    4        /* start-up probe rounds over all candidate pairs, 12 ms at most */
#define TURNAROUND_ETU 5   /* with putc's 2 etu, answers start 16.5 etu after the reader's */

; Registers
#define sdaMask  r2        /* bit of SDA in the bus port */
#define sclMask  r3        /* bit of SCL in the bus port */
#define sdaKeep  r4        /* ~sdaMask */
#define sclKeep  r5        /* ~sclMask */
#define pageMask r6        /* page size - 1 of the part found */
#define busMode  r7        /* 0: no part found, 1: block in control byte, 2: two address bytes */
#define addrLo   r8        /* EEPROM address of the transfer */
#define addrHi   r9
#define left     r10       /* bytes of the command still to move */
#define chunk    r11       /* bytes of the current page write */
#define polls    r12
#define rounds   r13
#define t0       r16
#define t1       r17
#define etus     r18
#define delayCnt r20
#define bitCnt   r21
#define ackOut   r22       /* i2c_read: nonzero = acknowledge the byte */
#define val      r24       /* byte sent or received */
#define aux      r25       /* parity on the line; acknowledge seen on the bus */

; SRAM
#define HDR       0x0060   /* CLA INS P1 P2 P3 */
#define BUF       0x0068   /* data of one command */

        .text
        .global reset
reset:
        cli
        ldi     t0, hi8(SRAM_TOP)
        out     IO_SPH, t0
        ldi     t0, lo8(SRAM_TOP)
        out     IO_SPL, t0
        clr     r1
        cbi     IO_PORTB, LINE          ; the line is released, never driven high
        cbi     IO_DDRB, LINE
        clr     busMode

        ldi     etus, 2                 ; no answer before 400 card clocks after reset
        rcall   wait_etu                ; (and putc's 2 etu on top)
        ldi     ZL, lo8(atr)
        ldi     ZH, hi8(atr)
        ldi     t1, atr_end - atr
1:      lpm
        adiw    ZL, 1
        mov     val, r0
        rcall   putc
        dec     t1
        brne    1b

        ldi     t0, ROUNDS              ; the part may still be in a write cycle cut by reset
        mov     rounds, t0
        rcall   probe

; ---------------------------------------------------------------------------------------
; Command loop
command:
        ldi     XL, lo8(HDR)
        ldi     XH, hi8(HDR)
        ldi     t1, 5
1:      rcall   getc
        st      X+, val
        dec     t1
        brne    1b
        rcall   turnaround

        lds     t0, HDR
        ldi     t1, 0x6E                ; wrong class
        cpi     t0, CLA
        brne    refuse
        lds     val, HDR + 1
        ldi     t1, 0x6D                ; unknown instruction
        cpi     val, INS_READ
        breq    1f
        cpi     val, INS_WRITE
        brne    refuse
1:      lds     t0, HDR + 4
        ldi     t1, 0x67                ; wrong length
        tst     t0
        breq    refuse
        cpi     t0, MAX_DATA + 1
        brsh    refuse

        rcall   putc                    ; procedure byte = INS: all data in one go
        lds     addrHi, HDR + 2
        lds     addrLo, HDR + 3
        lds     left, HDR + 4
        lds     t0, HDR + 1
        cpi     t0, INS_WRITE
        breq    write_block

read_block:
        rcall   find_bus
        rcall   ee_read
        ldi     XL, lo8(BUF)
        ldi     XH, hi8(BUF)
        lds     t1, HDR + 4
1:      ld      val, X+
        rcall   putc
        dec     t1
        brne    1b
        rjmp    status

write_block:
        ldi     XL, lo8(BUF)
        ldi     XH, hi8(BUF)
        mov     t1, left
1:      rcall   getc
        st      X+, val
        dec     t1
        brne    1b
        rcall   turnaround
        rcall   find_bus
        rcall   ee_write

status:                                 ; T set: the EEPROM failed
        ldi     t1, 0x90
        ldi     val, 0x00
        brtc    2f
        ldi     t1, 0x65
        ldi     val, 0x81
        rjmp    2f
refuse:
        clr     val
2:      push    val
        mov     val, t1
        rcall   putc
        pop     val
        rcall   putc
        rjmp    command

turnaround:
        ldi     etus, TURNAROUND_ETU
        ; fall through

; Waits etus * 372 cycles (and a few).
wait_etu:
        ldi     delayCnt, 121           ; 1 + 3 * 121 + 6 = 370
        rcall   delay3
        dec     etus                    ; 1
        brne    wait_etu                ; 2: 373 per etu, under 0.3 % long
        ret

; Burns 3 * delayCnt + 6 cycles counted from the rcall (delayCnt >= 1).
delay3:
        dec     delayCnt
        brne    delay3
        ret

; ---------------------------------------------------------------------------------------
; I/O line, one character in each direction. Cycle counts in the comments are from the
; instruction that sees the start bit (getc) or drives it (putc).

; Receives one character into val (the parity bit into bit 6 of aux). Waits as long as the
; line stays idle. Parity is not checked: the reader's UART would not repeat a character on
; the T=0 error signal anyway, and the commands carry no check of their own to fall back on.
getc:
        sbis    IO_PINB, LINE           ; the previous character's stop bit first
        rjmp    getc
getc_idle:
        sbic    IO_PINB, LINE           ; a start bit pulls the line low
        rjmp    getc_idle
        ldi     delayCnt, 58            ; 2: 1 + 3 * 58 + 6 = 181
        rcall   delay3
        sbic    IO_PINB, LINE           ; 183: middle of the start bit, still low?
        rjmp    getc_idle
        ldi     bitCnt, 8               ; 185
        rjmp    .+0                     ; 186
        nop                             ; 188 (the loop starts at 189, 372 per bit)
1:      ldi     delayCnt, 119           ; 1 + 3 * 119 + 6 = 364
        rcall   delay3
        nop
        clc
        sbic    IO_PINB, LINE           ; 183 + 372 * n: middle of data bit n
        sec
        ror     val
        dec     bitCnt
        brne    1b
        ldi     delayCnt, 120           ; last bit read at s, here s + 5
        rcall   delay3                  ; 1 + 3 * 120 + 6
        in      aux, IO_PINB            ; s + 372: the parity bit
        ret

; Sends val with its even parity bit. The 2 etu of guard time come first, so characters
; from the card start 12 etu apart and the card listens again as soon as its last
; character is out.
putc:
        ldi     etus, 2
        rcall   wait_etu
        mov     aux, val                ; aux bit 0 = exclusive-or of the eight data bits
        swap    aux
        eor     aux, val
        mov     t0, aux
        lsr     t0
        lsr     t0
        eor     aux, t0
        mov     t0, aux
        lsr     t0
        eor     aux, t0
        andi    aux, 1
        sbi     IO_DDRB, LINE           ; 0: start bit
        ldi     bitCnt, 9               ; eight data bits, then the parity bit
        ldi     delayCnt, 119           ; 3: 1 + 3 * 119 + 6 = 364
        rcall   delay3
        nop                             ; 367 (first pass of the loop starts at 368)
1:      lsr     aux                     ; aux:val >> 1, the next bit to C and
        ror     val                     ; the parity bit down to bit 0 of val
        brcs    2f
        nop
        sbi     IO_DDRB, LINE           ; +4: a 0 bit pulls the line low
        rjmp    3f
2:      cbi     IO_DDRB, LINE           ; +4: a 1 bit releases it
        rjmp    3f
3:      ldi     delayCnt, 118           ; +8: 1 + 3 * 118 + 6 = 361
        rcall   delay3
        dec     bitCnt
        brne    1b                      ; 372 per bit
        rjmp    .+0                     ; parity bit driven at p, here p + 367
        rjmp    .+0
        nop
        cbi     IO_DDRB, LINE           ; p + 372: stop bit
        ret

; ---------------------------------------------------------------------------------------
; 24Cxx access. Y points at PINx of the bus port; sdaMask/sclMask are the two pins. A line is
; pulled low by setting its DDR bit (PORT bit 0) and released by clearing it: the pull-up
; resistors on the card take it high.

sda_low:
        ldd     t0, Y + DDR_OFS
        or      t0, sdaMask
        std     Y + DDR_OFS, t0
        ret
sda_release:
        ldd     t0, Y + DDR_OFS
        and     t0, sdaKeep
        std     Y + DDR_OFS, t0
        ret
scl_low:
        ldd     t0, Y + DDR_OFS
        or      t0, sclMask
        std     Y + DDR_OFS, t0
        ret
scl_release:
        ldd     t0, Y + DDR_OFS
        and     t0, sclKeep
        std     Y + DDR_OFS, t0
        ; fall through: every clock phase lasts at least about 5 us (under 100 kHz)
half_bit:
        ldi     delayCnt, 2
        rjmp    delay3

; START (also a repeated START after an acknowledge clock, SCL low). Ends with SCL low.
i2c_start:
        rcall   sda_release
        rcall   half_bit
        rcall   scl_release
        rcall   sda_low
        rcall   half_bit
        rjmp    scl_low

; STOP, from SCL low. Leaves both lines released.
i2c_stop:
        rcall   sda_low
        rcall   half_bit
        rcall   scl_release
        rcall   sda_release
        rjmp    half_bit

; Sends val, MSB first, from SCL low; Z set when the slave acknowledged (aux = 0).
i2c_write:
        ldi     bitCnt, 8
1:      lsl     val
        brcs    2f
        rcall   sda_low
        rjmp    3f
2:      rcall   sda_release
3:      rcall   half_bit
        rcall   scl_release
        rcall   scl_low
        dec     bitCnt
        brne    1b
        rcall   sda_release             ; the slave's acknowledge clock
        rcall   half_bit
        rcall   scl_release
        ldd     aux, Y + PIN_OFS
        and     aux, sdaMask
        rcall   scl_low
        tst     aux
        ret

; Receives a byte into val from SCL low and answers with an acknowledge when ackOut is
; nonzero (more bytes wanted), without one otherwise.
i2c_read:
        rcall   sda_release
        ldi     bitCnt, 8
1:      rcall   half_bit
        rcall   scl_release
        ldd     aux, Y + PIN_OFS
        lsl     val
        and     aux, sdaMask
        breq    2f
        ori     val, 1
2:      rcall   scl_low
        dec     bitCnt
        brne    1b
        tst     ackOut
        breq    3f
        rcall   sda_low
3:      rcall   half_bit
        rcall   scl_release
        rcall   scl_low
        rjmp    sda_release

; Frees a bus a slave may hold after a reset in the middle of a transfer: nine clocks with
; SDA released, then STOP. From SCL released; ends with both lines released.
bus_recover:
        rcall   sda_release
        ldi     t1, 9
1:      rcall   scl_low
        rcall   half_bit
        rcall   scl_release
        dec     t1
        brne    1b
        rcall   scl_low
        rcall   half_bit
        rjmp    i2c_stop

; Candidate buses, in probe order: data address of PINx, SDA bit, SCL bit. PB5..PB7 are the
; programming pins and never tried; all pins below exist on all three chips.
bus_candidates:
        .byte   PINB_DATA, 0x01, 0x02   ; SDA PB0, SCL PB1: Fun Card, NeooCard
        .byte   PINC_DATA, 0x02, 0x01   ; SDA PC1, SCL PC0: the ATmega163's two-wire unit
        .byte   PINB_DATA, 0x02, 0x01   ; SDA PB1, SCL PB0
        .byte   PINC_DATA, 0x01, 0x02   ; SDA PC0, SCL PC1
        .byte   PINB_DATA, 0x04, 0x08   ; SDA PB2, SCL PB3
        .byte   PINB_DATA, 0x08, 0x04   ; SDA PB3, SCL PB2
        .byte   PIND_DATA, 0x01, 0x02   ; SDA PD0, SCL PD1
        .byte   PINA_DATA, 0x01, 0x02   ; SDA PA0, SCL PA1
bus_candidates_end:
        .balign 2

; Looks for the 24Cxx on each candidate pair, `rounds` times over; sets busMode (0: none).
probe:
        ldi     ZL, lo8(bus_candidates)
        ldi     ZH, hi8(bus_candidates)
1:      lpm
        adiw    ZL, 1
        mov     YL, r0
        clr     YH
        lpm
        adiw    ZL, 1
        mov     sdaMask, r0
        lpm
        adiw    ZL, 1
        mov     sclMask, r0
        rcall   try_bus
        breq    found
        cpi     ZL, lo8(bus_candidates_end)
        brne    1b
        dec     rounds
        brne    probe
        clr     busMode
        ret
found:
        ldi     t0, 15                  ; A2 answers too: block number in the control byte
        mov     pageMask, t0
        ldi     t0, 1
        mov     busMode, t0
        rcall   i2c_start
        ldi     val, CONTROL | 0x02
        rcall   i2c_write
        in      r0, 0x3F                ; SREG: keep Z over the STOP
        rcall   i2c_stop
        out     0x3F, r0
        breq    1f
        ldi     t0, 31                  ; two word address bytes
        mov     pageMask, t0
        ldi     t0, 2
        mov     busMode, t0
1:      ret

; Tries the pair at Y/sdaMask/sclMask: Z set when a 24Cxx acknowledges CONTROL there.
try_bus:
        mov     sdaKeep, sdaMask
        com     sdaKeep
        mov     sclKeep, sclMask
        com     sclKeep
        ldd     t0, Y + PORT_OFS        ; no pull-ups: released means input, port bit 0
        and     t0, sdaKeep
        and     t0, sclKeep
        std     Y + PORT_OFS, t0
        ldd     t0, Y + DDR_OFS
        and     t0, sdaKeep
        and     t0, sclKeep
        std     Y + DDR_OFS, t0
        rcall   half_bit
        rcall   half_bit
        ldd     t0, Y + PIN_OFS         ; SCL must idle high: a pulled-up bus
        and     t0, sclMask
        breq    no_bus
        rcall   bus_recover
        ldd     t0, Y + PIN_OFS         ; and SDA too once the bus is free
        and     t0, sdaMask
        breq    no_bus
        rcall   i2c_start
        ldi     val, CONTROL
        rcall   i2c_write
        in      r0, 0x3F
        rcall   i2c_stop
        out     0x3F, r0
        ret
no_bus:
        clz
        ret

; Before a transfer: a card reset in a write cycle may have hidden the part at start-up.
find_bus:
        tst     busMode
        brne    1f
        ldi     t0, 1
        mov     rounds, t0
        rcall   probe
1:      ret

; The control byte for addrHi:addrLo (write direction) into val.
control_byte:
        ldi     val, CONTROL
        sbrs    busMode, 1              ; busMode 1: the block number in bits 3..1
        rjmp    1f
        ret
1:      mov     t0, addrHi
        andi    t0, 0x07
        lsl     t0
        or      val, t0
        ret

; START and control byte, repeated while the part is busy with a write cycle. Z set when
; it acknowledged; then the bus is held (SCL low).
select:
        ldi     t0, POLLS
        mov     polls, t0
1:      rcall   i2c_start
        rcall   control_byte
        rcall   i2c_write
        breq    2f
        rcall   i2c_stop
        dec     polls
        brne    1b
        clz
2:      ret

; select, then the word address byte(s) of addrHi:addrLo. Z set when all were acknowledged.
address:
        rcall   select
        brne    1f
        sbrs    busMode, 1
        rjmp    2f
        mov     val, addrHi
        rcall   i2c_write
        brne    1f
2:      mov     val, addrLo
        rcall   i2c_write
1:      ret

; Reads `left` bytes from addrHi:addrLo into BUF (FF where the part did not answer).
; T set on failure.
ee_read:
        ldi     XL, lo8(BUF)
        ldi     XH, hi8(BUF)
        mov     t1, left
        ldi     val, 0xFF
1:      st      X+, val
        dec     t1
        brne    1b
        set
        tst     busMode
        breq    9f
        rcall   address
        brne    8f
        rcall   i2c_start               ; repeated START, then read direction
        rcall   control_byte
        ori     val, 0x01
        rcall   i2c_write
        brne    8f
        ldi     XL, lo8(BUF)
        ldi     XH, hi8(BUF)
        mov     t1, left
2:      mov     ackOut, t1
        dec     ackOut                  ; no acknowledge after the last byte
        rcall   i2c_read
        st      X+, val
        dec     t1
        brne    2b
        clt
8:      rcall   i2c_stop
9:      ret

; Writes `left` bytes from BUF to addrHi:addrLo, one page write per page touched, each
; followed by acknowledge polling until its write cycle is over. T set on failure.
ee_write:
        ldi     XL, lo8(BUF)
        ldi     XH, hi8(BUF)
        set
        tst     busMode
        breq    9f
1:      mov     t1, addrLo              ; chunk = bytes to the end of the page, at most left
        and     t1, pageMask
        mov     chunk, pageMask
        sub     chunk, t1
        inc     chunk
        cp      left, chunk
        brsh    2f
        mov     chunk, left
2:      rcall   address
        brne    8f
        mov     t1, chunk
3:      ld      val, X+
        rcall   i2c_write
        brne    8f
        dec     t1
        brne    3b
        rcall   i2c_stop                ; the part starts its write cycle
        rcall   select                  ; acknowledge polling: answers when done
        brne    8f
        rcall   i2c_stop
        add     addrLo, chunk
        adc     addrHi, r1
        sub     left, chunk
        brne    1b
        clt
        ret
8:      rcall   i2c_stop
9:      ret

atr:
        .byte   0x3B, 0x13, 0x11, 0x56, 0x58, 0x41
atr_end:
