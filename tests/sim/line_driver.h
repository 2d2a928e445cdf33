#pragma once
#include <cstdint>

#include "sim/backend/sim_backend.h"

namespace vexilo::sim::testing {

// Drives the adapter lines the way a port session does: shadow copies of MCR and LCR, one
// register write per line change, CTS read live, a clock delay of `delay` time-slice yields.
class LineDriver {
 public:
  explicit LineDriver(SimBackend& backend, unsigned delay = 1)
      : backend_(backend), base_(backend.Base()), delay_(delay) {}

  void Open() {
    Out(kIerDlm, 0);
    Out(kLcr, 0x9F);
    Out(kRbrThrDll, 12);
    Out(kIerDlm, 0);
    Out(kLcr, 0x1F);
    Out(kIirFcr, 0xC7);
    Out(kMcr, 0);
    lcr_ = 0x1F;
    mcr_ = 0;
  }
  void SetDtr(bool on) { SetBit(mcr_, 0x01, on, kMcr); }
  void SetRts(bool on) { SetBit(mcr_, 0x02, on, kMcr); }
  void SetBreak(bool on) { SetBit(lcr_, 0x40, on, kLcr); }
  bool Cts() { return (backend_.Io().In(base_ + kMsr) & kMsrCts) != 0; }
  void Delay() {
    for (unsigned i = 0; i < delay_; ++i) backend_.Time().Yield();
  }
  void SleepMs(unsigned ms) { backend_.Time().SleepMs(ms); }

  // AVR: one SPI byte, MOSI set while SCK is low, MISO sampled while SCK is high.
  uint8_t SpiByte(uint8_t value) {
    uint8_t result = 0;
    for (int i = 0; i < 8; ++i) {
      result = uint8_t(result << 1);
      SetDtr((value & 0x80) != 0);
      Delay();
      value = uint8_t(value << 1);
      SetRts(true);
      Delay();
      if (Cts()) result |= 1;
      SetRts(false);
      Delay();
    }
    Delay();
    return result;
  }

  // PIC: one clocked bit, the chip latching it on the falling edge.
  void PicBit(bool bit) {
    SetRts(true);
    Delay();
    SetDtr(bit);
    Delay();
    SetRts(false);
    Delay();
  }
  void PicCommand(uint8_t code) {
    for (int i = 0; i < 6; ++i) PicBit(((code >> i) & 1) != 0);
  }
  void PicWrite(uint16_t word) {
    PicBit(false);
    for (int i = 0; i < 14; ++i) PicBit(((word >> i) & 1) != 0);
    PicBit(false);
  }
  uint16_t PicRead() {
    PicBit(true);
    uint16_t word = 0;
    for (int i = 0; i < 14; ++i) {
      PicBit(true);
      if (Cts()) word = uint16_t(word | (1u << i));
    }
    PicBit(true);
    return word;
  }
  void SetMclr(bool on) {
    SetRts(false);
    SetDtr(false);
    SetBreak(on);
    SleepMs(200);
  }

 private:
  void Out(unsigned offset, uint8_t value) { backend_.Io().Out(base_ + offset, value); }
  void SetBit(uint8_t& shadow, uint8_t bit, bool on, unsigned offset) {
    shadow = on ? uint8_t(shadow | bit) : uint8_t(shadow & ~bit);
    Out(offset, shadow);
  }

  SimBackend& backend_;
  uint16_t base_;
  unsigned delay_;
  uint8_t mcr_ = 0;
  uint8_t lcr_ = 0x1F;
};

}  // namespace vexilo::sim::testing
