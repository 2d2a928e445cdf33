#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexilo::port {

// A serial device of this machine, as the kernel describes it in sysfs.
struct SerialPortInfo {
  std::string device;       // "/dev/ttyS0", "/dev/ttyUSB0"
  std::string description;  // "16550A UART at I/O 0x3F8", "USB 0403:6001 FT232R (ftdi_sio)"
  uint16_t ioBase = 0;      // a UART on the I/O bus; 0 otherwise
  bool modemLines = true;   // DTR, RTS and CTS, as a bit-banged adapter needs them
  bool ftdi = false;        // an FTDI chip
};

// The serial devices under `sysRoot`/class/tty: 8250/16550 ports that have a UART (ports
// whose type is unknown are left out), USB serial converters and CDC ACM devices.
std::vector<SerialPortInfo> ListSerialPorts(const std::string& sysRoot = "/sys");

// The I/O base of a /dev/ttySn, when the kernel knows it.
std::optional<uint16_t> IoBaseOfDevice(const std::string& device,
                                       const std::string& sysRoot = "/sys");

}  // namespace vexilo::port
