#pragma once
#include <cstdint>
#include <string>

#include "port/line_program.h"

namespace vexilo::port {

// A call on the adapter's lines that failed: which device, which call, the system's errno
// (or a library's own code).
struct LineFault {
  std::string device;
  std::string call;
  int err = 0;
  // The diagnostic line itself, from lines that explain their own failures (a USB library's
  // codes are not errnos); empty for a system call's errno.
  std::string explained;
};

// The adapter's wires as a port session drives them: DTR, RTS and the TX line held in break
// as outputs, CTS as the input, and the bytes of the card's IO line. A 16550's registers
// (the simulator, x86 port I/O) are one implementation; a serial device's modem-line calls
// are another. Nothing a failed call returned is passed on as data: the first failure is
// kept, and from then on the outputs are left alone and the inputs read as 0.
class Lines {
 public:
  virtual ~Lines() = default;
  virtual void SetModemLines(bool dtr, bool rts) = 0;
  virtual void SetBreak(bool on) = 0;
  virtual bool Cts() = 0;
  // The byte side of the UART: room to send, a byte waiting, one byte out, one byte in.
  virtual bool TransmitterEmpty() = 0;
  virtual bool DataReady() = 0;
  virtual void WriteByte(uint8_t value) = 0;
  virtual uint8_t ReadByte() = 0;
  // Throws away what was received and not read yet, in the device and on the host. A 16550's
  // FIFO is emptied by the reads of its receive register instead.
  virtual void DiscardReceived() {}
  // Sends the modem lines' present state once more: what one line change costs, for timing.
  virtual void RefreshModemLines() {}
  // The first failed call since the lines were taken, or null.
  virtual const LineFault* Fault() const { return nullptr; }
  // Lines that make whole line programs at once give their batch here; null means every
  // line operation is made as it is called.
  virtual LineBatch* Batch() { return nullptr; }
};

}  // namespace vexilo::port
