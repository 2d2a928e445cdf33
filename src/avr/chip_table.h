#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "avr/avr_chip.h"

namespace vexilo::avr {

// How program memory takes a word: the AT90S writes each byte as it arrives; the ATmega
// chips load a page buffer and write the page with a separate instruction.
enum class FlashWriteMethod { ByteByByte, PagePerWord };

// One row per chip: everything the memory, erase and configuration routines need to know
// about it.
struct AvrChipRow {
  AvrChip chip;
  const char* name;
  uint32_t flashWords;
  uint32_t eepromBytes;
  FlashWriteMethod flashWrite;
  unsigned eepromDelayFloorMs;  // the EEPROM write delay is raised to this (0: none)
  unsigned flashReadPauseMs;    // before the first word of a FLASH read
  unsigned eepromReadPauseMs;   // before the first byte of an EEPROM read
  EraseVariant erase;
  bool hasFuseDialog;  // the ATmega chips; the AT90S8515 has two lock bit boxes instead

  // Fast write. The FLASH page (0: the chip writes byte by byte), the data sheet's longest
  // programming times, and what a location reads while it is being programmed (data
  // polling): a value equal to one of these, or 0xFF, cannot be polled.
  uint32_t pageWords;
  unsigned flashWriteMaxUs;
  unsigned eepromWriteMaxUs;
  std::array<uint8_t, 2> pollBusyValues;
};

// A byte whose programming can be followed by data polling on this chip.
bool CanPoll(const AvrChipRow& row, uint8_t value);

const AvrChipRow& ChipRow(AvrChip chip);
std::span<const AvrChipRow> ChipRows();

// Pause after the chip erase instruction.
unsigned ErasePauseMs(EraseVariant variant);

}  // namespace vexilo::avr
