#include "extee_test_support.h"

#include <algorithm>
#include <stdexcept>

#include "sim/phoenix/loader_marker.h"

namespace vexilo::extee::testing {
namespace {

// A port access as slow as through a USB serial adapter: fewer status polls per character.
constexpr sim::SimTime kAccessNs = 10000;

std::span<uint8_t> RegionOf(std::vector<sim::MemoryRegion> regions, const std::string& name) {
  for (const sim::MemoryRegion& region : regions) {
    if (region.name == name) return region.bytes;
  }
  throw std::invalid_argument("no region " + name);
}

std::unique_ptr<sim::SimBackend> MakeSim(sim::CardType card, uint32_t eepromBytes,
                                         const sim::SimFaults& faults) {
  sim::SimOptions options{.card = card, .eepromBytes = eepromBytes, .faults = faults};
  options.ioAccessNs = kAccessNs;
  auto backend = std::make_unique<sim::SimBackend>(options);
  std::span<uint8_t> flash = RegionOf(backend->Card().Chip().Regions(), "flash");
  const bool pic = sim::InfoFor(card).family == sim::ChipFamily::Pic;
  for (size_t i = 0; i < flash.size(); ++i) flash[i] = pic && i % 2 ? 0x3F : 0xFF;
  return backend;
}

}  // namespace

uint8_t TapIo::In(uint16_t port) {
  ++accesses;
  return inner_.In(port);
}

void TapIo::Out(uint16_t port, uint8_t value) {
  ++accesses;
  if (port == base_ + 3) divisorAccess_ = (value & 0x80) != 0;
  if (port == base_ && !divisorAccess_) {
    // A character spoilt on the IO line reaches the card (and the echo) changed.
    if (flipSentAt && *flipSentAt == sent.size()) value ^= 0x01;
    sent.push_back(value);
  }
  inner_.Out(port, value);
}

sim::CardType CardFor(LoaderFamily loader) {
  constexpr sim::CardType kCards[] = {sim::CardType::FunCard, sim::CardType::WaferCard,
                                      sim::CardType::PicCard2};
  return kCards[static_cast<int>(loader)];
}

sim::LoaderFamily SimLoader(LoaderFamily loader) {
  constexpr sim::LoaderFamily kLoaders[] = {sim::LoaderFamily::Avr, sim::LoaderFamily::Pic16F84,
                                            sim::LoaderFamily::Pic16F876};
  return kLoaders[static_cast<int>(loader)];
}

ExtRig::ExtRig(LoaderFamily loader, uint32_t eepromBytes, const sim::SimFaults& faults)
    : ExtRig(CardFor(loader), SimLoader(loader), eepromBytes, faults) {}

ExtRig::ExtRig(sim::CardType card, std::optional<sim::LoaderFamily> installed, uint32_t eepromBytes,
               const sim::SimFaults& faults)
    : sim(MakeSim(card, eepromBytes, faults)),
      backend(*sim),
      // 10000 polls of 10 us: 100 ms for each ATR byte.
      session(backend, op, [] { return port::SessionSettings{.atrDelay = "10"}; }) {
  if (installed) {
    const std::vector<uint8_t> image = sim::MakeSimLoaderImage(*installed);
    std::copy(image.begin(), image.end(), RegionOf(sim->Card().Chip().Regions(), "flash").begin());
    // The configuration word the PIC installers write: XT oscillator, watchdog off.
    if (sim::InfoFor(card).family == sim::ChipFamily::Pic) {
      std::span<uint8_t> config = RegionOf(sim->Card().Chip().Regions(), "config");
      config[14] = 0x39;  // word 7, 0x2007: 0x3F39 suits both chips
      config[15] = 0x3F;
    }
  }
}

ExtEepromContext ExtRig::Context() {
  return {.session = session,
          .op = op,
          .errorFlag = errorFlag,
          .question = "Text 28",
          .switchToPhoenix = [this] { ++switches; },
          .TxDelay = 5,
          .ver_eeprom = verEeprom};
}

std::span<uint8_t> ExtRig::Eeprom() { return RegionOf(sim->Card().Phoenix()->Regions(), "24cxx"); }

std::vector<std::string> ExtRig::Errors() const {
  std::vector<std::string> errors;
  for (const std::string& line : op.lines) {
    if (line.starts_with("red ")) errors.push_back(line.substr(4));
  }
  return errors;
}

image::MemoryImage Pattern(uint32_t bytes, uint8_t seed) {
  image::MemoryImage image(image::ImageKind::Eeprom, bytes);
  for (uint32_t a = 0; a < bytes; ++a) {
    image.SetByte(a, static_cast<uint8_t>((a >> 8) * 13 + a * 7 + seed));
  }
  return image;
}

}  // namespace vexilo::extee::testing
