#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "avr/avr_operations.h"
#include "port/backend.h"
#include "port/port_session.h"
#include "port/virtual_clock.h"
#include "sim/backend/sim_backend.h"
#include "support/recording_operator.h"

namespace vexilo::avr::testing {

using RecordingOperator = test::RecordingOperator;

// 16550 registers the AVR link uses, at COM1.
// Every AVR chip of the card types.
constexpr AvrChip kChips[] = {AvrChip::AT90S8515, AvrChip::ATmega8515, AvrChip::ATmega163,
                              AvrChip::ATmega128};

constexpr uint16_t kMcr = 0x3F8 + 4;
constexpr uint16_t kLcr = 0x3F8 + 3;
constexpr uint16_t kMsr = 0x3F8 + 6;
constexpr uint8_t kMcrDtr = 0x01;
constexpr uint8_t kMcrRts = 0x02;
constexpr uint8_t kLcrBreak = 0x40;
constexpr uint8_t kMsrCts = 0x10;

// A byte-level stand-in for the chip on the COM1 lines: it takes MOSI on each rising SCK
// edge and answers on MISO with the bytes `reply` gives, most significant bit first.
class SpiFakeIo final : public port::PortIo {
 public:
  // Called before the first bit of each byte with the bytes received so far.
  std::function<uint8_t(const std::vector<uint8_t>&)> reply;

  uint8_t In(uint16_t port) override {
    if (port != kMsr) return 0;
    return misoBit_ ? kMsrCts : 0;
  }
  void Out(uint16_t port, uint8_t value) override {
    if (port == kLcr) {
      resetOn = (value & kLcrBreak) != 0;
      return;
    }
    if (port != kMcr) return;
    const bool sck = (value & kMcrRts) != 0;
    const bool mosi = (value & kMcrDtr) != 0;
    if (sck && !sck_) RisingEdge(mosi);
    sck_ = sck;
  }

  std::vector<uint8_t> received;
  std::vector<bool> mosiOnRisingEdges;
  bool resetOn = false;

 private:
  void RisingEdge(bool mosi) {
    if (bit_ == 0) replyByte_ = reply ? reply(received) : 0;
    misoBit_ = (replyByte_ >> (7 - bit_) & 1) != 0;
    mosiOnRisingEdges.push_back(mosi);
    shift_ = static_cast<uint8_t>(shift_ << 1 | (mosi ? 1 : 0));
    if (++bit_ == 8) {
      received.push_back(shift_);
      bit_ = 0;
    }
  }

  bool sck_ = false;
  bool misoBit_ = false;
  int bit_ = 0;
  uint8_t shift_ = 0;
  uint8_t replyByte_ = 0;
};

class NullComm final : public port::CommPort {
 public:
  bool CommConnect() override { return true; }
  void CommDisconnect() override {}
  bool CommConnected() const override { return false; }
  void CommSetPortName(const std::string&) override {}
  std::string PortName() const override { return {}; }
  bool CommSendByte(uint8_t) override { return false; }
};

class GrantAll final : public port::IoPermission {
 public:
  bool EnablePortRange(uint16_t) override { return true; }
  bool DisablePortRange(uint16_t) override { return true; }
};

class FakeBackend final : public port::PortBackend {
 public:
  port::PortIo& Io() override { return io; }
  port::CommPort& Comm() override { return comm; }
  port::IoPermission& Permission() override { return permission; }
  port::Clock& Time() override { return clock; }
  port::SessionMode Mode() const override { return port::SessionMode::Direct; }
  std::string SystemLine() const override { return "System : Test"; }
  std::string DeviceForCom(int) const override { return "/dev/null"; }
  bool BeginSession(uint16_t) override { return usable; }

  SpiFakeIo io;
  NullComm comm;
  GrantAll permission;
  port::VirtualClock clock{1000};
  bool usable = true;
};

// A port session with an operator and error flag over some backend.
struct Bench {
  explicit Bench(port::PortBackend& backend, int avrClk = 0)
      : session(backend, op, [avrClk] {
          port::SessionSettings settings;
          settings.avrClk = avrClk;
          return settings;
        }) {}

  AvrContext Context() { return {session, op, errorFlag}; }

  RecordingOperator op;
  port::PortSession session;
  uint8_t errorFlag = 0;
};

// The fake chip with an open session.
struct FakeRig {
  explicit FakeRig(int avrClk = 0) : bench(backend, avrClk) { bench.session.OpenPort("avr/pic"); }
  AvrContext Context() { return bench.Context(); }

  FakeBackend backend;
  Bench bench;
};

sim::CardType CardFor(AvrChip chip);

// A simulated card of `chip` in an adapter switched to AVR mode, with an open session.
struct SimRig {
  explicit SimRig(AvrChip chip, const sim::SimFaults& faults = {});
  AvrContext Context() { return bench.Context(); }
  // Programming mode, as the command sequences enter it.
  bool SpiOn();
  std::span<uint8_t> Region(const std::string& name);

  std::unique_ptr<sim::SimBackend> backend;
  Bench bench;
};

// The blank image of a chip's memory.
image::MemoryImage BlankFlash(AvrChip chip);
image::MemoryImage BlankEeprom(AvrChip chip);

}  // namespace vexilo::avr::testing
