#pragma once
#include <cstdint>

namespace vexilo::pic {

// The two PIC chips of the cards: PIC16F84 (Wafer Card), PIC16F876 (Pic Card 2).
enum class PicChip { PIC16F84, PIC16F876 };

struct PicChipRow {
  const char* name;
  uint32_t flashWords;      // program memory, 14-bit words
  uint32_t eepromBytes;     // data EEPROM
  const char* configLabel;  // the log text before the configuration word
  // The programming-only cycle (0x18) for erased memory and its data sheet time; 0: the chip
  // has none.
  uint8_t programOnlyMs;
};

constexpr PicChipRow kPicChips[] = {
    {"PIC16F84", 1024, 64, "ConfigWord : ", 0},
    {"PIC16F876", 8192, 256, "Configuration word : ", 4},
};

constexpr const PicChipRow& PicRow(PicChip chip) { return kPicChips[static_cast<int>(chip)]; }

// The configuration word's place in configuration memory: Load Configuration moves the address
// counter to 0x2000, seven increments reach 0x2007.
constexpr int kConfigWordIncrements = 7;

}  // namespace vexilo::pic
