#include "avr/chip_table.h"

#include <algorithm>

namespace vexilo::avr {
namespace {

// Fast write figures from the serial downloading sections of the data sheets. The AT90S8515
// reads 0x7F from a FLASH byte being programmed and 0x80, then 0x7F from an EEPROM byte; it is
// given 9 ms per byte (4 ms at 5 V, with room for a low supply). The ATmega chips read 0xFF
// from a page or EEPROM byte being programmed.
constexpr AvrChipRow kRows[] = {
    {
        .chip = AvrChip::AT90S8515,
        .name = "AT90S8515",
        .signature = {0x1E, 0x93, 0x01},
        .flashWords = 4096,
        .eepromBytes = 512,
        .flashWrite = FlashWriteMethod::ByteByByte,
        .eepromDelayFloorMs = 0,
        .flashReadPauseMs = 100,
        .eepromReadPauseMs = 50,
        .erase = EraseVariant::Pause10Ms,
        .eraseTimeMs = 8,
        .flashPageFloorMs = 0,
        .hasFuseDialog = false,
        .pageWords = 0,
        .flashWriteMaxUs = 9000,
        .eepromWriteMaxUs = 9000,
        .pollBusyValues = {0x7F, 0x80},
    },
    {
        .chip = AvrChip::ATmega8515,
        .name = "ATmega8515",
        .signature = {0x1E, 0x93, 0x06},
        .flashWords = 4096,
        .eepromBytes = 512,
        .flashWrite = FlashWriteMethod::PagePerWord,
        .eepromDelayFloorMs = 9,
        .flashReadPauseMs = 100,
        .eepromReadPauseMs = 50,
        .erase = EraseVariant::Pause20Ms,
        .eraseTimeMs = 9,
        .flashPageFloorMs = 0,
        .hasFuseDialog = true,
        .pageWords = 32,
        .flashWriteMaxUs = 4500,
        .eepromWriteMaxUs = 9000,
        .pollBusyValues = {0xFF, 0xFF},
    },
    {
        .chip = AvrChip::ATmega163,
        .name = "ATmega163",
        .signature = {0x1E, 0x94, 0x02},
        .flashWords = 8192,
        .eepromBytes = 512,
        .flashWrite = FlashWriteMethod::PagePerWord,
        .eepromDelayFloorMs = 9,
        .flashReadPauseMs = 50,
        .eepromReadPauseMs = 100,
        .erase = EraseVariant::Pause20Ms,
        .eraseTimeMs = 32,
        .flashPageFloorMs = 16,
        .hasFuseDialog = true,
        .pageWords = 64,
        .flashWriteMaxUs = 16000,
        .eepromWriteMaxUs = 4000,
        .pollBusyValues = {0xFF, 0xFF},
    },
    {
        .chip = AvrChip::ATmega128,
        .name = "ATmega128",
        .signature = {0x1E, 0x97, 0x02},
        .flashWords = 65536,
        .eepromBytes = 4096,
        .flashWrite = FlashWriteMethod::PagePerWord,
        .eepromDelayFloorMs = 9,
        .flashReadPauseMs = 50,
        .eepromReadPauseMs = 100,
        .erase = EraseVariant::Pause20Ms,
        .eraseTimeMs = 9,
        .flashPageFloorMs = 0,
        .hasFuseDialog = true,
        .pageWords = 128,
        .flashWriteMaxUs = 4500,
        .eepromWriteMaxUs = 9000,
        .pollBusyValues = {0xFF, 0xFF},
    },
};

}  // namespace

const AvrChipRow& ChipRow(AvrChip chip) { return kRows[static_cast<int>(chip)]; }

std::span<const AvrChipRow> ChipRows() { return kRows; }

bool CanPoll(const AvrChipRow& row, uint8_t value) {
  return value != 0xFF && value != row.pollBusyValues[0] && value != row.pollBusyValues[1];
}

uint8_t FlashWriteDelayMs(const AvrChipRow& row, uint8_t writeDelayMs) {
  return static_cast<uint8_t>(std::max<unsigned>(writeDelayMs, row.flashPageFloorMs));
}

unsigned ErasePauseMs(EraseVariant variant) { return variant == EraseVariant::Pause10Ms ? 10 : 20; }

}  // namespace vexilo::avr
