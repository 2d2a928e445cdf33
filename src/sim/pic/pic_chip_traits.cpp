#include "sim/pic/pic_chip_traits.h"

#include "sim/pic/pic_commands.h"

namespace vexilo::sim {
namespace {

using namespace pic_command;

constexpr uint64_t kCommonCommands =
    Bit(kLoadConfiguration) | Bit(kLoadProgramData) | Bit(kLoadDataMemory) | Bit(kReadProgramData) |
    Bit(kReadDataMemory) | Bit(kIncrementAddress) | Bit(kBeginEraseProgramming) |
    Bit(kBulkEraseSetup1) | Bit(kBulkEraseSetup2);

// PIC16F8X programming specification (DS30262): 1K words, 64 bytes data EEPROM, no device
// ID word, 10 ms erase/program and bulk erase cycles (program and data memory alike, the
// figure the Write Delay default of 10 ms meets), CP in bits 13-4. The bulk erase commands 9
// and 11 are the PIC16F8X's; Begin Programming Only (0x18) is listed for the PIC16F84A that
// later cards carry, so the model takes it too.
constexpr PicChipTraits kPic16F84 = {
    .name = "PIC16F84",
    .programWords = 1024,
    .eepromBytes = 64,
    .configMask = 0x3FFF,
    .protectBits = 0x3FF0,
    .hasDeviceId = false,
    .deviceId = 0,
    .commands = kCommonCommands | Bit(kBulkEraseProgramMemory) | Bit(kBulkEraseDataMemory) |
                Bit(kBeginProgrammingOnly),
    .eraseProgramTime = 10 * kMs,
    .programOnlyTime = 10 * kMs,
    .bulkEraseTime = 10 * kMs,
    .protection = PicProtection::kWholeChip,
    .segmentStart = {0, 0, 0, 1024},
};

// PIC16F87X programming specification (DS39025): no bulk erase commands 9 and 11 (the
// set-up pair erases), 8K words, 256 bytes data EEPROM, device ID
// 0x09E0 (DEV 00 1001 111, REV 0), 8 ms erase/program, 4 ms programming-only cycle, 8 ms
// erase. Configuration word: CP1:CP0 13:12 and 5:4, DEBUG 11, bit 10 unimplemented, WRT 9,
// CPD 8, LVP 7, BODEN 6, PWRTE 3, WDTE 2, FOSC 1:0.
constexpr PicChipTraits kPic16F876 = {
    .name = "PIC16F876",
    .programWords = 8192,
    .eepromBytes = 256,
    .configMask = 0x3BFF,
    .protectBits = 0x3130,
    .hasDeviceId = true,
    .deviceId = 0x09E0,
    .commands = kCommonCommands | Bit(kBeginProgrammingOnly),
    .eraseProgramTime = 8 * kMs,
    .programOnlyTime = 4 * kMs,
    .bulkEraseTime = 8 * kMs,
    .protection = PicProtection::kSegmented,
    .segmentStart = {0x0000, 0x1000, 0x1F00, 0x2000},
};

}  // namespace

const PicChipTraits& GetPicChipTraits(PicModel model) {
  switch (model) {
    case PicModel::PIC16F84:
      return kPic16F84;
    case PicModel::PIC16F876:
      return kPic16F876;
  }
  return kPic16F84;
}

}  // namespace vexilo::sim
