#include "sim/card/sim_card.h"

namespace vexilo::sim {

SimCard::SimCard(CardType type, uint32_t eepromBytes, std::unique_ptr<SerialProgrammedChip> chip,
                 std::unique_ptr<PhoenixCard> phoenix)
    : type_(type),
      eepromBytes_(eepromBytes),
      chip_(std::move(chip)),
      phoenix_(std::move(phoenix)) {}

SimCard::~SimCard() { phoenix_.reset(); }

std::vector<MemoryRegion> SimCard::Regions() {
  std::vector<MemoryRegion> regions;
  for (auto& region : chip_->Regions()) regions.push_back({"chip/" + region.name, region.bytes});
  if (phoenix_) {
    for (auto& region : phoenix_->Regions()) {
      regions.push_back({"phoenix/" + region.name, region.bytes});
    }
  }
  return regions;
}

}  // namespace vexilo::sim
