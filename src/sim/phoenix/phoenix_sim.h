#pragma once
#include <cstdint>
#include <memory>
#include <optional>

#include "sim/card/chip.h"
#include "sim/card/phoenix_card.h"

namespace vexilo::sim {

// How a faulty card closes its read blocks (fault loader-replies=...).
enum class ReadReplies {
  Normal,
  MemoryFailure,  // the 24Cxx does not answer: the loader sends what it has and 65 81
  BadCheck,       // the PIC16F876 loader's check byte of the block at kBadCheckAddress does
                  // not match its data (a bit lost on the way)
  Foreign,        // another loader's convention: every block closed with 00 00 (or 00)
};

inline constexpr uint16_t kBadCheckAddress = 0x0020;

struct PhoenixFaults {
  ReadReplies readReplies = ReadReplies::Normal;
  bool wrongAtr = false;                // the card answers reset with an ATR no loader sends
  bool noLoader = false;                // the loader never runs, whatever the chip holds
  std::optional<uint32_t> silentAfter;  // the card stops sending after this many characters
};

// The card on the Phoenix reader: `chip` is the card's microcontroller (its program memory
// decides whether and which loader runs), with a 24Cxx EEPROM of `eepromBytes` (2048, 8192,
// 16384, 32768 or 65536) on its I2C pins.
std::unique_ptr<PhoenixCard> MakePhoenixCard(const SerialProgrammedChip& chip, uint32_t eepromBytes,
                                             const PhoenixFaults& faults = {});

}  // namespace vexilo::sim
