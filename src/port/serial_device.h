#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "port/lines.h"
#include "port/serial_syscalls.h"

namespace vexilo::port {

// One serial device of the operating system as the adapter needs it. Open lowers DTR and RTS
// as its very first call (the kernel raises both when a tty opens; this keeps the pulse as
// short as Linux allows), refuses a device without modem lines, holds the device exclusively
// (TIOCEXCL and flock) and sets it raw at 9600 baud 8E2 without handshake, with HUPCL cleared
// so that closing leaves the lines as the last call set them.
//
// Every call records the first failure (Fault). A device that vanished (the adapter was
// unplugged: EIO, ENODEV, ENXIO) is closed at once; the next Open tries its path again.
class SerialDevice {
 public:
  SerialDevice(SerialSyscalls& calls, std::string path);
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // True when open afterwards; otherwise Fault() says why.
  bool Open();
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  // Ignored while open.
  void SetPath(const std::string& path);

  // Raise and drop TIOCM_DTR / TIOCM_RTS bits.
  bool ChangeModemLines(int raise, int drop);
  // TIOCM_* bits of the modem status.
  std::optional<int> ModemStatus();
  bool SetBreak(bool on);
  std::optional<int> BytesWaiting();
  std::optional<int> BytesQueued();
  bool WriteByte(uint8_t value);
  // The next byte, if one is waiting.
  std::optional<uint8_t> ReadByte();
  // Waits at most `timeoutMs` for room in the output queue.
  bool WaitWritable(int timeoutMs);
  // Waits until every byte written has left the line.
  bool Drain();
  void DiscardInput();

  const LineFault* Fault() const { return fault_ ? &*fault_ : nullptr; }
  void ClearFault() { fault_.reset(); }

 private:
  bool Check(int result, const char* call);
  // An ioctl that reads one int.
  std::optional<int> Query(unsigned long request, const char* call);
  bool Refuse(const char* call, int err);

  SerialSyscalls& calls_;
  std::string path_;
  int fd_ = -1;
  std::optional<LineFault> fault_;
};

// errno values that mean the device is gone (an unplugged USB adapter).
bool DeviceVanished(int err);

}  // namespace vexilo::port
