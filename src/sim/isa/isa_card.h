#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "sim/card/chip.h"
#include "sim/card/phoenix_card.h"
#include "sim/isa/helper_process.h"
#include "sim/isa/isa_wiring.h"
#include "sim/phoenix/eeprom_24cxx.h"
#include "sim/phoenix/eeprom_pins.h"

namespace vexilo::sim {

// The card on the Phoenix reader with its chip running the firmware it actually holds: at
// each release of RESET the chip's program memory, data EEPROM and configuration word go to
// the helper program (isa/isa_wire.h), which runs them on simavr or gpsim at the card's
// 3.579545 MHz, and the card's contacts are joined to the reader and to the 24Cxx by pin:
//   IO:  the reader's TX and RX both on the line (the adapter gives the reader its echo); the
//        reader's characters reach the chip as levels, bit by bit at 9600 baud 8E2, and what
//        the chip puts on the line is read by the reader's UART, sampled in mid-bit.
//   SDA, SCL: the 24Cxx (EepromPins on our own model).
// Everything is open drain: a line is low when either side pulls it low.
//
// The chip runs a little behind the reader (kIsaLag): far enough that a character the reader
// is sending has not yet begun for it when the UART hands it over complete. A character from
// the card reaches the reader that much later than its stop bit.
class IsaCard final : public PhoenixCard {
 public:
  IsaCard(SerialProgrammedChip& chip, uint32_t eepromBytes, const IsaWiring& wiring);
  ~IsaCard() override;

  void SetReset(bool active, SimTime now) override;
  void ReceiveFromReader(uint8_t value, SimTime now) override;
  std::optional<uint8_t> TransmitToReader(SimTime now) override;
  std::vector<MemoryRegion> Regions() override { return {{"24cxx", eeprom_.Bytes()}}; }

  Eeprom24Cxx& Eeprom() { return eeprom_; }
  // Cycles the chip has executed since its last reset.
  uint64_t Cycles() const { return cycle_; }

 private:
  void RunUntil(SimTime t);
  void ChipEdge(uint64_t cycle, uint8_t drive, bool stopped);
  void SendScript();
  void ReadLine(SimTime t);
  uint64_t CycleAt(SimTime t) const;
  SimTime TimeOf(uint64_t cycle) const;

  SerialProgrammedChip& chip_;
  Eeprom24Cxx eeprom_;
  EepromPins pins_;
  std::unique_ptr<isa::HelperProcess> helper_;
  bool inReset_ = true;
  SimTime released_ = 0;
  uint64_t cycle_ = 0;                 // how far the chip has run since the release
  uint64_t quantum_ = 1;               // cycles in kIsaQuantum
  uint8_t drive_ = isa::kAllReleased;  // what the chip drives
  // The 24Cxx's SDA as the helper has it, and what is left of the script it follows.
  bool helperSda_ = true;
  std::deque<bool> script_;
  // The reader's receiver on the IO line.
  bool ioLevel_ = true;
  std::optional<SimTime> frameStart_;
  unsigned samples_ = 0;
  uint16_t frame_ = 0;
  struct Received {
    uint8_t value;
    SimTime complete;
  };
  std::deque<Received> toReader_;
  bool trace_;  // $VEXILO_ISA_TRACE: the characters on the IO line go to stderr
};

}  // namespace vexilo::sim
