#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/adapter/uart16550.h"
#include "sim/card/chip.h"
#include "sim/card/phoenix_card.h"
#include "sim/card/sim_card.h"

namespace vexilo::sim::testing {

// A chip that records the pin levels it is given and drives DataOut from `dataOut`.
class FakeChip final : public SerialProgrammedChip {
 public:
  struct Pins {
    bool control, clock, data;
    SimTime at;
  };
  explicit FakeChip(size_t flashBytes = 64, size_t eepromBytes = 16)
      : flash(flashBytes, 0xFF), eeprom(eepromBytes, 0xFF) {}

  void SetPins(bool control, bool clock, bool data, SimTime now) override {
    pins.push_back({control, clock, data, now});
  }
  bool DataOut(SimTime) override {
    ++dataOutCalls;
    return dataOut;
  }
  std::span<const uint8_t> ProgramMemory() const override { return flash; }
  std::vector<MemoryRegion> Regions() override {
    return {{"flash", flash}, {"eeprom", eeprom}, {"fuses", fuses}};
  }
  std::string Name() const override { return "fake"; }

  std::vector<Pins> pins;
  bool dataOut = false;
  int dataOutCalls = 0;
  std::vector<uint8_t> flash, eeprom;
  std::vector<uint8_t> fuses = std::vector<uint8_t>(3, 0xFF);
};

// A Phoenix card that records what it hears and sends queued characters one 9600 8E2
// character time apart.
class FakePhoenixCard final : public PhoenixCard {
 public:
  static constexpr SimTime kCharNs = 1250 * kUs;

  explicit FakePhoenixCard(size_t eepromBytes = 2048) : eeprom(eepromBytes, 0xFF) {}

  void SetReset(bool active, SimTime now) override { resets.push_back({active, now}); }
  void ReceiveFromReader(uint8_t value, SimTime now) override { heard.push_back({value, now}); }
  std::optional<uint8_t> TransmitToReader(SimTime now) override {
    if (outgoing.empty() || outgoing.front().second > now) return std::nullopt;
    const uint8_t value = outgoing.front().first;
    outgoing.pop_front();
    return value;
  }
  std::vector<MemoryRegion> Regions() override { return {{"24cxx", eeprom}}; }

  // Queues `bytes`, the first complete at `firstAt`.
  void Send(const std::vector<uint8_t>& bytes, SimTime firstAt) {
    for (size_t i = 0; i < bytes.size(); ++i) outgoing.push_back({bytes[i], firstAt + i * kCharNs});
  }

  std::vector<std::pair<bool, SimTime>> resets;
  std::vector<std::pair<uint8_t, SimTime>> heard;
  std::deque<std::pair<uint8_t, SimTime>> outgoing;
  std::vector<uint8_t> eeprom;
};

// A card made of the two fakes, with pointers kept for the test to look at.
struct FakeCard {
  FakeChip* chip;
  FakePhoenixCard* phoenix;
  std::unique_ptr<SimCard> card;
};

inline FakeCard MakeFakeCard(CardType type = CardType::FunCard, uint32_t eepromBytes = 2048,
                             bool withPhoenix = true) {
  auto chip = std::make_unique<FakeChip>();
  std::unique_ptr<FakePhoenixCard> phoenix;
  if (withPhoenix) phoenix = std::make_unique<FakePhoenixCard>(eepromBytes);
  FakeCard fake{chip.get(), phoenix.get(), nullptr};
  fake.card = std::make_unique<SimCard>(type, withPhoenix ? eepromBytes : 0, std::move(chip),
                                        std::move(phoenix));
  return fake;
}

// Wiring that records what the UART does and feeds it characters.
class FakeWiring final : public UartWiring {
 public:
  void OutputsChanged(uint8_t value, SimTime now) override { lines.push_back({value, now}); }
  bool CtsAsserted(SimTime) override { return cts; }
  void CharacterSent(uint8_t value, const CharFormat&, SimTime end) override {
    sent.push_back({value, end});
  }
  std::optional<ReceivedChar> CharacterReceived(const CharFormat&, SimTime now) override {
    if (incoming.empty() || incoming.front().second > now) return std::nullopt;
    const ReceivedChar c = incoming.front().first;
    incoming.pop_front();
    return c;
  }

  std::vector<std::pair<uint8_t, SimTime>> lines;
  std::vector<std::pair<uint8_t, SimTime>> sent;
  std::deque<std::pair<ReceivedChar, SimTime>> incoming;
  bool cts = false;
};

}  // namespace vexilo::sim::testing
