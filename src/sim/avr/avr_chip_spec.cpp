#include "sim/avr/avr_chip_spec.h"

namespace vexilo::sim {
namespace {

constexpr SimTime kUs100 = 100 * kUs;

// Values from the Atmel data sheets: AT90S8515 (0841G), ATmega8515(L) (2512), ATmega163(L)
// (1142) and ATmega128(L) (2467), serial downloading sections. Times are the 5 V figures:
// the cards run from 5 V.
constexpr AvrChipSpec kSpecs[] = {
    {
        .name = "AT90S8515",
        .flashWords = 4096,
        .pageWords = 0,
        .eepromBytes = 512,
        .signature = {0x1E, 0x93, 0x01},
        .instructions = kAvrWriteFlashByte,
        // SPIEN and FSTRT exist but only parallel programming reaches them.
        .fuseCount = 0,
        .fuseDefaults = {0xFF, 0xFF, 0xFF},
        .fuseWritable = {0x00, 0x00, 0x00},
        .eesaveMask = 0x00,
        // Write Lock Bits 1010 1100 111x x21x: bit 1 = LB1, bit 2 = LB2.
        .lockWritable = 0x06,
        .lb1Mask = 0x02,
        .lb2Mask = 0x04,
        .fusesLockedByLb1 = false,
        .signatureLockedByLb = true,
        // tWD_PROG and tWD_ERASE at VCC = 5.0 V.
        .flashTime = 4 * kMs,
        .eepromTime = 4 * kMs,
        .eraseTime = 8 * kMs,
        .fuseTime = 4 * kMs,
        .calibrationBytes = 0,
        .calibration = {},
        // Data polling: $7F from a Flash byte being programmed; EEPROM P1 during the
        // auto-erase, then P2.
        .flashBusyValue = 0x7F,
        .eepromEraseBusyValue = 0x80,
        .eepromWriteBusyValue = 0x7F,
    },
    {
        .name = "ATmega8515",
        .flashWords = 4096,
        .pageWords = 32,
        .eepromBytes = 512,
        .signature = {0x1E, 0x93, 0x06},
        .instructions = kAvrLoadFlashPage | kAvrReadFuses | kAvrWriteFuses | kAvrLockInByte4,
        .fuseCount = 2,
        // Low: BODLEVEL BODEN SUT1 SUT0 CKSEL3..0 = 1110 0001 (internal RC 1 MHz).
        // High: S8515C WDTON SPIEN CKOPT EESAVE BOOTSZ1 BOOTSZ0 BOOTRST = 1101 1001.
        .fuseDefaults = {0xE1, 0xD9, 0xFF},
        .fuseWritable = {0xFF, 0xDF, 0x00},
        .eesaveMask = 0x08,
        .lockWritable = 0x3F,
        .lb1Mask = 0x01,
        .lb2Mask = 0x02,
        .fusesLockedByLb1 = true,
        .signatureLockedByLb = false,
        .flashTime = 4 * kMs + 5 * kUs100,
        .eepromTime = 9 * kMs,
        .eraseTime = 9 * kMs,
        .fuseTime = 4 * kMs + 5 * kUs100,
        .calibrationBytes = 1,
        .calibration = {0xA7},
        .flashBusyValue = 0xFF,
        .eepromEraseBusyValue = 0xFF,
        .eepromWriteBusyValue = 0xFF,
    },
    {
        .name = "ATmega163",
        .flashWords = 8192,
        .pageWords = 64,
        .eepromBytes = 512,
        .signature = {0x1E, 0x94, 0x02},
        .instructions = kAvrLoadFlashPage | kAvrReadFuses | kAvrWriteFuses | kAvrLockInByte4,
        .fuseCount = 2,
        // Low: BODLEVEL BODEN 1 1 CKSEL3..0 = 1111 0010 (internal RC).
        // High: 1111 1 BOOTSZ1 BOOTSZ0 BOOTRST, all unprogrammed.
        .fuseDefaults = {0xF2, 0xFF, 0xFF},
        .fuseWritable = {0xCF, 0x07, 0x00},
        .eesaveMask = 0x00,
        .lockWritable = 0x3F,
        .lb1Mask = 0x01,
        .lb2Mask = 0x02,
        .fusesLockedByLb1 = false,
        .signatureLockedByLb = false,
        // Serial programming characteristics, minimum wait delays after the instructions
        // (tWD_FLASH, tWD_EEPROM, tWD_ERASE, tWD_FUSE); the parallel-mode times are shorter.
        .flashTime = 16 * kMs,
        .eepromTime = 4 * kMs,
        .eraseTime = 32 * kMs,
        .fuseTime = 2 * kMs,
        .calibrationBytes = 1,
        .calibration = {0x9C},
        .flashBusyValue = 0xFF,
        .eepromEraseBusyValue = 0xFF,
        .eepromWriteBusyValue = 0xFF,
    },
    {
        .name = "ATmega128",
        .flashWords = 65536,
        .pageWords = 128,
        .eepromBytes = 4096,
        .signature = {0x1E, 0x97, 0x02},
        .instructions =
            kAvrLoadFlashPage | kAvrReadFuses | kAvrWriteFuses | kAvrLockInByte4 | kAvrPollReady,
        .fuseCount = 3,
        // Low 1110 0001; high: OCDEN JTAGEN SPIEN CKOPT EESAVE BOOTSZ1 BOOTSZ0 BOOTRST =
        // 1001 1001; extended: 1111 11 M103C WDTON = 1111 1101 (ATmega103 compatibility).
        .fuseDefaults = {0xE1, 0x99, 0xFD},
        .fuseWritable = {0xFF, 0xDF, 0x03},
        .eesaveMask = 0x08,
        .lockWritable = 0x3F,
        .lb1Mask = 0x01,
        .lb2Mask = 0x02,
        .fusesLockedByLb1 = true,
        .signatureLockedByLb = false,
        .flashTime = 4 * kMs + 5 * kUs100,
        .eepromTime = 9 * kMs,
        .eraseTime = 9 * kMs,
        .fuseTime = 4 * kMs + 5 * kUs100,
        // One byte for each internal RC frequency: 1, 2, 4 and 8 MHz.
        .calibrationBytes = 4,
        .calibration = {0xA3, 0xA8, 0xAE, 0xB4},
        .flashBusyValue = 0xFF,
        .eepromEraseBusyValue = 0xFF,
        .eepromWriteBusyValue = 0xFF,
    },
};

}  // namespace

const AvrChipSpec& GetAvrChipSpec(AvrModel model) { return kSpecs[static_cast<int>(model)]; }

}  // namespace vexilo::sim
