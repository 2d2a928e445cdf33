#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/sim_time.h"

namespace vexilo::sim {

// A fault planted in a simulated chip.
struct ChipFaults {
  // Write and erase times are multiplied by this (a slow chip needs longer write delays).
  double writeTimeFactor = 1.0;
  // A program-memory bit that always reads `stuckValue`, whatever is programmed.
  struct StuckBit {
    uint32_t byteAddress;  // byte address in program memory (PIC: 2 * word + 0 low, + 1 high)
    uint8_t bit;           // 0 .. 7
    bool stuckValue;
  };
  std::optional<StuckBit> stuck;
  // The clock an AVR chip runs on, in Hz (0: not checked). The data sheets ask for SCK high
  // and low phases longer than two of its cycles; an edge that comes sooner is not seen.
  uint32_t avrClockHz = 0;
};

// A named memory of a simulated component, saved to and loaded from the card state file.
struct MemoryRegion {
  std::string name;          // "flash", "eeprom", "fuses", "config", "24cxx" ...
  std::span<uint8_t> bytes;  // fixed size for the component
};

// A chip programmed through a three-wire serial link while held in a special state:
// AVR chips (RESET low, SCK, MOSI in, MISO out) and PIC chips (MCLR at programming voltage,
// RB6 clock, RB7 data both ways). The adapter turns its RS-232 lines into these pin levels.
class SerialProgrammedChip {
 public:
  virtual ~SerialProgrammedChip() = default;

  // Pin levels driven by the programmer at time `now` (true = logic high):
  //   AVR: control = RESET pin (low holds the chip in reset), clock = SCK, data = MOSI.
  //   PIC: control = MCLR at programming voltage (true = Vihh applied), clock = RB6, data = RB7.
  // Called on every change of any line; calls come in non-decreasing time.
  virtual void SetPins(bool control, bool clock, bool data, SimTime now) = 0;

  // The level the chip drives on its data output at `now`: MISO (AVR), RB7 (PIC; while the
  // chip is not driving RB7 it reads as the programmer's own data level).
  virtual bool DataOut(SimTime now) = 0;

  // Program memory as bytes in memory order (AVR: low byte of word w at 2w; PIC: word w as
  // 2w low byte, 2w + 1 high byte). The card loader model looks for its image here.
  virtual std::span<const uint8_t> ProgramMemory() const = 0;

  // Every memory of the chip (program memory, EEPROM, fuses/lock or configuration words) for
  // the card state file.
  virtual std::vector<MemoryRegion> Regions() = 0;

  virtual std::string Name() const = 0;

  // The memories were just replaced from a saved state: a defective cell shows its defect
  // again.
  virtual void MemoriesRestored() {}

  // Which firmware the chip can run: "avr", "pic16f84" or "pic16f876" (a card loader built
  // for another chip does not run on it); empty for any.
  virtual std::string FirmwareFamily() const { return {}; }
  // Whether the chip as configured runs its program on the card's 3.58 MHz clock: a PIC
  // needs a crystal oscillator setting (XT or HS) and the watchdog off, as the card loader
  // installers write them.
  virtual bool RunsOnCardClock() const { return true; }
  // The configuration word the chip runs under (PIC); none for a chip configured by fuses.
  virtual std::optional<uint16_t> ConfigurationWord() const { return std::nullopt; }
};

}  // namespace vexilo::sim
