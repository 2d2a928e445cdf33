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
  // errno of the last refused request, 0 after a granted one.
  int LastError() const { return lastError_; }
  uint16_t LastBase() const { return lastBase_; }

 private:
  IopermFunction ioperm_;
  int lastError_ = 0;
  uint16_t lastBase_ = 0;
};

// The device paths of COM1 .. COM4 and their UARTs' I/O bases. A base of 0 is taken from the
// kernel's description of the device (a PCI card's 16550 sits wherever the card was put),
// else the standard COM base.
struct IoBackendConfig {
  std::array<std::string, 4> comDevices{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};
  std::array<uint16_t, 4> comBases{0, 0, 0, 0};
  std::string sysRoot = "/sys";
};

// Whether a 16550 answers at `base`: its scratch register keeps what is written to it. The
// register is put back as it was.
bool UartAnswers(PortIo& io, uint16_t base);

// A real 16550 on the PC's I/O bus. As on NT-family systems, the session asks for the ports
// and holds the COM device open through the kernel's serial driver while it drives the
// registers itself.
class IoBackend final : public PortBackend {
 public:
  explicit IoBackend(IoBackendConfig config = {});
  IoBackend(IoBackendConfig config, PortIo& io, IopermPermission::IopermFunction ioperm,
            SerialSyscalls& calls);

  PortIo& Io() override { return io_; }
  CommPort& Comm() override { return comm_; }
  IoPermission& Permission() override { return permission_; }
  Clock& Time() override { return clock_; }
  SessionMode Mode() const override { return SessionMode::OsHeld; }
  std::string SystemLine() const override { return kLinuxSystemLine; }
  std::string DeviceForCom(int index) const override;
  uint16_t BaseForCom(int index) const override;
  bool BeginSession(uint16_t base) override;
  std::string Problem() const override;
  bool RealHardware() const override { return true; }

 private:
  IoBackendConfig config_;
  RealClock clock_;
  X86PortIo x86Io_;
  PortIo& io_;
  IopermPermission permission_;
  SerialDevice commDevice_;
  TermiosComm comm_;
  uint16_t lastBase_ = 0;
  bool noUart_ = false;
};

}  // namespace vexilo::port
