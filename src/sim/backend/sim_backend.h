#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "port/backend.h"
#include "port/virtual_clock.h"
#include "sim/adapter/adapter.h"
#include "sim/adapter/uart16550.h"
#include "sim/backend/sim_comm.h"
#include "sim/card/faults.h"
#include "sim/card/sim_card.h"

namespace vexilo::sim {

// What one IN or OUT instruction on an ISA-bus UART costs: about a microsecond.
constexpr SimTime kIoAccessNs = 1000;

// The standard COM1 .. COM4 base addresses.
constexpr std::array<uint16_t, 4> kComBases{0x3F8, 0x2F8, 0x3E8, 0x2E8};

struct SimOptions {
  CardType card = CardType::FunCard;
  uint32_t eepromBytes = 0;                 // 24Cxx size; 0 = the card's default
  int comIndex = 0;                         // the adapter's port: 0 .. 3 = COM1 .. COM4
  AdapterMode mode = AdapterMode::Phoenix;  // the adapter's mode at power-up
  SimFaults faults;
  PhoenixModel phoenix = PhoenixModel::Behavioural;  // what runs the card's firmware
  SimTime ioAccessNs = kIoAccessNs;                  // simulated time per port access
  SimTime yieldNs = 1000;                            // simulated time per Sleep(0)
};

// The machine's I/O ports as the simulated PC has them: the adapter's UART at its COM base,
// nothing at the other addresses (they read 0xFF and ignore writes). Every access advances the
// clock by the access time.
class SimIo final : public port::PortIo {
 public:
  SimIo(port::VirtualClock& clock, Uart16550& uart, uint16_t base, SimTime accessNs)
      : clock_(clock), uart_(uart), base_(base), accessNs_(accessNs) {}

  uint8_t In(uint16_t port) override;
  void Out(uint16_t port, uint8_t value) override;

  uint64_t Accesses() const { return accesses_; }

 private:
  port::VirtualClock& clock_;
  Uart16550& uart_;
  uint16_t base_;
  SimTime accessNs_;
  uint64_t accesses_ = 0;
};

// Port permission on the simulated machine is always granted.
class SimPermission final : public port::IoPermission {
 public:
  bool EnablePortRange(uint16_t) override { return true; }
  bool DisablePortRange(uint16_t) override { return true; }
};

// The `sim` port backend: a PC with one 16550 at the chosen COM base, the card adapter on it
// and a simulated card in the adapter. The COM devices are named "/dev/ttyS0" .. "/dev/ttyS3"
// for COM1 .. COM4 (names only: nothing on the real file system is touched); only the
// adapter's own port opens.
class SimBackend final : public port::PortBackend {
 public:
  // Builds the card from `options` with the simulated chip models.
  explicit SimBackend(const SimOptions& options = {});
  // Uses `card` as it is (the chip and Phoenix faults of `options` are then the card's
  // business; no-card and no-echo still apply).
  SimBackend(const SimOptions& options, std::unique_ptr<SimCard> card);
  ~SimBackend() override;
  SimBackend(const SimBackend&) = delete;
  SimBackend& operator=(const SimBackend&) = delete;

  port::PortIo& Io() override { return io_; }
  port::CommPort& Comm() override { return comm_; }
  port::IoPermission& Permission() override { return permission_; }
  port::Clock& Time() override { return clock_; }
  port::SessionMode Mode() const override { return port::SessionMode::Direct; }
  std::string SystemLine() const override { return port::kLinuxSystemLine; }
  std::string DeviceForCom(int index) const override;

  port::VirtualClock& VirtualTime() { return clock_; }
  Adapter& CardAdapter() { return adapter_; }
  Uart16550& Uart() { return uart_; }
  SimCard& Card() { return *card_; }
  uint16_t Base() const { return base_; }
  uint64_t PortAccesses() const { return io_.Accesses(); }

  void SetModeByHand(AdapterMode mode) { adapter_.SetModeByHand(mode, clock_.NowNs()); }
  // Takes the card out of the adapter or puts it back.
  void SetCardInserted(bool inserted);

 private:
  port::VirtualClock clock_;
  Adapter adapter_;
  Uart16550 uart_;
  std::unique_ptr<SimCard> card_;
  uint16_t base_;
  SimIo io_;
  SimComm comm_;
  SimPermission permission_;
};

}  // namespace vexilo::sim
