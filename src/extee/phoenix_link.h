#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "extee/loader_rows.h"
#include "port/port_session.h"

namespace vexilo::extee {

// The card as an ISO 7816-style card on the Phoenix reader, over an open "phoenix" session:
// RTS holds the card's RESET contact, TX and RX are joined on its IO line (9600 baud 8E2),
// so every byte sent comes back as an echo before the card's answer.
class PhoenixLink {
 public:
  static constexpr int kResetAttempts = 5;
  static constexpr size_t kAtrBytes = 16;
  static constexpr unsigned kResetPulseMs = 100;
  // The bound of the replies after a write block: the largest block (16 bytes) written byte
  // by byte at the slowest 24Cxx write cycle of the data sheets (10 ms, the AT24C64 and
  // AT24C128 of older date), 160 ms, with the time of the reply bytes and a margin: 300 ms.
  static constexpr uint64_t kAfterWriteWaitUs = 300000;

  struct Atr {
    int attempt = 0;  // 1 .. kResetAttempts: the last reset made
    std::array<uint8_t, kAtrBytes> bytes{};
    bool recognised = false;  // byte 0 or 1 is the loader's mark
  };

  explicit PhoenixLink(port::PortSession& session) : session_(session) {}

  // Empties the receive FIFO of whatever an earlier exchange left there.
  void Drain();
  // Resets the card until its answer carries `mark` at byte 0 or 1, at most kResetAttempts
  // times. Each answer byte waits at most RxPollLimit polls; a byte that did not come cannot
  // be the mark (the register still holds an old character then).
  Atr ResetCard(uint8_t mark);

  // The command bytes of a transfer. Once a byte wait has ended without its byte the card is
  // taken as gone: later sends and receives do nothing (receives give 0xFF), so a card that
  // falls silent costs one wait, not one per byte.
  void BeginTransfer() { session_.ClearTimedOut(); }
  void SendHeader(uint8_t ins, uint16_t address, uint8_t p3);
  void Send(uint8_t value);
  uint8_t Receive();
  // A reply that follows the data of a write block: a loader that writes its 24Cxx byte by
  // byte answers only when the last byte is written.
  uint8_t ReceiveAfterWrite();
  bool Lost() const { return session_.TimedOut(); }

  port::Clock& Time() { return session_.Time(); }

 private:
  port::PortSession& session_;
};

enum class BlockResult {
  Done,
  NoAnswer,   // the card or the adapter stopped answering
  Refused,    // wrong procedure byte
  BadStatus,  // wrong status after the data
};

// One read command: the card's data for `address` into `data` (command.dataBytes long), and
// what closed it (command.trailingBytes) into `trailing` when that is given.
BlockResult ReadBlock(PhoenixLink& link, const BlockCommand& command, uint16_t address,
                      std::span<uint8_t> data, std::span<uint8_t> trailing = {});
// One write command with `data` (command.dataBytes long) for `address`.
BlockResult WriteBlock(PhoenixLink& link, const BlockCommand& command, uint16_t address,
                       std::span<const uint8_t> data);

}  // namespace vexilo::extee
