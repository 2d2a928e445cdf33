#include "avr/chip_table.h"

namespace vexilo::avr {
namespace {

constexpr AvrChipRow kRows[] = {
    {
        .chip = AvrChip::AT90S8515,
        .name = "AT90S8515",
        .flashWords = 4096,
        .eepromBytes = 512,
        .flashWrite = FlashWriteMethod::ByteByByte,
        .eepromDelayFloorMs = 0,
        .flashReadPauseMs = 100,
        .eepromReadPauseMs = 50,
        .erase = EraseVariant::Pause10Ms,
        .eraseTimeMs = 8,
        .hasFuseDialog = false,
    },
    {
        .chip = AvrChip::ATmega8515,
        .name = "ATmega8515",
        .flashWords = 4096,
        .eepromBytes = 512,
        .flashWrite = FlashWriteMethod::PagePerWord,
        .eepromDelayFloorMs = 9,
        .flashReadPauseMs = 100,
        .eepromReadPauseMs = 50,
        .erase = EraseVariant::Pause20Ms,
        .eraseTimeMs = 9,
        .hasFuseDialog = true,
    },
    {
        .chip = AvrChip::ATmega163,
        .name = "ATmega163",
        .flashWords = 8192,
        .eepromBytes = 512,
        .flashWrite = FlashWriteMethod::PagePerWord,
        .eepromDelayFloorMs = 9,
        .flashReadPauseMs = 50,
        .eepromReadPauseMs = 100,
        .erase = EraseVariant::Pause20Ms,
        .eraseTimeMs = 32,
        .hasFuseDialog = true,
    },
    {
        .chip = AvrChip::ATmega128,
        .name = "ATmega128",
        .flashWords = 65536,
        .eepromBytes = 4096,
        .flashWrite = FlashWriteMethod::PagePerWord,
        .eepromDelayFloorMs = 9,
        .flashReadPauseMs = 50,
        .eepromReadPauseMs = 100,
        .erase = EraseVariant::Pause20Ms,
        .eraseTimeMs = 9,
        .hasFuseDialog = true,
    },
};

}  // namespace

const AvrChipRow& ChipRow(AvrChip chip) { return kRows[static_cast<int>(chip)]; }

std::span<const AvrChipRow> ChipRows() { return kRows; }

unsigned ErasePauseMs(EraseVariant variant) { return variant == EraseVariant::Pause10Ms ? 10 : 20; }

}  // namespace vexilo::avr
