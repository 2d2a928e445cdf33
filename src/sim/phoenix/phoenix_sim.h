#pragma once
#include <cstdint>
#include <memory>
#include <optional>

#include "sim/chip.h"
#include "sim/phoenix_card.h"

namespace vexilo::sim {

struct PhoenixFaults {
  bool wrongAtr = false;               // the card answers reset with an ATR no loader sends
  bool noLoader = false;               // the loader never runs, whatever the chip holds
  std::optional<uint32_t> silentAfter;  // the card stops sending after this many characters
};

// The card on the Phoenix reader: `chip` is the card's microcontroller (its program memory
// decides whether and which loader runs), with a 24Cxx EEPROM of `eepromBytes` (2048, 8192,
// 16384, 32768 or 65536) on its I2C pins.
std::unique_ptr<PhoenixCard> MakePhoenixCard(const SerialProgrammedChip& chip,
                                             uint32_t eepromBytes,
                                             const PhoenixFaults& faults = {});

}  // namespace vexilo::sim
