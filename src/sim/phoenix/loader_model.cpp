#include "sim/phoenix/loader_model.h"

#include <algorithm>

namespace vexilo::sim {

namespace {

// T=0: at least 16 etu between the leading edges of two characters in opposite directions;
// the reader's character started 12 etu before its frame ended.
constexpr SimTime kTurnaround = 4 * kEtu;

uint8_t ExclusiveOr(std::span<const uint8_t> bytes) {
  uint8_t check = 0;
  for (uint8_t value : bytes) check ^= value;
  return check;
}

}  // namespace

void LoaderModel::Receive(uint8_t value, SimTime now, CardTransmitter& tx) {
  if (expected_ != 0) {
    incoming_.push_back(value);
    if (--expected_ == 0) WriteBlock(now, tx);
    return;
  }
  header_[headerCount_++] = value;
  if (headerCount_ == header_.size()) {
    headerCount_ = 0;
    TakeHeader(now, tx);
  }
}

bool LoaderModel::LengthFits(uint8_t p3) const {
  const unsigned extra = spec_.checkByte ? 1 : 0;
  return p3 > extra && p3 <= spec_.maxData + extra;
}

void LoaderModel::TakeHeader(SimTime now, CardTransmitter& tx) {
  const uint8_t ins = header_[1];
  const SimTime answer = now + kTurnaround;
  if (header_[0] != kLoaderClass) return SendStatus(kSwWrongClass, answer, tx);
  if (ins != spec_.readIns && ins != spec_.writeIns) {
    return SendStatus(kSwUnknownInstruction, answer, tx);
  }
  if (!LengthFits(header_[4])) return SendStatus(kSwWrongLength, answer, tx);
  tx.Send(ins, answer);  // procedure byte ACK = INS: all the data in one go
  if (ins == spec_.readIns) return ReadBlock(now, tx);
  incoming_.clear();
  expected_ = header_[4];
}

void LoaderModel::ReadBlock(SimTime, CardTransmitter& tx) {
  std::vector<uint8_t> data(header_[4] - (spec_.checkByte ? 1 : 0));
  // The firmware reads the EEPROM once its procedure byte is out, then sends the block.
  auto result = bus_.Read(Address(), data, tx.BusyUntil());
  if (replies_ == ReadReplies::MemoryFailure) {
    result.acknowledged = false;
    std::fill(data.begin(), data.end(), 0xFF);
  }
  SimTime t = result.done;
  for (uint8_t value : data) t = tx.Send(value, t);
  if (replies_ == ReadReplies::Foreign) {
    for (unsigned i = 0; i < (spec_.checkByte ? 1u : spec_.statusBytes); ++i) t = tx.Send(0, t);
    return;
  }
  // The PIC16F876 loader ends a read with its check byte instead of a status.
  if (spec_.checkByte) {
    const uint8_t check = ExclusiveOr(data);
    const bool spoilt = replies_ == ReadReplies::BadCheck && Address() == kBadCheckAddress;
    tx.Send(spoilt ? check ^ 0x01 : check, t);
    return;
  }
  SendStatus(result.acknowledged ? kSwOk : kSwMemoryFailure, t, tx);
}

void LoaderModel::WriteBlock(SimTime now, CardTransmitter& tx) {
  std::span<const uint8_t> data = incoming_;
  if (spec_.checkByte) {
    data = data.first(data.size() - 1);
    if (ExclusiveOr(data) != incoming_.back()) {
      return SendStatus(kSwWrongCheckByte, now + kTurnaround, tx);
    }
  }
  // The loaders write the 24Cxx byte by byte, each byte with its own write cycle (acknowledge
  // polling in between), and send the status only after the last one.
  EepromBus::Result result{true, now + kTurnaround};
  for (size_t i = 0; i < data.size() && result.acknowledged; ++i) {
    result = bus_.Write(static_cast<uint16_t>(Address() + i), data.subspan(i, 1), result.done);
    if (result.acknowledged) result = bus_.WaitReady(result.done);
  }
  SendStatus(result.acknowledged ? kSwOk : kSwMemoryFailure, result.done, tx);
}

void LoaderModel::SendStatus(uint16_t sw, SimTime earliest, CardTransmitter& tx) {
  tx.Send(uint8_t(sw >> 8), earliest);
  if (spec_.statusBytes == 2) tx.Send(uint8_t(sw), earliest);
}

}  // namespace vexilo::sim
