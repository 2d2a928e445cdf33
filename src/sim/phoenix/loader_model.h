#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "sim/phoenix/card_transmitter.h"
#include "sim/phoenix/eeprom_24cxx.h"
#include "sim/phoenix/eeprom_bus.h"
#include "sim/phoenix/loader_family.h"
#include "sim/phoenix/phoenix_sim.h"

namespace vexilo::sim {

// Status words the loaders send (ISO 7816-4 meanings).
constexpr uint16_t kSwOk = 0x9000;
constexpr uint16_t kSwWrongLength = 0x6700;
constexpr uint16_t kSwWrongClass = 0x6E00;
constexpr uint16_t kSwUnknownInstruction = 0x6D00;
constexpr uint16_t kSwWrongCheckByte = 0x6A80;
constexpr uint16_t kSwMemoryFailure = 0x6581;

// The command loop of a running card loader, driven by one family's LoaderSpec: it takes the
// reader's characters, answers on the IO line and moves blocks to and from the 24Cxx.
class LoaderModel {
 public:
  LoaderModel(const LoaderSpec& spec, Eeprom24Cxx& eeprom,
              ReadReplies replies = ReadReplies::Normal)
      : spec_(spec), bus_(eeprom, spec.addressing), replies_(replies) {}

  const LoaderSpec& Spec() const { return spec_; }

  // A character from the reader whose frame ended at `now`; answers go to `tx`.
  void Receive(uint8_t value, SimTime now, CardTransmitter& tx);

 private:
  void TakeHeader(SimTime now, CardTransmitter& tx);
  void ReadBlock(SimTime now, CardTransmitter& tx);
  void WriteBlock(SimTime now, CardTransmitter& tx);
  void SendStatus(uint16_t sw, SimTime earliest, CardTransmitter& tx);
  bool LengthFits(uint8_t p3) const;
  uint16_t Address() const { return uint16_t(header_[2] << 8 | header_[3]); }

  const LoaderSpec& spec_;
  EepromBus bus_;
  ReadReplies replies_;
  std::array<uint8_t, 5> header_{};
  size_t headerCount_ = 0;
  std::vector<uint8_t> incoming_;  // data (and check byte) of a write block
  size_t expected_ = 0;            // characters of the write block still to come
};

}  // namespace vexilo::sim
