#pragma once
#include <cstdint>
#include <deque>
#include <optional>

#include "sim/sim_time.h"

namespace vexilo::sim {

// The card's clock on the Phoenix reader and the character timing on the IO line
// (ISO 7816-3: etu = 372 / f; a character is a start bit, 8 data bits and even parity, 10 etu,
// followed by at least 2 etu of guard time, so characters from the card start 12 etu apart).
constexpr double kCardClockHz = 3.579545e6;
constexpr SimTime kEtu = SimTime(372.0 * 1e9 / kCardClockHz + 0.5);  // about 103.9 us
constexpr SimTime kCardCharacter = 12 * kEtu;                        // about 1.25 ms

// Characters the card has put or will put on the IO line, each complete at a known time.
class CardTransmitter {
 public:
  // The card stops sending (its output stays idle) once it has sent this many characters.
  explicit CardTransmitter(std::optional<uint32_t> silentAfter = std::nullopt)
      : silentAfter_(silentAfter) {}

  // Queues `value` to start no earlier than `earliest` and after the character before it;
  // returns the time its frame (guard time included) is over.
  SimTime Send(uint8_t value, SimTime earliest);

  // The next character complete by `now`, if any.
  std::optional<uint8_t> Collect(SimTime now) {
    if (queue_.empty() || queue_.front().end > now) return std::nullopt;
    const uint8_t value = queue_.front().value;
    queue_.pop_front();
    return value;
  }

  // The card is reset: what it had not finished sending by `now` never reaches the line.
  void Abort(SimTime now);

  // When the card's last queued character is over (the IO line is the card's until then).
  SimTime BusyUntil() const { return lineFree_; }

 private:
  struct Char {
    uint8_t value;
    SimTime end;
  };
  std::deque<Char> queue_;
  SimTime lineFree_ = 0;
  uint32_t sent_ = 0;
  std::optional<uint32_t> silentAfter_;
};

}  // namespace vexilo::sim
