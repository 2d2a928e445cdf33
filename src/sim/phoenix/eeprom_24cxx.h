#pragma once
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "sim/sim_time.h"

namespace vexilo::sim {

// One 24Cxx part as its data sheet describes it.
struct Eeprom24Part {
  std::string_view name;  // "24C16" ...
  uint32_t bytes;
  uint16_t pageBytes;    // a page write rolls over inside a page of this size
  uint8_t addressBytes;  // word address bytes after the control byte (24C16: 1, the rest: 2)
  SimTime writeCycle;    // tWR: no acknowledge until the internal write has finished
};

// The parts a card may carry: 24C16, 24C64, 24C128, 24C256, 24C512.
std::span<const Eeprom24Part> Eeprom24Parts();
// The part of `bytes` bytes; throws std::invalid_argument for a size no part has.
const Eeprom24Part& Eeprom24PartOfSize(uint32_t bytes);

// A 24Cxx serial EEPROM as an I2C slave, one bus event at a time: what the card loader's
// bit-banged master does on SDA/SCL is a sequence of Start, Write, Read and Stop.
//
// Control byte: 1010 xxx R/W. On the 24C16 the three x bits are the block number (the top
// three bits of the 11-bit address) and one word address byte follows; on the larger parts
// they must match the chip-select pins A2..A0, tied low on the card, and two word address
// bytes follow. Address bits above the part's size are not decoded, so addresses wrap.
class Eeprom24Cxx {
 public:
  explicit Eeprom24Cxx(uint32_t bytes);

  const Eeprom24Part& Part() const { return part_; }

  // START (or a repeated START). A page write not yet ended by STOP is abandoned.
  void Start(SimTime now);
  // The master sends a byte; true when the part acknowledges it.
  bool Write(uint8_t value, SimTime now);
  // The master clocks a byte out of the part (reads from a part that is not sending get the
  // bus's pulled-up 0xFF).
  uint8_t Read(SimTime now);
  // STOP: a page write with at least one data byte starts its internal write cycle.
  void Stop(SimTime now);

  // True while the internal write cycle runs (the part ignores its control byte then).
  bool Busy(SimTime now) const { return now < busyUntil_; }

  std::span<uint8_t> Bytes() { return memory_; }
  std::span<const uint8_t> Bytes() const { return memory_; }

 private:
  enum class State { Idle, Control, AddressHigh, AddressLow, Writing, Reading, Ignoring };

  bool TakeControl(uint8_t value, SimTime now);
  void Latch(uint8_t value);

  const Eeprom24Part& part_;
  std::vector<uint8_t> memory_;
  State state_ = State::Idle;
  uint32_t address_ = 0;  // the internal address counter
  uint32_t block_ = 0;    // 24C16: block bits of the last control byte, as address bits 10..8
  uint32_t high_ = 0;     // two-byte parts: the address high byte just received
  // Page buffer of the write in progress: base address, next offset, latched bytes.
  uint32_t pageBase_ = 0;
  uint32_t pageOffset_ = 0;
  std::vector<int16_t> latch_;  // -1 = not written in this page write
  bool latched_ = false;
  SimTime busyUntil_ = 0;
};

}  // namespace vexilo::sim
