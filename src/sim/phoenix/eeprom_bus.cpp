#include "sim/phoenix/eeprom_bus.h"

namespace vexilo::sim {

namespace {

// 100 kHz standard-mode I2C: a byte and its acknowledge take nine clocks.
constexpr SimTime kI2cBit = 10 * kUs;
constexpr SimTime kI2cByte = 9 * kI2cBit;
// Longer than any part's tWR: a part that is still silent then is missing or not addressed.
constexpr SimTime kPollLimit = 20 * kMs;

}  // namespace

uint8_t EepromBus::ControlByte(uint16_t address) const {
  if (addressing_ == I2cAddressing::BlockInControlByte) {
    return uint8_t(0xA0 | ((address >> 7) & 0x0E));
  }
  return 0xA0;
}

bool EepromBus::Select(uint16_t address, SimTime& t) {
  const SimTime limit = t + kPollLimit;
  for (;;) {
    eeprom_.Start(t);
    t += kI2cBit;
    const bool ack = eeprom_.Write(ControlByte(address), t);
    t += kI2cByte;
    if (ack) return true;
    eeprom_.Stop(t);
    t += kI2cBit;
    if (t >= limit) return false;
  }
}

bool EepromBus::SendAddress(uint16_t address, SimTime& t) {
  bool ack = true;
  if (addressing_ == I2cAddressing::TwoAddressBytes) {
    ack = eeprom_.Write(uint8_t(address >> 8), t);
    t += kI2cByte;
  }
  ack = eeprom_.Write(uint8_t(address), t) && ack;
  t += kI2cByte;
  return ack;
}

EepromBus::Result EepromBus::Read(uint16_t address, std::span<uint8_t> out, SimTime start) {
  SimTime t = start;
  bool ack = Select(address, t) && SendAddress(address, t);
  if (ack) {
    eeprom_.Start(t);  // repeated START, then the control byte with R/W = 1
    t += kI2cBit;
    ack = eeprom_.Write(uint8_t(ControlByte(address) | 0x01), t);
    t += kI2cByte;
  }
  for (auto& value : out) {
    value = ack ? eeprom_.Read(t) : 0xFF;
    t += kI2cByte;
  }
  eeprom_.Stop(t);
  t += kI2cBit;
  return {ack, t};
}

EepromBus::Result EepromBus::Write(uint16_t address, std::span<const uint8_t> data, SimTime start) {
  SimTime t = start;
  bool ack = Select(address, t) && SendAddress(address, t);
  for (uint8_t value : data) {
    if (!ack) break;
    ack = eeprom_.Write(value, t);
    t += kI2cByte;
  }
  eeprom_.Stop(t);
  t += kI2cBit;
  return {ack, t};
}

EepromBus::Result EepromBus::WaitReady(SimTime start) {
  SimTime t = start;
  const bool ack = Select(0, t);
  eeprom_.Stop(t);
  t += kI2cBit;
  return {ack, t};
}

}  // namespace vexilo::sim
