#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "port/backend.h"
#include "port/real_clock.h"
#include "port/serial_syscalls.h"
#include "port/termios_comm.h"
#include "port/tty_uart.h"

namespace vexilo::port {

// The serial device as `comm` on a backend where the same device also stands behind the
// emulated UART: whoever opens it takes it from the other, since both open it exclusively.
class SharedDeviceComm final : public CommPort {
 public:
  SharedDeviceComm(TermiosComm& comm, TtyUart& uart) : comm_(comm), uart_(uart) {}

  bool CommConnect() override;
  void CommDisconnect() override { comm_.CommDisconnect(); }
  bool CommConnected() const override { return comm_.CommConnected(); }
  void CommSetPortName(const std::string& name) override { comm_.CommSetPortName(name); }
  std::string PortName() const override { return comm_.PortName(); }
  bool CommSendByte(uint8_t value) override { return comm_.CommSendByte(value); }

 private:
  TermiosComm& comm_;
  TtyUart& uart_;
};

// Nothing to grant: the device's own driver moves the lines.
class NoPermissionNeeded final : public IoPermission {
 public:
  bool EnablePortRange(uint16_t) override { return true; }
  bool DisablePortRange(uint16_t) override { return true; }
};

// Any serial device (/dev/ttyUSB0, /dev/ttyACM0, ...) in the place of the selected COM
// port: its UART is emulated at the base the session chooses, so the session programs it
// in direct mode. The session takes the device when it starts and keeps it after it ends,
// so the lines stay as it left them; the mode bursts through `comm` take it back.
class TtyBackend final : public PortBackend {
 public:
  explicit TtyBackend(std::string devicePath);
  TtyBackend(std::string devicePath, SerialSyscalls& calls, Clock& clock);

  PortIo& Io() override { return uart_; }
  CommPort& Comm() override { return sharedComm_; }
  IoPermission& Permission() override { return permission_; }
  Clock& Time() override { return clock_; }
  SessionMode Mode() const override { return SessionMode::Direct; }
  std::string SystemLine() const override { return kLinuxSystemLine; }
  // The one device, whichever COM port is selected.
  std::string DeviceForCom(int index) const override;
  bool BeginSession(uint16_t base) override;

  TtyUart& Uart() { return uart_; }

 private:
  std::string devicePath_;
  std::unique_ptr<RealClock> ownClock_;
  Clock& clock_;
  TtyUart uart_;
  TermiosComm comm_;
  SharedDeviceComm sharedComm_;
  NoPermissionNeeded permission_;
};

}  // namespace vexilo::port
