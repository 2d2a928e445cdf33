#pragma once
// One card chip on an instruction-set simulator, as the helper's command loop drives it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vexilo::isacard {

// A port pin by its data sheet name ("PB6", "RB7", "RC4" ...).
struct PinName {
  char port;    // 'A' .. 'E'
  uint8_t bit;  // 0 .. 7
};

class ChipCore {
 public:
  virtual ~ChipCore() = default;

  virtual uint32_t ClocksPerCycle() const = 0;

  // Loads the memories and starts the chip from its reset vector at cycle 0. A configuration
  // the chip cannot run under on the card (for a PIC: an oscillator other than XT or HS) leaves
  // it stopped.
  virtual void Start(const std::vector<uint8_t>& program, const std::vector<uint8_t>& eeprom,
                     uint32_t config) = 0;
  // The chip is held in reset.
  virtual void Stop() = 0;
  // False while held in reset, after a configuration it cannot run under, or once the core
  // has crashed (an opcode it does not know).
  virtual bool Running() const = 0;

  // Cycles since the last Start.
  virtual uint64_t Cycle() const = 0;
  // Executes one instruction.
  virtual void Step() = 0;
  // When the chip is going round a loop that changes nothing (waiting for a pin that stays
  // put), jumps over whole turns of it as long as the cycle stays at or below `limit`. Called
  // before each step; the default never skips.
  virtual void SkipIdle(uint64_t /*limit*/) {}
  // What the chip drives on the three contacts (bit n set: pin n released or driven high).
  virtual uint8_t Drive() const = 0;
  // The levels the outside world puts on the three contacts (bit n set: released); the chip
  // reads each pin as the wired AND of these and its own drive.
  virtual void SetOutside(uint8_t levels) = 0;
};

// The cores this helper was built with; throws std::invalid_argument for an unknown name.
// `pins` are the IO, SDA and SCL contacts in that order.
std::unique_ptr<ChipCore> MakeAvrCore(const std::string& mcu, const PinName pins[3]);
std::unique_ptr<ChipCore> MakePicCore(const std::string& processor, const PinName pins[3]);

}  // namespace vexilo::isacard
