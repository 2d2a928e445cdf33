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
  // Read Signature Byte (0x30 0x00 b 0x00, b = 0 .. 2): vendor 0x1E (Atmel), memory size, part.
  std::array<uint8_t, 3> signature;
  uint32_t flashWords;
  uint32_t eepromBytes;
  FlashWriteMethod flashWrite;
  unsigned eepromDelayFloorMs;  // the EEPROM write delay is raised to this (0: none)
  unsigned flashReadPauseMs;    // before the first word of a FLASH read
  unsigned eepromReadPauseMs;   // before the first byte of an EEPROM read
  EraseVariant erase;
  // The serial-mode chip erase time of the data sheet (tWD_ERASE): the reset pulse that ends
  // the erase instruction must not come sooner, or the erase is left undone.
  unsigned eraseTimeMs;
  // The data sheet's page write time where the Write Delay must not be shorter (the
  // ATmega163's tWD_FLASH in serial mode; a read back before it sees the old cell); 0: the
  // Write Delay as it is.
  unsigned flashPageFloorMs;
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

// The wait after each FLASH write of the chip: the Write Delay, at least the page floor.
uint8_t FlashWriteDelayMs(const AvrChipRow& row, uint8_t writeDelayMs);

// The wait after each FLASH write of the chip: the Write Delay, at least the page floor.
uint8_t FlashWriteDelayMs(const AvrChipRow& row, uint8_t writeDelayMs);

// Pause after the chip erase instruction.
unsigned ErasePauseMs(EraseVariant variant);

}  // namespace vexilo::avr
