#pragma once
#include <cstdint>
#include <string>

#include "port/clock.h"
#include "port/comm_port.h"
#include "port/serial_device.h"

namespace vexilo::port {

// `comm` on a Linux serial device: opened as SerialDevice opens it (exclusively, raw, 9600
// baud 8E2 without handshake, DTR and RTS lowered first). Bytes that arrive are thrown away.
// Where a port session drives the same device (`sessionHolds` true), the bytes go out on the
// session's descriptor and disconnecting leaves the device open for the session.
class TermiosComm final : public CommPort {
 public:
  static constexpr int kOutputTimeoutMs = 500;

  TermiosComm(SerialDevice& device, Clock& clock, const bool* sessionHolds = nullptr)
      : device_(device), clock_(clock), sessionHolds_(sessionHolds) {}
  ~TermiosComm() override { CommDisconnect(); }
  TermiosComm(const TermiosComm&) = delete;
  TermiosComm& operator=(const TermiosComm&) = delete;

  bool CommConnect() override { return device_.Open(); }
  void CommDisconnect() override;
  bool CommConnected() const override { return device_.IsOpen(); }
  void CommSetPortName(const std::string& name) override { device_.SetPath(name); }
  std::string PortName() const override { return device_.Path(); }
  bool CommSendByte(uint8_t value) override;
  // The driver's queue first, within the output time-out (tcdrain alone has no bound, and a
  // stalled USB adapter would hold it for ever), then tcdrain for the last characters.
  bool CommDrain() override;
  std::string CommProblem() const override;

 private:
  // Waits for the output queue to empty, giving up after the output time-out without
  // progress. True when it emptied.
  bool DrainQueue();

  SerialDevice& device_;
  Clock& clock_;
  const bool* sessionHolds_;
};

}  // namespace vexilo::port
