#include "extee/phoenix_link.h"

namespace vexilo::extee {
namespace {

constexpr uint8_t kLoaderClass = 0xC1;
// A 16550 receive FIFO holds 16 characters.
constexpr int kFifoDepth = 16;
constexpr uint8_t kNoByte = 0xFF;

}  // namespace

void PhoenixLink::Drain() {
  for (int i = 0; i < kFifoDepth; ++i) session_.ReadRxRegister();
}

PhoenixLink::Atr PhoenixLink::ResetCard(uint8_t mark) {
  Atr atr;
  std::array<bool, kAtrBytes> came{};
  for (int attempt = 1; attempt <= kResetAttempts; ++attempt) {
    atr.attempt = attempt;
    // RTS asserted holds the card in reset; its release starts the chip's firmware, and a
    // card loader answers with its ATR.
    session_.SetRTS(1);
    session_.Time().SleepMs(kResetPulseMs);
    // The card is silent while held in reset: anything waiting (an answer-to-reset sent when
    // the adapter was switched by hand) is stale and would be read as the reply.
    session_.DiscardReceived();
    session_.SetRTS(0);
    for (size_t i = 0; i < kAtrBytes; ++i) {
      atr.bytes[i] = session_.ReceiveByteTimed();
      came[i] = !session_.TimedReceiveExpired();
    }
    atr.recognised = (came[0] && atr.bytes[0] == mark) || (came[1] && atr.bytes[1] == mark);
    if (atr.recognised) break;
  }
  return atr;
}

void PhoenixLink::Send(uint8_t value) {
  if (!Lost()) session_.SendByte(value);  // the echo is consumed there
}

uint8_t PhoenixLink::Receive() { return Lost() ? kNoByte : session_.ReceiveByte(); }

uint8_t PhoenixLink::ReceiveAfterWrite() {
  return Lost() ? kNoByte : session_.ReceiveByteWithin(kAfterWriteWaitUs);
}

void PhoenixLink::SendHeader(uint8_t ins, uint16_t address, uint8_t p3) {
  Send(kLoaderClass);
  Send(ins);
  Send(static_cast<uint8_t>(address >> 8));
  Send(static_cast<uint8_t>(address));
  Send(p3);
}

namespace {

// The procedure byte: a card that took the header answers INS.
BlockResult TakeProcedureByte(PhoenixLink& link, const BlockCommand& command) {
  const uint8_t ack = link.Receive();
  if (link.Lost()) return BlockResult::NoAnswer;
  if (command.ackChecked && ack != command.ins) return BlockResult::Refused;
  return BlockResult::Done;
}

void SkipTrailing(PhoenixLink& link, const BlockCommand& command, bool afterWrite = false) {
  for (unsigned i = 0; i < command.trailingBytes; ++i) {
    // Only the first reply waits for the write; the rest follow it at once.
    if (afterWrite && i == 0) {
      link.ReceiveAfterWrite();
    } else {
      link.Receive();
    }
  }
}

}  // namespace

BlockResult ReadBlock(PhoenixLink& link, const BlockCommand& command, uint16_t address,
                      std::span<uint8_t> data, std::span<uint8_t> trailing) {
  link.SendHeader(command.ins, address, command.p3);
  const BlockResult ack = TakeProcedureByte(link, command);
  if (ack != BlockResult::Done) return ack;
  for (uint8_t& value : data) value = link.Receive();
  for (unsigned i = 0; i < command.trailingBytes; ++i) {
    const uint8_t value = link.Receive();
    if (i < trailing.size()) trailing[i] = value;
  }
  return link.Lost() ? BlockResult::NoAnswer : BlockResult::Done;
}

BlockResult WriteBlock(PhoenixLink& link, const BlockCommand& command, uint16_t address,
                       std::span<const uint8_t> data) {
  link.SendHeader(command.ins, address, command.p3);
  const BlockResult ack = TakeProcedureByte(link, command);
  if (ack != BlockResult::Done) return ack;
  link.Time().SleepMs(command.ackPauseMs);
  uint8_t check = 0;
  for (uint8_t value : data) {
    link.Send(value);
    check ^= value;
  }
  if (command.checkByte) link.Send(check);
  SkipTrailing(link, command, true);
  const uint8_t status =
      command.status ? (command.trailingBytes ? link.Receive() : link.ReceiveAfterWrite()) : 0;
  if (link.Lost()) return BlockResult::NoAnswer;
  if (command.status && status != *command.status) return BlockResult::BadStatus;
  return BlockResult::Done;
}

}  // namespace vexilo::extee
