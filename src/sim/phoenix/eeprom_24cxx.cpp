#include "sim/phoenix/eeprom_24cxx.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

namespace vexilo::sim {

namespace {

// Page sizes from the 24xx16/64/128/256/512 data sheets; tWR the maximum of the slowest part
// of each size the cards came with: the AT24C16A 5 ms, the older AT24C64, AT24C128, AT24C256
// and AT24C512 10 ms (the newer parts and the 24LC family write within 5 ms).
constexpr std::array<Eeprom24Part, 5> kParts{{
    {"24C16", 2048, 16, 1, 5 * kMs},
    {"24C64", 8192, 32, 2, 10 * kMs},
    {"24C128", 16384, 64, 2, 10 * kMs},
    {"24C256", 32768, 64, 2, 10 * kMs},
    {"24C512", 65536, 128, 2, 10 * kMs},
}};

constexpr uint8_t kDeviceCode = 0xA0;      // 1010 in the top nibble of the control byte
constexpr uint8_t kChipSelectPins = 0x00;  // A2..A0 tied low

}  // namespace

std::span<const Eeprom24Part> Eeprom24Parts() { return kParts; }

const Eeprom24Part& Eeprom24PartOfSize(uint32_t bytes) {
  for (const auto& part : kParts) {
    if (part.bytes == bytes) return part;
  }
  throw std::invalid_argument("no 24Cxx has " + std::to_string(bytes) + " bytes");
}

Eeprom24Cxx::Eeprom24Cxx(uint32_t bytes)
    : part_(Eeprom24PartOfSize(bytes)), memory_(bytes, 0xFF), latch_(part_.pageBytes, -1) {}

void Eeprom24Cxx::Start(SimTime) {
  // A write is only carried out on STOP; a repeated START drops the page buffer.
  latched_ = false;
  std::fill(latch_.begin(), latch_.end(), int16_t{-1});
  state_ = State::Control;
}

bool Eeprom24Cxx::Write(uint8_t value, SimTime now) {
  switch (state_) {
    case State::Control:
      return TakeControl(value, now);
    case State::AddressHigh:
      high_ = uint32_t{value} << 8;
      state_ = State::AddressLow;
      return true;
    case State::AddressLow: {
      const uint32_t high = part_.addressBytes == 1 ? block_ : high_;
      address_ = (high | value) & (part_.bytes - 1);
      pageBase_ = address_ & ~uint32_t{part_.pageBytes - 1u};
      pageOffset_ = address_ - pageBase_;
      state_ = State::Writing;
      return true;
    }
    case State::Writing:
      Latch(value);
      return true;
    case State::Idle:
    case State::Reading:
    case State::Ignoring:
      return false;
  }
  return false;
}

bool Eeprom24Cxx::TakeControl(uint8_t value, SimTime now) {
  const bool addressed = (value & 0xF0) == kDeviceCode &&
                         (part_.addressBytes == 1 || (value & 0x0E) == kChipSelectPins << 1);
  if (Busy(now) || !addressed) {
    state_ = State::Ignoring;
    return false;
  }
  if (part_.addressBytes == 1) block_ = uint32_t(value & 0x0E) << 7;
  if (value & 0x01) {
    state_ = State::Reading;  // current address read: the counter as it stands
  } else {
    state_ = part_.addressBytes == 1 ? State::AddressLow : State::AddressHigh;
  }
  return true;
}

void Eeprom24Cxx::Latch(uint8_t value) {
  // Only the address bits inside the page count up; more bytes than a page overwrite the first.
  latch_[pageOffset_] = value;
  pageOffset_ = (pageOffset_ + 1) % part_.pageBytes;
  latched_ = true;
}

uint8_t Eeprom24Cxx::Read(SimTime) {
  if (state_ != State::Reading) return 0xFF;
  const uint8_t value = memory_[address_];
  address_ = (address_ + 1) % part_.bytes;  // sequential reads roll over at the end of memory
  return value;
}

void Eeprom24Cxx::Stop(SimTime now) {
  if (state_ == State::Writing && latched_) {
    for (uint32_t i = 0; i < part_.pageBytes; ++i) {
      if (latch_[i] >= 0) memory_[pageBase_ + i] = uint8_t(latch_[i]);
    }
    address_ = pageBase_ + pageOffset_;
    busyUntil_ = now + part_.writeCycle;
  }
  latched_ = false;
  std::fill(latch_.begin(), latch_.end(), int16_t{-1});
  state_ = State::Idle;
}

}  // namespace vexilo::sim
