#pragma once
#include <cstdint>

#include "sim/pic/pic_chip.h"
#include "sim/sim_time.h"

namespace vexilo::sim {

// Program memory space of the serial programming address counter: 0x0000-0x1FFF user memory
// (aliased onto the implemented words), 0x2000-0x3FFF configuration memory.
constexpr uint16_t kPicAddressMask = 0x3FFF;
constexpr uint16_t kPicConfigSpace = 0x2000;
constexpr uint16_t kPicWordMask = 0x3FFF;
// 0x2000-0x2003 ID locations, 0x2004-0x2005 reserved, 0x2006 device ID, 0x2007 configuration.
constexpr uint16_t kPicConfigWords = 8;
constexpr uint16_t kPicDeviceIdIndex = 6;
constexpr uint16_t kPicConfigWordIndex = 7;

// How the CP bits of the configuration word protect the memories.
enum class PicProtection {
  // PIC16F84: CP bits 13-4 either all 1 (off) or protecting all of program and data memory.
  kWholeChip,
  // PIC16F87X: two copies of CP1:CP0 (bits 13:12 and 5:4) choose a protected top segment of
  // program memory; CPD (bit 8) protects the data EEPROM.
  kSegmented,
};

// One row per chip model; the engine reads everything model-specific from here.
struct PicChipTraits {
  const char* name;
  uint16_t programWords;  // a power of two
  uint16_t eepromBytes;   // a power of two
  uint16_t configMask;    // implemented configuration word bits; the others read as 1
  uint16_t protectBits;   // CP/CPD bits: word programming can set protection, never lift it
  bool hasDeviceId;
  uint16_t deviceId;         // read at 0x2006 (DEV in bits 13-5, REV in bits 4-0)
  uint64_t commands;         // pic_command::Bit(code) for every implemented command
  SimTime eraseProgramTime;  // Begin Erase/Programming Cycle (erase, then program)
  SimTime programOnlyTime;   // Begin Programming Only Cycle
  SimTime bulkEraseTime;     // bulk erase and chip erase
  PicProtection protection;
  // kSegmented: first protected word for CP1:CP0 = 00, 01, 10, 11 (programWords = none).
  uint16_t segmentStart[4];
};

const PicChipTraits& GetPicChipTraits(PicModel model);

}  // namespace vexilo::sim
