#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/adapter/adapter.h"
#include "sim/card/card_type.h"
#include "sim/card/chip.h"
#include "sim/card/faults.h"
#include "sim/card/phoenix_card.h"

namespace vexilo::sim {

// A simulated smart card: its microcontroller and, for the cards with a 24Cxx, the card as the
// Phoenix reader sees it (the chip's firmware with the EEPROM on its I2C pins).
class SimCard {
 public:
  // `phoenix` may be null (a card without 24Cxx). It may refer to `*chip`; the card keeps the
  // chip alive as long as the Phoenix side.
  SimCard(CardType type, uint32_t eepromBytes, std::unique_ptr<SerialProgrammedChip> chip,
          std::unique_ptr<PhoenixCard> phoenix);
  ~SimCard();

  CardType Type() const { return type_; }
  uint32_t ExternalEepromBytes() const { return eepromBytes_; }
  SerialProgrammedChip& Chip() { return *chip_; }
  PhoenixCard* Phoenix() { return phoenix_.get(); }
  CardSlot Slot() { return {chip_.get(), phoenix_.get(), InfoFor(type_).family}; }

  // Every memory of the card, named "chip/<region>" and "phoenix/<region>".
  std::vector<MemoryRegion> Regions();

 private:
  CardType type_;
  uint32_t eepromBytes_;
  std::unique_ptr<SerialProgrammedChip> chip_;
  std::unique_ptr<PhoenixCard> phoenix_;  // destroyed before the chip it refers to
};

// What runs the card's firmware on the Phoenix reader: the behavioural loader model, or the
// ISA card (isa/isa_card.h), the chip's own program memory on an instruction-set simulator.
enum class PhoenixModel { Behavioural, Isa };

// Builds a card with the simulated chip models. `eepromBytes` 0 takes the card's default;
// throws std::invalid_argument for a size no 24Cxx has, or any 24Cxx on a card without one.
// The ISA card throws isa::HelperError when its helper program is missing or does not start.
std::unique_ptr<SimCard> MakeSimCard(CardType type, uint32_t eepromBytes = 0,
                                     const SimFaults& faults = {},
                                     PhoenixModel model = PhoenixModel::Behavioural);

}  // namespace vexilo::sim
