#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/card/chip.h"
#include "sim/sim_time.h"

namespace vexilo::sim {

// The card as an ISO 7816-style card on the Phoenix reader: reset on one contact, one
// bidirectional IO line carrying 9600 baud 8E2 characters. The card answers only while its
// chip holds a card loader image.
class PhoenixCard {
 public:
  virtual ~PhoenixCard() = default;

  // The reset contact, driven by RTS in Phoenix mode (true = reset held active).
  virtual void SetReset(bool active, SimTime now) = 0;

  // A character the reader put on the IO line, complete at `now` (its stop bits ended).
  virtual void ReceiveFromReader(uint8_t value, SimTime now) = 0;

  // The next character the card puts on the IO line whose frame is complete by `now`, if any.
  // Characters come out in order, at the card's own pace (one character time apart at least).
  virtual std::optional<uint8_t> TransmitToReader(SimTime now) = 0;

  // The 24Cxx EEPROM and loader state, for the card state file.
  virtual std::vector<MemoryRegion> Regions() = 0;
};

}  // namespace vexilo::sim
