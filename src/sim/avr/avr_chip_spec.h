#pragma once
#include <array>
#include <cstdint>

#include "sim/avr/avr_chip.h"
#include "sim/sim_time.h"

namespace vexilo::sim {

// Serial programming instructions a chip may implement, as bits of AvrChipSpec::instructions.
enum AvrInstruction : uint32_t {
  kAvrWriteFlashByte = 1u << 0,  // 0x40/0x48 write the byte at once (AT90S)
  kAvrLoadFlashPage = 1u << 1,   // 0x40/0x48 into the page buffer, 0x4C writes the page
  kAvrReadFuses = 1u << 2,       // 0x50/0x58 fuse and lock reads
  kAvrWriteFuses = 1u << 3,      // 0xAC 0xA0/0xA8/0xA4 fuse writes
  kAvrLockInByte4 = 1u << 4,     // 0xAC 0xE0 xx data (ATmega) rather than 0xAC 111x x21x (AT90S)
  kAvrPollReady = 1u << 5,       // 0xF0 RDY/BSY
};

// Indices into the configuration bytes (the "fuses" region holds the ones a chip has, in this
// order, lock byte last).
enum AvrFuse : uint8_t { kAvrFuseLow = 0, kAvrFuseHigh = 1, kAvrFuseExtended = 2 };

// One row per chip model; the serial programming engine reads everything model-specific here.
struct AvrChipSpec {
  const char* name;
  uint32_t flashWords;   // a power of two
  uint16_t pageWords;    // 0: byte-wise flash writes
  uint16_t eepromBytes;  // a power of two
  std::array<uint8_t, 3> signature;
  uint32_t instructions;  // AvrInstruction bits

  uint8_t fuseCount;                    // 0, 2 (low, high) or 3 (low, high, extended)
  std::array<uint8_t, 3> fuseDefaults;  // factory values
  std::array<uint8_t, 3> fuseWritable;  // bits a serial write can change; the others keep
                                        // their default (unused bits read 1, SPIEN is out of
                                        // reach in serial mode)
  uint8_t eesaveMask;                   // EESAVE bit in the high fuse byte, 0 if none
  uint8_t lockWritable;                 // lock byte bits that exist; the others read 1
  uint8_t lb1Mask;                      // where LB1 and LB2 sit in the lock byte
  uint8_t lb2Mask;
  bool fusesLockedByLb1;     // lock mode 2 and 3 also freeze the fuses
  bool signatureLockedByLb;  // lock mode 3 hides the signature

  SimTime flashTime;   // tWD_FLASH / tWD_PROG
  SimTime eepromTime;  // tWD_EEPROM / tWD_PROG
  SimTime eraseTime;   // tWD_ERASE
  SimTime fuseTime;    // tWD_FUSE (lock bits too)

  // Read Calibration Byte (0x38 0x00 b 0x00): the factory-trimmed RC oscillator value of
  // byte b; none on chips without the instruction.
  uint8_t calibrationBytes;
  std::array<uint8_t, 4> calibration;

  uint8_t flashBusyValue;        // read from a location being programmed
  uint8_t eepromEraseBusyValue;  // read from an EEPROM byte during its auto-erase (P1)
  uint8_t eepromWriteBusyValue;  // ... and while it is then written (P2)
};

const AvrChipSpec& GetAvrChipSpec(AvrModel model);

}  // namespace vexilo::sim
