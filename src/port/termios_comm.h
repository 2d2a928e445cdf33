#pragma once
#include <cstdint>
#include <string>

#include "port/clock.h"
#include "port/comm_port.h"
#include "port/serial_device.h"

namespace vexilo::port {

// `comm` on a Linux serial device: opened as SerialDevice opens it (exclusively, raw, 9600
// baud 8E2 without handshake, DTR and RTS lowered first). Bytes that arrive are thrown away.
class TermiosComm final : public CommPort {
 public:
  static constexpr int kOutputTimeoutMs = 500;

  TermiosComm(SerialSyscalls& calls, Clock& clock, std::string portName);
  ~TermiosComm() override;
  TermiosComm(const TermiosComm&) = delete;
  TermiosComm& operator=(const TermiosComm&) = delete;

  bool CommConnect() override;
  void CommDisconnect() override;
  bool CommConnected() const override { return device_.IsOpen(); }
  void CommSetPortName(const std::string& name) override { device_.SetPath(name); }
  std::string PortName() const override { return device_.Path(); }
  bool CommSendByte(uint8_t value) override;
  bool CommDrain() override;
  std::string CommProblem() const override;

 private:
  // Lets the bytes already queued leave the line, giving up after the output time-out
  // passes without the queue getting shorter.
  void DrainBounded();

  Clock& clock_;
  SerialDevice device_;
};

// Sends one byte on an open device as `comm` does: waiting at most the output time-out for
// room, and dropping whatever came in meanwhile.
bool SendCommByte(SerialDevice& device, uint8_t value, int timeoutMs);

// Waits for the output queue to empty, giving up after `timeoutMs` without progress. True
// when it emptied.
bool DrainWithTimeout(SerialDevice& device, Clock& clock, int timeoutMs);

// Lets what was sent leave the line: the driver's queue first, within the output time-out
// (tcdrain alone has no bound, and a stalled USB adapter would hold it for ever), then
// tcdrain for the last characters in the chip.
bool DrainToLine(SerialDevice& device, Clock& clock, int timeoutMs);

}  // namespace vexilo::port
