#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/card/chip.h"
#include "sim/card/phoenix_card.h"
#include "sim/phoenix/card_transmitter.h"
#include "sim/phoenix/eeprom_24cxx.h"
#include "sim/phoenix/loader_model.h"
#include "sim/phoenix/phoenix_sim.h"

namespace vexilo::sim {

// From the release of RESET to the leading edge of the ATR's first character: ISO 7816-3 asks
// for 400 to 40000 clock cycles; the loaders start answering after 10000 (about 2.8 ms).
constexpr SimTime kAtrDelay = SimTime(10000 * 1e9 / kCardClockHz + 0.5);

// The card on the Phoenix reader: the chip's firmware on the IO line, a 24Cxx on its I2C pins.
//
// Each release of RESET starts the chip's firmware afresh. A chip whose program memory carries
// a loader marker (loader_marker.h) runs that loader: ATR, then commands. Any other program
// memory (erased, the user's own program) is not a loader and leaves the IO line idle: the
// card says nothing and ignores what it hears. The card is half duplex: characters that reach
// it while it is sending, or while RESET is held, are lost.
//
// Faults: wrongAtr sends an ATR no loader sends (loader_family.h, ForeignAtr) on every reset
// instead of the loader's, whatever the chip holds; a loader still answers commands after it.
// noLoader keeps any loader from running. silentAfter stops the card's output for good once
// it has sent that many characters since it was made (ATRs included); its firmware carries on.
class PhoenixCardSim final : public PhoenixCard {
 public:
  PhoenixCardSim(const SerialProgrammedChip& chip, uint32_t eepromBytes,
                 const PhoenixFaults& faults);

  void SetReset(bool active, SimTime now) override;
  void ReceiveFromReader(uint8_t value, SimTime now) override;
  std::optional<uint8_t> TransmitToReader(SimTime now) override { return tx_.Collect(now); }
  std::vector<MemoryRegion> Regions() override;

  Eeprom24Cxx& Eeprom() { return eeprom_; }
  // The loader running since the last release of RESET, if any.
  std::optional<LoaderFamily> RunningLoader() const;

 private:
  void StartFirmware(SimTime now);

  const SerialProgrammedChip& chip_;
  PhoenixFaults faults_;
  Eeprom24Cxx eeprom_;
  CardTransmitter tx_;
  bool inReset_ = true;  // a card just inserted has not been released from reset yet
  std::optional<LoaderModel> loader_;
};

}  // namespace vexilo::sim
