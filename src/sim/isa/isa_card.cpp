#include "sim/isa/isa_card.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vexilo::sim {

namespace {

// One bit at 9600 baud from the PC's 1.8432 MHz UART clock (divisor 12).
constexpr double kBitNs = 16.0 * 12 * 1e9 / 1843200.0;
// The reader's character: start bit, 8 data bits, even parity, 2 stop bits.
constexpr unsigned kReaderFrameBits = 12;
constexpr SimTime kIsaLag = SimTime((kReaderFrameBits + 1) * kBitNs);
// The least the chip is run for at a time: the reader polls its UART every microsecond or so
// while it waits for the card, and each run is a round trip to the helper.
constexpr SimTime kIsaQuantum = 1 * kMs;

std::span<uint8_t> RegionOf(SerialProgrammedChip& chip, std::string_view name) {
  for (auto& region : chip.Regions()) {
    if (region.name == name) return region.bytes;
  }
  return {};
}

}  // namespace

IsaCard::IsaCard(SerialProgrammedChip& chip, uint32_t eepromBytes, const IsaWiring& wiring)
    : chip_(chip), eeprom_(eepromBytes), pins_(eeprom_), trace_(std::getenv("VEXILO_ISA_TRACE")) {
  helper_ = std::make_unique<isa::HelperProcess>(
      isa::FindHelperProgram(),
      std::vector<std::string>{std::string(wiring.core), std::string(wiring.io),
                               std::string(wiring.sda), std::string(wiring.scl)});
  quantum_ = std::max<uint64_t>(
      1, kIsaQuantum * helper_->ClockHz() / (1000000000ull * helper_->ClocksPerCycle()));
}

IsaCard::~IsaCard() = default;

uint64_t IsaCard::CycleAt(SimTime t) const {
  if (t <= released_) return 0;
  const unsigned __int128 clocks = (unsigned __int128)(t - released_) * helper_->ClockHz();
  return uint64_t(clocks / (1000000000ull * helper_->ClocksPerCycle()));
}

SimTime IsaCard::TimeOf(uint64_t cycle) const {
  const unsigned __int128 ns = (unsigned __int128)cycle * helper_->ClocksPerCycle() * 1000000000ull;
  return released_ + SimTime((ns + helper_->ClockHz() - 1) / helper_->ClockHz());
}

void IsaCard::SetReset(bool active, SimTime now) {
  if (active == inReset_) return;
  inReset_ = active;
  if (active) {
    helper_->Hold();
    // The chip lets go of its pins: the bus sees SCL and then SDA rise.
    pins_.Master((drive_ >> isa::kPinSda) & 1, true, now);
    pins_.Master(true, true, now);
    drive_ = isa::kAllReleased;
    script_.clear();
    frameStart_.reset();
    ioLevel_ = true;
    while (!toReader_.empty() && toReader_.back().complete > now) toReader_.pop_back();
    return;
  }
  released_ = now;
  cycle_ = 0;
  const std::optional<uint16_t> config = chip_.ConfigurationWord();
  helper_->Program(RegionOf(chip_, "flash"), RegionOf(chip_, "eeprom"),
                   config ? *config : isa::kNoConfig);
  helper_->Input(0, isa::kPinIo, true);
  helper_->Input(0, isa::kPinSda, pins_.Sda());
  helper_->Input(0, isa::kPinScl, true);
  helper_->Go();
  helperSda_ = pins_.Sda();
  SendScript();
}

void IsaCard::ReceiveFromReader(uint8_t value, SimTime now) {
  if (inReset_) return;
  if (trace_) std::fprintf(stderr, "isa %10.3f ms reader -> %02X\n", now / 1e6, value);
  RunUntil(now > kIsaLag ? now - kIsaLag : 0);
  // The character's bits on the line, from its start bit to its first stop bit.
  const double start = double(now) - kReaderFrameBits * kBitNs;
  unsigned parity = 0;
  bool level = true;
  for (unsigned bit = 0; bit < 11; ++bit) {
    bool next = true;
    if (bit == 0) {
      next = false;
    } else if (bit <= 8) {
      next = (value >> (bit - 1)) & 1;
      parity ^= next ? 1 : 0;
    } else if (bit == 9) {
      next = parity != 0;  // even parity
    }
    if (next == level) continue;
    level = next;
    const SimTime at = SimTime(std::max(start + bit * kBitNs, 0.0));
    helper_->Input(std::max(CycleAt(at), cycle_), isa::kPinIo, level);
  }
}

std::optional<uint8_t> IsaCard::TransmitToReader(SimTime now) {
  RunUntil(now > kIsaLag ? now - kIsaLag : 0);
  if (toReader_.empty() || toReader_.front().complete > now) return std::nullopt;
  const uint8_t value = toReader_.front().value;
  toReader_.pop_front();
  return value;
}

void IsaCard::RunUntil(SimTime t) {
  if (inReset_) return;
  const uint64_t target = CycleAt(t);
  // Each visit to the helper costs a round trip: the chip is not run for less than a quantum.
  if (target < cycle_ + quantum_) return;
  helper_->Run(target);
  for (;;) {
    const isa::HelperProcess::Event e = helper_->Next();
    if (e.kind == isa::HelperProcess::Event::kReached) {
      cycle_ = std::max(e.cycle, target);  // a chip that does not run answers at once
      ReadLine(TimeOf(cycle_));
      return;
    }
    cycle_ = e.cycle;
    ChipEdge(e.cycle, e.drive, e.kind == isa::HelperProcess::Event::kEdge);
    if (e.kind == isa::HelperProcess::Event::kEdge) helper_->Run(target);
  }
}

void IsaCard::SendScript() {
  const EepromPins::Script script = pins_.Ahead();
  script_.assign(script.levels.begin(), script.levels.end());
  helper_->SdaScript(script.levels, script.holdAfter);
}

void IsaCard::ChipEdge(uint64_t cycle, uint8_t drive, bool stopped) {
  const SimTime t = TimeOf(cycle);
  const uint8_t before = drive_;
  const uint8_t changed = drive ^ drive_;
  drive_ = drive;
  if (changed & (1u << isa::kPinIo)) {
    ReadLine(t);
    ioLevel_ = (drive & (1u << isa::kPinIo)) != 0;
    if (!ioLevel_ && !frameStart_) {
      frameStart_ = t;
      samples_ = 0;
      frame_ = 0;
    }
  }
  if (changed & ((1u << isa::kPinSda) | (1u << isa::kPinScl))) {
    // What the helper did to SDA by the script at a fall it went on from.
    if (!stopped && isa::SclFalls(before, drive) && !script_.empty()) {
      helperSda_ = script_.front();
      script_.pop_front();
    }
    const bool sda = pins_.Master((drive >> isa::kPinSda) & 1, (drive >> isa::kPinScl) & 1, t);
    if (sda != helperSda_) {
      helperSda_ = sda;
      helper_->Input(cycle, isa::kPinSda, sda);
    }
    if (stopped) SendScript();
  }
}

void IsaCard::ReadLine(SimTime t) {
  // The reader's UART samples each bit in its middle; the character is complete in the middle
  // of its stop bit.
  while (frameStart_) {
    const SimTime sample = *frameStart_ + SimTime((samples_ + 0.5) * kBitNs);
    if (sample > t) return;
    if (samples_ >= 1 && samples_ <= 8 && ioLevel_) frame_ |= uint16_t(1u << (samples_ - 1));
    if (++samples_ == 11) {
      toReader_.push_back({uint8_t(frame_), sample});
      if (trace_) std::fprintf(stderr, "isa %10.3f ms card -> %02X\n", sample / 1e6, frame_ & 0xFF);
      frameStart_.reset();
    }
  }
}

}  // namespace vexilo::sim
