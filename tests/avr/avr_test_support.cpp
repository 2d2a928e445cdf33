#include "avr_test_support.h"

#include <stdexcept>

#include "avr/chip_table.h"

namespace vexilo::avr::testing {

sim::CardType CardFor(AvrChip chip) {
  switch (chip) {
    case AvrChip::AT90S8515:
      return sim::CardType::FunCard;
    case AvrChip::ATmega8515:
      return sim::CardType::NeooCard;
    case AvrChip::ATmega163:
      return sim::CardType::AtmegaCard;
    case AvrChip::ATmega128:
      return sim::CardType::BlackCard;
  }
  throw std::invalid_argument("chip");
}

namespace {

std::unique_ptr<sim::SimBackend> MakeBackend(AvrChip chip, const sim::SimFaults& faults) {
  sim::SimOptions options;
  options.card = CardFor(chip);
  options.mode = sim::AdapterMode::Avr;
  options.faults = faults;
  return std::make_unique<sim::SimBackend>(options);
}

}  // namespace

SimRig::SimRig(AvrChip chip, const sim::SimFaults& faults)
    : backend(MakeBackend(chip, faults)), bench(*backend) {
  bench.session.OpenPort("avr/pic");
}

bool SimRig::SpiOn() {
  AvrContext ctx = Context();
  return AtmelSpiOn(ctx) == 1;
}

std::span<uint8_t> SimRig::Region(const std::string& name) {
  for (const sim::MemoryRegion& region : backend->Card().Chip().Regions()) {
    if (region.name == name) return region.bytes;
  }
  throw std::invalid_argument("no region " + name);
}

image::MemoryImage BlankFlash(AvrChip chip) {
  return image::MemoryImage(image::ImageKind::AvrFlash, ChipRow(chip).flashWords);
}

image::MemoryImage BlankEeprom(AvrChip chip) {
  return image::MemoryImage(image::ImageKind::Eeprom, ChipRow(chip).eepromBytes);
}

}  // namespace vexilo::avr::testing
