#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "port/clock.h"
#include "port/comm_port.h"
#include "port/io_permission.h"
#include "port/lines.h"
#include "port/port_io.h"

namespace vexilo::port {

// How a port session prepares the UART: by writing its registers itself (direct mode), or by
// asking for port permission and holding the COM device open through the operating system
// while it drives the lines (OS-held mode).
enum class SessionMode { Direct, OsHeld };

// The standard I/O bases of COM1 .. COM4.
inline constexpr uint16_t kStandardComBases[4] = {0x3F8, 0x2F8, 0x3E8, 0x2E8};

// The status bar line of every backend on this system.
inline constexpr char kLinuxSystemLine[] = "System : Linux";

// Everything a port session needs from one kind of port access: the registers, the serial
// device, the permission to use the ports, the clock and how to open a session.
class PortBackend {
 public:
  virtual ~PortBackend() = default;
  // The I/O ports of the machine; a backend without a 16550 register file has none.
  virtual PortIo& Io();
  virtual CommPort& Comm() = 0;
  virtual IoPermission& Permission() = 0;
  virtual Clock& Time() = 0;
  virtual SessionMode Mode() const = 0;
  // Shown in the status bar, for example kLinuxSystemLine.
  virtual std::string SystemLine() const = 0;
  // The device path `comm` opens for COM1 .. COM4 (index 0 .. 3).
  virtual std::string DeviceForCom(int index) const = 0;
  // Called by a port session once it has chosen the UART at `base`, before it touches any
  // register, and after it has given the UART back. A backend whose registers stand for a
  // device of the operating system opens that device here; false means the UART cannot be
  // reached and the session must not touch it.
  // Told before BeginSession which use of the adapter the session is for ("avr/pic" or
  // "phoenix"), for a backend whose lines work differently for the two.
  virtual void PrepareSession(std::string_view portName) { (void)portName; }
  virtual bool BeginSession(uint16_t base) {
    (void)base;
    return true;
  }
  virtual void EndSession() {}
  // A backend that moves the adapter's lines through a device of its own (a serial device's
  // modem-line calls) gives them here once BeginSession has taken the device; null means the
  // lines are the registers of a 16550 at the session's base.
  virtual Lines* DeviceLines() { return nullptr; }
  // The I/O base of the UART of COM1 .. COM4 (index 0 .. 3).
  virtual uint16_t BaseForCom(int index) const { return kStandardComBases[index & 3]; }
  // Why the last permission request or BeginSession failed: the device or base, the system's
  // reason and what to do. Empty when the backend has nothing to add.
  virtual std::string Problem() const { return {}; }
  // A line about the device worth showing once (what it measured), taken by the session
  // that opened it; empty when there is none.
  virtual std::string TakeNote() { return {}; }
  // A real port (not the simulator): its line calls are timed for estimates.
  virtual bool RealHardware() const { return false; }
};

}  // namespace vexilo::port
