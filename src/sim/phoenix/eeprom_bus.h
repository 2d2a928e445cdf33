#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "sim/phoenix/eeprom_24cxx.h"
#include "sim/sim_time.h"

namespace vexilo::sim {

// How a loader forms the I2C address of a byte: the PIC16F84 card's loader drives a 24C16
// (address bits 10..8 in the control byte, one word address byte), the others two word address
// bytes after a fixed control byte 0xA0.
enum class I2cAddressing { BlockInControlByte, TwoAddressBytes };

// The loader firmware's side of the I2C bus: a bit-banged master at 100 kHz that polls for
// the acknowledge while the EEPROM finishes a write cycle.
class EepromBus {
 public:
  EepromBus(Eeprom24Cxx& eeprom, I2cAddressing addressing)
      : eeprom_(eeprom), addressing_(addressing) {}

  struct Result {
    bool acknowledged;  // false: the part never answered (nothing written, reads 0xFF)
    SimTime done;       // when the STOP of the transfer has been sent
  };

  // Random read followed by a sequential read of `out.size()` bytes from `address`.
  Result Read(uint16_t address, std::span<uint8_t> out, SimTime start);
  // One page write of `data` from `address` (the part rolls over inside its page).
  Result Write(uint16_t address, std::span<const uint8_t> data, SimTime start);
  // Polls with the write control byte until the part acknowledges, then sends STOP.
  Result WaitReady(SimTime start);

 private:
  // START and control byte (write), repeated until acknowledged or the poll time runs out.
  bool Select(uint16_t address, SimTime& t);
  bool SendAddress(uint16_t address, SimTime& t);
  uint8_t ControlByte(uint16_t address) const;

  Eeprom24Cxx& eeprom_;
  I2cAddressing addressing_;
};

}  // namespace vexilo::sim
