// The AVR cards' chip on simavr. simavr has no AT90S8515, ATmega8515 or ATmega163 core; its
// ATmega16 stands in for all three: the loaders use only what the four share (ports B and C,
// SREG, the stack pointer, 512 bytes of SRAM from 0x60), and it runs the AT90S8515's
// instruction set unchanged.
#include <simavr/avr_eeprom.h>
#include <simavr/sim_avr.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "chip_core.h"

namespace vexilo::isacard {
namespace {

constexpr uint32_t kCardClockHz = 3579545;

// Data-space addresses of PINx, DDRx, PORTx on the ATmega16 (I/O address + 0x20).
struct PortRegs {
  uint16_t pin, ddr, port;
};
PortRegs RegsOf(char port) {
  switch (port) {
    case 'A':
      return {0x39, 0x3A, 0x3B};
    case 'B':
      return {0x36, 0x37, 0x38};
    case 'C':
      return {0x33, 0x34, 0x35};
    case 'D':
      return {0x30, 0x31, 0x32};
  }
  throw std::invalid_argument(std::string("the ATmega16 has no port ") + port);
}

class AvrCore final : public ChipCore {
 public:
  AvrCore(const std::string& mcu, const PinName pins[3]) {
    avr_ = avr_make_mcu_by_name(mcu.c_str());
    if (!avr_) throw std::invalid_argument("simavr has no core " + mcu);
    avr_init(avr_);
    avr_->frequency = kCardClockHz;
    avr_->log = 0;
    for (int i = 0; i < 3; ++i) {
      regs_[i] = RegsOf(pins[i].port);
      mask_[i] = uint8_t(1u << pins[i].bit);
    }
  }

  uint32_t ClocksPerCycle() const override { return 1; }

  void Start(const std::vector<uint8_t>& program, const std::vector<uint8_t>& eeprom,
             uint32_t) override {
    const size_t flashBytes = avr_->flashend + 1;
    std::memset(avr_->flash, 0xFF, flashBytes);
    std::memcpy(avr_->flash, program.data(), std::min(program.size(), flashBytes));
    if (!eeprom.empty()) {
      std::vector<uint8_t> copy = eeprom;
      avr_eeprom_desc_t desc{copy.data(), 0,
                             uint32_t(std::min<size_t>(copy.size(), avr_->e2end + 1))};
      avr_ioctl(avr_, AVR_IOCTL_EEPROM_SET, &desc);
    }
    avr_reset(avr_);
    avr_->state = cpu_Running;
    start_ = avr_->cycle;
    running_ = true;
    snapValid_ = false;
  }

  void Stop() override { running_ = false; }

  bool Running() const override {
    return running_ && avr_->state != cpu_Crashed && avr_->state != cpu_Done;
  }

  uint64_t Cycle() const override { return avr_->cycle - start_; }

  void Step() override {
    avr_run(avr_);
    Reassert();
    ++steps_;
  }

  // A loop is idle when the whole machine state (registers, I/O, SRAM, SREG, PC) comes back
  // unchanged at the same program counter with nothing changed outside: from then on each turn
  // is the same as the last until an input changes. The state is photographed now and then;
  // a turn back to its program counter is compared with it.
  void SkipIdle(uint64_t limit) override {
    const size_t bytes = size_t(avr_->ramend) + 1;
    if (!snapValid_ || steps_ - snapStep_ > kSnapEvery) {
      TakeSnapshot(bytes);
      return;
    }
    if (avr_->pc != snapPc_ || outside_ != snapOutside_) return;
    if (std::memcmp(avr_->sreg, snapSreg_, sizeof snapSreg_) != 0 ||
        std::memcmp(avr_->data, snap_.data(), bytes) != 0) {
      return;
    }
    const uint64_t period = avr_->cycle - snapCycle_;
    const uint64_t now = Cycle();
    if (period != 0 && limit > now) avr_->cycle += (limit - now) / period * period;
    snapCycle_ = avr_->cycle;
  }

  uint8_t Drive() const override {
    uint8_t drive = 0;
    for (int i = 0; i < 3; ++i) {
      const bool low =
          (avr_->data[regs_[i].ddr] & mask_[i]) && !(avr_->data[regs_[i].port] & mask_[i]);
      if (!low) drive |= uint8_t(1u << i);
    }
    return drive;
  }

  void SetOutside(uint8_t levels) override {
    outside_ = levels;
    Reassert();
  }

 private:
  static constexpr uint64_t kSnapEvery = 512;

  void TakeSnapshot(size_t bytes) {
    snap_.assign(avr_->data, avr_->data + bytes);
    std::memcpy(snapSreg_, avr_->sreg, sizeof snapSreg_);
    snapPc_ = avr_->pc;
    snapCycle_ = avr_->cycle;
    snapStep_ = steps_;
    snapOutside_ = outside_;
    snapValid_ = true;
  }

  // The pin register bits of the three contacts hold the outside's levels; simavr rewrites
  // them when the program writes the port, so they are set again after every instruction.
  void Reassert() {
    for (int i = 0; i < 3; ++i) {
      uint8_t& pin = avr_->data[regs_[i].pin];
      pin = (outside_ & (1u << i)) ? uint8_t(pin | mask_[i]) : uint8_t(pin & ~mask_[i]);
    }
  }

  avr_t* avr_ = nullptr;
  PortRegs regs_[3]{};
  uint8_t mask_[3]{};
  uint8_t outside_ = 0x07;
  uint64_t start_ = 0;
  bool running_ = false;
  uint64_t steps_ = 0;
  std::vector<uint8_t> snap_;
  uint8_t snapSreg_[8]{};
  uint32_t snapPc_ = 0;
  uint64_t snapCycle_ = 0;
  uint64_t snapStep_ = 0;
  uint8_t snapOutside_ = 0;
  bool snapValid_ = false;
};

}  // namespace

std::unique_ptr<ChipCore> MakeAvrCore(const std::string& mcu, const PinName pins[3]) {
  return std::make_unique<AvrCore>(mcu, pins);
}

}  // namespace vexilo::isacard
