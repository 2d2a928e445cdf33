#pragma once
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "sim/card/chip.h"
#include "sim/card/phoenix_card.h"
#include "sim/sim_time.h"

namespace vexilo::sim::testing {

// A chip that is nothing but its program memory.
class FakeChip : public SerialProgrammedChip {
 public:
  explicit FakeChip(std::vector<uint8_t> program = std::vector<uint8_t>(8192, 0xFF))
      : program_(std::move(program)) {}
  void SetPins(bool, bool, bool, SimTime) override {}
  bool DataOut(SimTime) override { return false; }
  std::span<const uint8_t> ProgramMemory() const override { return program_; }
  std::vector<MemoryRegion> Regions() override { return {{"flash", program_}}; }
  std::string Name() const override { return "fake"; }

  std::vector<uint8_t> program_;
};

struct Heard {
  uint8_t value;
  SimTime at;  // the first poll that returned it
};

// The reader's side of the IO line: a 9600 baud 8E2 UART (12 bits a character) polled often.
class Reader {
 public:
  static constexpr SimTime kPoll = 1 * kUs;
  static constexpr SimTime kReaderChar = 12 * 104167;

  explicit Reader(PhoenixCard& card) : card_(card) {}

  // RTS on for 100 ms, then off: the card starts from reset.
  void Reset() {
    card_.SetReset(true, now);
    now += 100 * kMs;
    card_.SetReset(false, now);
  }

  // Everything the card sends until it has been quiet for `quiet`.
  std::vector<Heard> Listen(SimTime quiet = 250 * kMs) {
    std::vector<Heard> heard;
    for (SimTime last = now; now - last < quiet; now += kPoll) {
      if (auto value = card_.TransmitToReader(now)) {
        heard.push_back({*value, now});
        last = now;
      }
    }
    return heard;
  }

  void Send(std::initializer_list<uint8_t> bytes) { Send(std::span(bytes.begin(), bytes.size())); }
  void Send(std::span<const uint8_t> bytes) {
    for (uint8_t value : bytes) {
      now += kReaderChar;
      card_.ReceiveFromReader(value, now);
    }
  }

  // The values of everything heard.
  // The quiet time covers a write block: sixteen bytes, each with a 10 ms write cycle.
  std::vector<uint8_t> Answer(SimTime quiet = 250 * kMs) {
    std::vector<uint8_t> values;
    for (const auto& h : Listen(quiet)) values.push_back(h.value);
    return values;
  }

  SimTime now = 0;

 private:
  PhoenixCard& card_;
};

inline std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> list) { return list; }

}  // namespace vexilo::sim::testing
