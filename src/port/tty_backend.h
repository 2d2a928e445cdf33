#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "port/backend.h"
#include "port/real_clock.h"
#include "port/serial_device.h"
#include "port/serial_syscalls.h"
#include "port/termios_comm.h"

namespace vexilo::port {

// The adapter's lines on a serial device: DTR and RTS by TIOCMBIS/TIOCMBIC (only when they
// change), the TX line by TIOCSBRK/TIOCCBRK, CTS by TIOCMGET, the bytes by read and write.
class DeviceLines final : public Lines {
 public:
  explicit DeviceLines(SerialDevice& device) : device_(device) {}
  // The device was opened with DTR and RTS low and no break.
  void Reset();

  void SetModemLines(bool dtr, bool rts) override;
  void SetBreak(bool on) override;
  bool Cts() override;
  bool TransmitterEmpty() override;
  bool DataReady() override;
  void WriteByte(uint8_t value) override;
  uint8_t ReadByte() override;
  void RefreshModemLines() override;
  void DiscardReceived() override;
  const LineFault* Fault() const override { return device_.Fault(); }

 private:
  int ModemBits() const;

  SerialDevice& device_;
  bool dtr_ = false;
  bool rts_ = false;
  bool break_ = false;
  uint8_t lastByte_ = 0;
};

// Any serial device (/dev/ttyUSB0, /dev/ttyACM0, /dev/ttyS0 ...) in the place of the selected
// COM port, driven through the kernel's modem-line calls. The device is held only while a
// session or a mode burst needs it and released between commands; a device that vanished
// is opened again by its path at the next session.
class TtyBackend final : public PortBackend {
 public:
  explicit TtyBackend(std::string devicePath);
  TtyBackend(std::string devicePath, SerialSyscalls& calls, Clock& clock);

  CommPort& Comm() override { return comm_; }
  IoPermission& Permission() override { return permission_; }
  Clock& Time() override { return clock_; }
  SessionMode Mode() const override { return SessionMode::Direct; }
  std::string SystemLine() const override { return kLinuxSystemLine; }
  // The one device, whichever COM port is selected.
  std::string DeviceForCom(int index) const override;
  bool BeginSession(uint16_t base) override;
  void EndSession() override;
  Lines* DeviceLines() override { return inSession_ ? &lines_ : nullptr; }
  std::string Problem() const override;
  bool RealHardware() const override { return true; }

  SerialDevice& Device() { return device_; }

 private:
  // Nothing to grant: the device's own driver moves the lines.
  class NoPermissionNeeded final : public IoPermission {
   public:
    bool EnablePortRange(uint16_t) override { return true; }
    bool DisablePortRange(uint16_t) override { return true; }
  };

  std::string devicePath_;
  std::unique_ptr<RealClock> ownClock_;
  Clock& clock_;
  SerialDevice device_;
  port::DeviceLines lines_;
  bool inSession_ = false;
  TermiosComm comm_;
  NoPermissionNeeded permission_;
};

}  // namespace vexilo::port
