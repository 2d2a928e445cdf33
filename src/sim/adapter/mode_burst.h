#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "sim/sim_time.h"

namespace vexilo::sim {

// The three interfaces of the two-mode-switching adapter.
enum class AdapterMode { Phoenix, Avr, Pic };

std::string AdapterModeName(AdapterMode mode);  // "phoenix", "avr", "pic"

// Recognises the adapter's mode-switch groups in the characters it hears: 0x97, 0x25, then N
// times 0x8B (N = 30 Phoenix, 40 AVR, 50 PIC). A group counts once it is complete: ended by a
// character other than 0x8B, by a pause longer than kGroupGap, or by the device being closed.
// A group with any other count, a stray byte inside it or a pause within it switches nothing.
class ModeBurstDetector {
 public:
  // Longer than a few character times at 9600 baud, shorter than the 50 ms between groups.
  static constexpr SimTime kGroupGap = 10 * kMs;

  // One character heard at `now`; returns the mode of a group this character completed.
  std::optional<AdapterMode> Hear(uint8_t value, SimTime now);
  // Nothing more comes (the device was closed, or a pause): returns the mode of a group that
  // had all its bytes.
  std::optional<AdapterMode> End();

 private:
  enum class State { Idle, Got97, Counting };
  State state_ = State::Idle;
  unsigned count_ = 0;
  std::optional<SimTime> last_;
};

}  // namespace vexilo::sim
