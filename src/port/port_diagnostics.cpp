#include "port/port_diagnostics.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "port/serial_device.h"
#include "port/serial_ports.h"

namespace vexilo::port {
namespace {

std::string Hex(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%X", unsigned{value});
  return text;
}

std::string ListOf(const std::vector<std::string>& devices) {
  std::string list;
  for (const std::string& d : devices) list += (list.empty() ? "" : ", ") + d;
  return list;
}

std::string ThisProgram() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("vexilo-cli") : self.string();
}

std::string WhatToDo(const LineFault& f, const std::vector<std::string>& existing) {
  const bool opening = f.call == "open";
  if (opening && (f.err == EACCES || f.err == EPERM)) {
    return "add yourself to the group dialout (sudo usermod -aG dialout $USER) and log in "
           "again, or install the udev rule " +
           std::string(kUdevRuleHint);
  }
  if (f.err == EBUSY) {
    return "another program holds it (a terminal program, ModemManager, a second VEXILO); "
           "close that program and try again";
  }
  if (opening && (f.err == ENOENT || f.err == ENODEV || f.err == ENXIO)) {
    return existing.empty() ? "no serial device was found: is the adapter plugged in?"
                            : "serial devices here: " + ListOf(existing) +
                                  " (vexilo-cli --list-ports tells which is which)";
  }
  if ((opening && f.err == EISDIR) || f.call == "tcgetattr") {
    return "it is not a serial device; choose one such as /dev/ttyUSB0 or /dev/ttyS0 "
           "(vexilo-cli --list-ports)";
  }
  if (f.call == "TIOCMBIC" || f.call == "TIOCMGET") {
    if (!opening && DeviceVanished(f.err)) {
      return "the adapter was unplugged or stopped answering; plug it in again and repeat "
             "the command";
    }
    return "the device has no modem lines (a pseudo-terminal, or a USB CDC device without "
           "them); the adapter needs DTR, RTS and CTS: use a real serial port or a USB "
           "serial adapter (FTDI, PL2303, CH340, CP210x)";
  }
  if (DeviceVanished(f.err)) {
    return "the adapter was unplugged or stopped answering; plug it in again and repeat the "
           "command";
  }
  return "check the device and the adapter";
}

}  // namespace

std::string ExplainDeviceFault(const LineFault& fault, const std::vector<std::string>& existing) {
  std::string what = fault.call == "open" ? "cannot open" : fault.call + " failed";
  return fault.device + ": " + what + ": " + std::strerror(fault.err) + ": " +
         WhatToDo(fault, existing);
}

std::string ExplainDeviceFault(const LineFault& fault) {
  std::vector<std::string> existing;
  for (const SerialPortInfo& port : ListSerialPorts()) existing.push_back(port.device);
  return ExplainDeviceFault(fault, existing);
}

std::string ExplainIoPermission(uint16_t base, int err) {
  if (err == ENOSYS) {
    return "x86 port I/O at " + Hex(base) + ": " + std::strerror(err) +
           ": this system gives no process the I/O ports (not an x86 PC, or a container or "
           "sandbox without them); use --port tty with the port's device";
  }
  return "x86 port I/O at " + Hex(base) + ": " + std::strerror(err) +
         ": the ports need root or the capability CAP_SYS_RAWIO: run it as root (sudo), or "
         "grant the capability once (sudo setcap cap_sys_rawio+ep " +
         ThisProgram() + "); or use --port tty with the port's device";
}

std::string ExplainNoUart(uint16_t base) {
  return "x86 port I/O at " + Hex(base) +
         ": no 16550 answers there (its scratch register did not keep a value): check the "
         "base (vexilo-cli --list-ports shows each /dev/ttyS port's base) or --io-base";
}

}  // namespace vexilo::port
