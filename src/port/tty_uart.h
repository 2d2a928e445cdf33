#pragma once
#include <cstdint>
#include <string>

#include "port/line_settings.h"
#include "port/port_io.h"
#include "port/serial_syscalls.h"

namespace vexilo::port {

// A 16550 emulated over any serial device (a USB adapter, a tty with a driver of its own):
// the eight registers at a chosen base are mapped to termios settings and modem-line
// ioctls, so code written for the UART's registers drives the device's lines.
//
//   THR / RBR     one byte written / read
//   divisor, LCR  speed (115200 / divisor) and word format, applied when the divisor latch
//                 is closed again or the format changes; LCR bit 6 = break
//   MCR           bit 0 DTR, bit 1 RTS
//   LSR           bit 0 bytes waiting, bits 5 and 6 output queue empty
//   MSR           CTS, DSR, RI, DCD and their change bits
//   IER, FCR, SCR kept as written (FCR bits 1 and 2 flush the queues)
//
// Ports outside the eight read 0xFF, as an absent UART does; so do all of them while the
// device is not open.
class TtyUart final : public PortIo {
 public:
  TtyUart(SerialSyscalls& calls, std::string devicePath);
  ~TtyUart() override;
  TtyUart(const TtyUart&) = delete;
  TtyUart& operator=(const TtyUart&) = delete;

  // Answers at `base` from now on and opens the device if it is not open; the registers'
  // current contents are applied to it. False when the device does not open.
  bool Attach(uint16_t base);
  // Closes the device so that someone else may open it; the registers keep their contents.
  void Release();
  bool DeviceOpen() const { return fd_ >= 0; }
  uint16_t Base() const { return base_; }
  const std::string& DevicePath() const { return devicePath_; }
  // The line the registers describe now.
  LineSettings Line() const;

  uint8_t In(uint16_t port) override;
  void Out(uint16_t port, uint8_t value) override;

 private:
  bool Dlab() const { return (lcr_ & 0x80) != 0; }
  uint8_t ReadRbr();
  uint8_t ReadLsr();
  uint8_t ReadMsr();
  void WriteThr(uint8_t value);
  void WriteFcr(uint8_t value);
  void WriteLcr(uint8_t value);
  void WriteMcr(uint8_t value);
  void ApplyLine();
  void ApplyBreak();
  void ApplyModemLines(uint8_t changed);

  SerialSyscalls& calls_;
  std::string devicePath_;
  int fd_ = -1;
  uint16_t base_ = 0x3F8;
  // As the operating system leaves a 16550: 9600 baud, 8N1.
  uint8_t dll_ = 12;
  uint8_t dlm_ = 0;
  uint8_t ier_ = 0;
  uint8_t fcr_ = 0;
  uint8_t lcr_ = 0x03;
  uint8_t mcr_ = 0;
  uint8_t scr_ = 0;
  uint8_t rbr_ = 0;
  uint8_t lastMsr_ = 0;
};

}  // namespace vexilo::port
