#pragma once
#include <cstdint>
#include <string>

#include "port/clock.h"
#include "port/comm_port.h"
#include "port/serial_syscalls.h"

namespace vexilo::port {

// `comm` on a Linux serial device: opened exclusively, raw, 9600 baud 8E2 without handshake,
// DTR and RTS dropped right after the open (the kernel raises both when a tty is opened).
// Bytes that arrive are thrown away.
class TermiosComm final : public CommPort {
 public:
  static constexpr int kOutputTimeoutMs = 500;

  TermiosComm(SerialSyscalls& calls, Clock& clock, std::string portName);
  ~TermiosComm() override;
  TermiosComm(const TermiosComm&) = delete;
  TermiosComm& operator=(const TermiosComm&) = delete;

  bool CommConnect() override;
  void CommDisconnect() override;
  bool CommConnected() const override { return fd_ >= 0; }
  void CommSetPortName(const std::string& name) override;
  std::string PortName() const override { return portName_; }
  bool CommSendByte(uint8_t value) override;

 private:
  bool Configure();
  // Lets the bytes already queued leave the line, giving up after the output time-out
  // passes without the queue getting shorter.
  void DrainBounded();
  void CloseDevice();

  SerialSyscalls& calls_;
  Clock& clock_;
  std::string portName_;
  int fd_ = -1;
};

}  // namespace vexilo::port
