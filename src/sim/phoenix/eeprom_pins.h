#pragma once
#include <cstdint>
#include <vector>

#include "sim/phoenix/eeprom_24cxx.h"
#include "sim/sim_time.h"

namespace vexilo::sim {

// The 24Cxx on its two pins: turns the levels a bit-banged master puts on SDA and SCL into the
// part's bus events (Eeprom24Cxx) and gives back what the part drives on SDA.
//
// Both lines are open drain with pull-ups. START is SDA falling while SCL is high, STOP SDA
// rising while SCL is high. The part samples SDA when SCL rises and changes its own SDA only
// while SCL is low: it pulls SDA low for the acknowledge after a byte it accepted, and shifts
// out a byte, most significant bit first, after a read's control byte and after each byte the
// master acknowledged. A byte the master does not acknowledge ends the read.
class EepromPins {
 public:
  explicit EepromPins(Eeprom24Cxx& eeprom) : eeprom_(eeprom) {}

  // The master's drive on the two lines changed at `now` (true = released). Returns what the
  // part drives on SDA from now on (true = released).
  bool Master(bool sda, bool scl, SimTime now);

  // What the part drives on SDA (true = released).
  bool Sda() const { return sdaOut_; }

  // What the part will drive on SDA at the next SCL falling edges, as far as that does not
  // depend on what the master does meanwhile (START and STOP aside): the levels at the next
  // falls in order, then with `holdAfter` no change at any later fall either.
  struct Script {
    std::vector<bool> levels;
    bool holdAfter = false;
  };
  Script Ahead() const;

 private:
  enum class Mode { Idle, Receive, AckOut, Send, AckIn };

  void Rising(bool sda, SimTime now);
  void Falling(SimTime now);
  void LoadByte(SimTime now);

  Eeprom24Cxx& eeprom_;
  Mode mode_ = Mode::Idle;
  bool scl_ = true;  // line levels as last seen
  bool sda_ = true;
  bool sdaOut_ = true;
  unsigned bits_ = 0;
  uint8_t shift_ = 0;
  bool firstByte_ = false;  // the next byte is a control byte
  bool acked_ = false;      // the part accepted the byte just received
  bool reading_ = false;    // the control byte asked for a read
  bool masterAck_ = false;
};

}  // namespace vexilo::sim
