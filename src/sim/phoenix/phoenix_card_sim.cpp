#include "sim/phoenix/phoenix_card_sim.h"

#include <span>

#include "sim/phoenix/loader_marker.h"

namespace vexilo::sim {

PhoenixCardSim::PhoenixCardSim(const SerialProgrammedChip& chip, uint32_t eepromBytes,
                               const PhoenixFaults& faults)
    : chip_(chip), faults_(faults), eeprom_(eepromBytes), tx_(faults.silentAfter) {}

void PhoenixCardSim::SetReset(bool active, SimTime now) {
  if (active == inReset_) return;
  inReset_ = active;
  if (active) {
    tx_.Abort(now);
    loader_.reset();
  } else {
    StartFirmware(now);
  }
}

void PhoenixCardSim::StartFirmware(SimTime now) {
  std::optional<LoaderFamily> family;
  if (!faults_.noLoader) family = FindLoaderMarker(chip_.ProgramMemory());
  // A loader runs only on the chip it was built for, and only when the chip's configuration
  // lets it run on the card's clock.
  const std::string chipFamily = chip_.FirmwareFamily();
  if (family && !chipFamily.empty() && SpecFor(*family).name != chipFamily) family.reset();
  if (family && !chip_.RunsOnCardClock()) family.reset();
  if (family) loader_.emplace(SpecFor(*family), eeprom_, faults_.readReplies);
  std::span<const uint8_t> atr;
  if (faults_.wrongAtr) {
    atr = ForeignAtr();
  } else if (loader_) {
    atr = loader_->Spec().atr;
  }
  for (uint8_t value : atr) tx_.Send(value, now + kAtrDelay);
}

void PhoenixCardSim::ReceiveFromReader(uint8_t value, SimTime now) {
  if (inReset_ || !loader_ || now < tx_.BusyUntil()) return;
  loader_->Receive(value, now, tx_);
}

std::vector<MemoryRegion> PhoenixCardSim::Regions() { return {{"24cxx", eeprom_.Bytes()}}; }

std::optional<LoaderFamily> PhoenixCardSim::RunningLoader() const {
  if (!loader_) return std::nullopt;
  return loader_->Spec().family;
}

std::unique_ptr<PhoenixCard> MakePhoenixCard(const SerialProgrammedChip& chip, uint32_t eepromBytes,
                                             const PhoenixFaults& faults) {
  return std::make_unique<PhoenixCardSim>(chip, eepromBytes, faults);
}

}  // namespace vexilo::sim
