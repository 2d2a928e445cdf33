#pragma once
#include <cstdint>
#include <memory>

#include "sim/card/chip.h"
#include "sim/pic/pic_chip.h"

namespace vexilo::sim::testing {

// A minimal programmer for the tests: drives MCLR, RB6 and RB7 of a simulated PIC one clock
// at a time (1 us per phase) and samples RB7 the way a serial programmer does.
class PicBitBang {
 public:
  explicit PicBitBang(SerialProgrammedChip& chip) : chip_(chip) { Apply(); }

  void Enter() {
    mclr_ = false;
    clock_ = false;
    data_ = false;
    Step();
    mclr_ = true;
    Step();
  }
  void Leave() {
    mclr_ = false;
    clock_ = false;
    data_ = false;
    Step();
  }

  // One clock: rise, present `bit`, fall (the chip latches on the falling edge).
  void Clock(bool bit) {
    clock_ = true;
    Step();
    data_ = bit;
    Step();
    clock_ = false;
    Step();
  }
  void Command(uint8_t code) {
    for (int i = 0; i < 6; ++i) Clock(((code >> i) & 1u) != 0);
  }
  // A raw 16-clock frame, bit 0 first: start bit, 14 data bits, stop bit.
  void Frame(uint16_t bits) {
    for (int i = 0; i < 16; ++i) Clock(((bits >> i) & 1u) != 0);
  }
  void Load(uint16_t word) { Frame(static_cast<uint16_t>((word & 0x3FFF) << 1)); }
  // Clocks a read frame with RB7 left at `idle` by the programmer; samples after each fall.
  uint16_t Read(bool idle = false) {
    uint16_t word = 0;
    Clock(idle);
    for (int i = 0; i < 14; ++i) {
      Clock(idle);
      if (chip_.DataOut(now_)) word = static_cast<uint16_t>(word | (1u << i));
    }
    Clock(idle);
    return word;
  }

  void Wait(SimTime time) {
    now_ += time;
    Apply();
  }
  void Increment(int times = 1) {
    for (int i = 0; i < times; ++i) Command(0x06);
  }

  // Load Data + Begin Erase/Programming, waiting `wait`.
  void ProgramWord(uint16_t word, SimTime wait = 20 * kMs) {
    Command(0x02);
    Load(word);
    Command(0x08);
    Wait(wait);
  }
  void ProgramData(uint8_t byte, SimTime wait = 20 * kMs) {
    Command(0x03);
    Load(byte);
    Command(0x08);
    Wait(wait);
  }
  uint16_t ReadWord() {
    Command(0x04);
    return Read();
  }
  uint8_t ReadData() {
    Command(0x05);
    return static_cast<uint8_t>(Read());
  }
  // Load Configuration, then Increment Address up to 0x2000 + index.
  void GoToConfig(int index, uint16_t data = 0x3FFF) {
    Command(0x00);
    Load(data);
    Increment(index);
  }
  void WriteConfigWord(uint16_t word) {
    GoToConfig(0, word);
    Increment(7);
    Command(0x08);
    Wait(20 * kMs);
  }
  // Load Configuration 0x3FFF, 0x2007, Setup1, Setup2, Begin, wait, Setup1, Setup2.
  void ChipErase() {
    GoToConfig(7);
    Command(0x01);
    Command(0x07);
    Command(0x08);
    Wait(20 * kMs);
    Command(0x01);
    Command(0x07);
  }

  void SetData(bool level) {
    data_ = level;
    Step();
  }
  void SetMclr(bool high) {
    mclr_ = high;
    Step();
  }
  void SetClock(bool level) {
    clock_ = level;
    Step();
  }
  SimTime Now() const { return now_; }
  bool DataOut() { return chip_.DataOut(now_); }

 private:
  void Step() {
    now_ += kUs;
    Apply();
  }
  void Apply() { chip_.SetPins(mclr_, clock_, data_, now_); }

  SerialProgrammedChip& chip_;
  SimTime now_ = 0;
  bool mclr_ = false;
  bool clock_ = false;
  bool data_ = false;
};

}  // namespace vexilo::sim::testing
