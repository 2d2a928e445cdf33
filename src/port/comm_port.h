#pragma once
#include <cstdint>
#include <string>

namespace vexilo::port {

// The serial device `comm`: a COM device opened through the operating system at 9600 baud,
// 8 data bits, even parity, 2 stop bits, no handshake, DTR and RTS not raised. Used to hold
// the device during a session that drives the UART registers itself, and to send the adapter
// mode bursts as ordinary characters.
class CommPort {
 public:
  virtual ~CommPort() = default;
  // Opens the device named by CommSetPortName exclusively; true when open afterwards.
  virtual bool CommConnect() = 0;
  virtual void CommDisconnect() = 0;
  virtual bool CommConnected() const = 0;
  // Ignored while open.
  virtual void CommSetPortName(const std::string& name) = 0;
  virtual std::string PortName() const = 0;
  // Sends one byte, waiting at most the output time-out (500 ms without progress).
  virtual bool CommSendByte(uint8_t value) = 0;
  // Waits until the bytes sent have left the line; false when that failed.
  virtual bool CommDrain() { return true; }
  // Why the last CommConnect or CommSendByte failed, for the person; empty when unknown.
  virtual std::string CommProblem() const { return {}; }
};

}  // namespace vexilo::port
