#pragma once
#include <array>
#include <cstdint>

#include "sim/card/chip.h"

namespace vexilo::sim::testing {

// A minimal ISP programmer for the tests: one SetPins call per line change, 1 us per phase,
// MOSI set while SCK is low, MISO sampled while SCK is high.
class AvrBitBang {
 public:
  explicit AvrBitBang(SerialProgrammedChip& chip) : chip_(chip) { Apply(); }

  void SetReset(bool level) {
    reset_ = level;
    Step();
  }
  void SetClock(bool level) {
    clock_ = level;
    Step();
  }
  // RESET high, then low again, with SCK low.
  void ResetPulse() {
    SetReset(true);
    Wait(kUs * 100);
    SetReset(false);
    Wait(kUs * 100);
  }
  void ClockPulse() {
    SetClock(true);
    SetClock(false);
  }

  uint8_t Byte(uint8_t value) {
    uint8_t in = 0;
    for (int i = 7; i >= 0; --i) {
      mosi_ = ((value >> i) & 1) != 0;
      Step();
      SetClock(true);
      in = static_cast<uint8_t>((in << 1) | (chip_.DataOut(now_) ? 1 : 0));
      SetClock(false);
    }
    return in;
  }
  // The four bytes returned while sending `bytes`.
  std::array<uint8_t, 4> Instruction(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return {Byte(b0), Byte(b1), Byte(b2), Byte(b3)};
  }
  // RESET low (SCK low), then Programming Enable; the echo of the third byte.
  uint8_t Enter() {
    SetClock(false);
    SetReset(false);
    Wait(20 * kMs);
    return Enable();
  }
  uint8_t Enable() { return Instruction(0xAC, 0x53, 0x00, 0x00)[2]; }
  void Leave() { SetReset(true); }

  uint8_t ReadFlash(uint32_t word, bool high) {
    return Instruction(high ? 0x28 : 0x20, Hi(word), Lo(word), 0)[3];
  }
  uint16_t ReadWord(uint32_t word) {
    return static_cast<uint16_t>(ReadFlash(word, false) | (ReadFlash(word, true) << 8));
  }
  void WriteFlashByte(uint32_t word, bool high, uint8_t value) {
    Instruction(high ? 0x48 : 0x40, Hi(word), Lo(word), value);
  }
  void LoadWord(uint32_t word, uint16_t value) {
    Instruction(0x40, Hi(word), Lo(word), static_cast<uint8_t>(value));
    Instruction(0x48, Hi(word), Lo(word), static_cast<uint8_t>(value >> 8));
  }
  void WritePage(uint32_t word) { Instruction(0x4C, Hi(word), Lo(word), 0xFF); }
  uint8_t ReadEeprom(uint32_t address) { return Instruction(0xA0, Hi(address), Lo(address), 0)[3]; }
  void WriteEeprom(uint32_t address, uint8_t value) {
    Instruction(0xC0, Hi(address), Lo(address), value);
  }
  uint8_t Signature(uint8_t index) { return Instruction(0x30, 0, index, 0)[3]; }
  void ChipErase() { Instruction(0xAC, 0x80, 0, 0); }
  uint8_t Poll() { return Instruction(0xF0, 0, 0, 0)[3]; }

  void Wait(SimTime time) {
    now_ += time;
    Apply();
  }
  SimTime Now() const { return now_; }

 private:
  static uint8_t Hi(uint32_t v) { return static_cast<uint8_t>(v >> 8); }
  static uint8_t Lo(uint32_t v) { return static_cast<uint8_t>(v); }
  void Step() {
    now_ += kUs;
    Apply();
  }
  void Apply() { chip_.SetPins(reset_, clock_, mosi_, now_); }

  SerialProgrammedChip& chip_;
  SimTime now_ = 0;
  bool reset_ = true;
  bool clock_ = false;
  bool mosi_ = false;
};

}  // namespace vexilo::sim::testing
