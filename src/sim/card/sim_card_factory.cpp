// Kept apart from sim_card.cpp: only this file needs the chip and Phoenix card models.
#include <stdexcept>
#include <string>

#include "sim/avr/avr_chip.h"
#include "sim/backend/sim_backend.h"
#include "sim/card/sim_card.h"
#include "sim/isa/isa_card.h"
#include "sim/phoenix/phoenix_sim.h"
#include "sim/pic/pic_chip.h"

namespace vexilo::sim {

std::unique_ptr<SimCard> MakeSimCard(CardType type, uint32_t eepromBytes, const SimFaults& faults,
                                     PhoenixModel model) {
  const CardTypeInfo& info = InfoFor(type);
  if (eepromBytes == 0) eepromBytes = info.eepromDefault;
  if (info.eepromDefault == 0 && eepromBytes != 0) {
    throw std::invalid_argument(std::string(info.text) + " has no 24Cxx EEPROM");
  }
  if (eepromBytes != 0 && !IsExternalEepromSize(eepromBytes)) {
    throw std::invalid_argument("no 24Cxx has " + std::to_string(eepromBytes) + " bytes");
  }
  std::unique_ptr<SerialProgrammedChip> chip = info.family == ChipFamily::Avr
                                                   ? MakeAvrChip(info.avr, faults.chip)
                                                   : MakePicChip(info.pic, faults.chip);
  std::unique_ptr<PhoenixCard> phoenix;
  if (eepromBytes != 0 && model == PhoenixModel::Isa) {
    phoenix = std::make_unique<IsaCard>(*chip, eepromBytes, *IsaWiringFor(type));
  } else if (eepromBytes != 0) {
    phoenix = MakePhoenixCard(*chip, eepromBytes, faults.phoenix);
  }
  return std::make_unique<SimCard>(type, eepromBytes, std::move(chip), std::move(phoenix));
}

SimBackend::SimBackend(const SimOptions& options)
    : SimBackend(options,
                 MakeSimCard(options.card, options.eepromBytes, options.faults, options.phoenix)) {}

}  // namespace vexilo::sim
