#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "port/backend.h"
#include "port/real_clock.h"
#include "port/termios_comm.h"

namespace vexilo::port {

// The processor's IN and OUT instructions (x86 only). The process needs the ports granted
// (ioperm) before it uses them. Elsewhere it has no ports: reads give 0xFF, writes vanish.
class X86PortIo final : public PortIo {
 public:
  static bool Available();
  uint8_t In(uint16_t port) override;
  void Out(uint16_t port, uint8_t value) override;
};

// Port permission by ioperm(2) on the ten ports of a UART. Refused without CAP_SYS_RAWIO
// (normally: not root).
class IopermPermission final : public IoPermission {
 public:
  using IopermFunction = int (*)(unsigned long from, unsigned long count, int turnOn);
  static constexpr unsigned long kPortCount = 10;

  // `ioperm` replaces the system call, for tests; null means the system call.
  explicit IopermPermission(IopermFunction ioperm = nullptr);
  bool EnablePortRange(uint16_t base) override;
  bool DisablePortRange(uint16_t base) override;

 private:
  IopermFunction ioperm_;
};

// The device paths of COM1 .. COM4.
struct IoBackendConfig {
  std::array<std::string, 4> comDevices{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};
};

// A real 16550 on the PC's I/O bus. As on NT-family systems, the session asks for the ports
// and holds the COM device open through the kernel's serial driver while it drives the
// registers itself.
class IoBackend final : public PortBackend {
 public:
  explicit IoBackend(IoBackendConfig config = {});

  PortIo& Io() override { return io_; }
  CommPort& Comm() override { return comm_; }
  IoPermission& Permission() override { return permission_; }
  Clock& Time() override { return clock_; }
  SessionMode Mode() const override { return SessionMode::OsHeld; }
  std::string SystemLine() const override { return kLinuxSystemLine; }
  std::string DeviceForCom(int index) const override;

 private:
  IoBackendConfig config_;
  RealClock clock_;
  X86PortIo io_;
  IopermPermission permission_;
  TermiosComm comm_;
};

}  // namespace vexilo::port
