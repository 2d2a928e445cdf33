#include "port/tty_uart.h"

#include <fcntl.h>
#include <sys/ioctl.h>

#include <utility>

namespace vexilo::port {

namespace {

constexpr unsigned kUartClockBaud = 115200;  // 1.8432 MHz / 16
constexpr uint8_t kLcrBreak = 0x40;
constexpr uint8_t kLcrDlab = 0x80;
constexpr uint8_t kMcrDtr = 0x01;
constexpr uint8_t kMcrRts = 0x02;

enum Register : uint16_t { kData = 0, kIer = 1, kIir = 2, kLcr = 3, kMcr = 4, kLsr = 5, kMsr = 6 };

}  // namespace

TtyUart::TtyUart(SerialSyscalls& calls, std::string devicePath)
    : calls_(calls), devicePath_(std::move(devicePath)) {}

TtyUart::~TtyUart() { Release(); }

bool TtyUart::Attach(uint16_t base) {
  base_ = base;
  if (DeviceOpen()) return true;
  fd_ = calls_.Open(devicePath_, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd_ < 0) return false;
  if (calls_.Ioctl(fd_, TIOCEXCL, nullptr) != 0) {
    Release();
    return false;
  }
  ApplyLine();
  // The kernel raised DTR and RTS on open; put them where MCR has them.
  ApplyModemLines(kMcrDtr | kMcrRts);
  ApplyBreak();
  calls_.TcFlush(fd_, TCIOFLUSH);
  ReadMsr();  // the change bits count from here
  return true;
}

void TtyUart::Release() {
  if (!DeviceOpen()) return;
  calls_.Close(fd_);
  fd_ = -1;
}

LineSettings TtyUart::Line() const {
  LineSettings line;
  const unsigned divisor = (unsigned{dlm_} << 8) | dll_;
  line.baud = divisor == 0 ? kUartClockBaud : kUartClockBaud / divisor;
  line.dataBits = 5 + (lcr_ & 0x03);
  line.stopBits = (lcr_ & 0x04) != 0 ? 2 : 1;
  if ((lcr_ & 0x08) == 0) {
    line.parity = Parity::None;
  } else if ((lcr_ & 0x20) != 0) {  // stick parity
    line.parity = (lcr_ & 0x10) != 0 ? Parity::Space : Parity::Mark;
  } else {
    line.parity = (lcr_ & 0x10) != 0 ? Parity::Even : Parity::Odd;
  }
  return line;
}

uint8_t TtyUart::In(uint16_t port) {
  const uint16_t offset = static_cast<uint16_t>(port - base_);
  if (offset > 7 || !DeviceOpen()) return 0xFF;
  switch (offset) {
    case kData:
      return Dlab() ? dll_ : ReadRbr();
    case kIer:
      return Dlab() ? dlm_ : ier_;
    case kIir:  // never an interrupt pending; bits 6-7 tell that the FIFOs are on
      return (fcr_ & 0x01) != 0 ? 0xC1 : 0x01;
    case kLcr:
      return lcr_;
    case kMcr:
      return mcr_;
    case kLsr:
      return ReadLsr();
    case kMsr:
      return ReadMsr();
    default:
      return scr_;
  }
}

void TtyUart::Out(uint16_t port, uint8_t value) {
  const uint16_t offset = static_cast<uint16_t>(port - base_);
  if (offset > 7) return;
  switch (offset) {
    case kData:
      if (Dlab()) {
        dll_ = value;
      } else {
        WriteThr(value);
      }
      break;
    case kIer:
      if (Dlab()) {
        dlm_ = value;
      } else {
        ier_ = value;
      }
      break;
    case kIir:
      WriteFcr(value);
      break;
    case kLcr:
      WriteLcr(value);
      break;
    case kMcr:
      WriteMcr(value);
      break;
    case kLsr:
    case kMsr:
      break;  // read-only
    default:
      scr_ = value;
  }
}

uint8_t TtyUart::ReadRbr() {
  uint8_t byte = 0;
  if (calls_.Read(fd_, &byte, 1) == 1) rbr_ = byte;
  return rbr_;
}

uint8_t TtyUart::ReadLsr() {
  int waiting = 0;
  int queued = 0;
  if (calls_.Ioctl(fd_, FIONREAD, &waiting) != 0 || calls_.Ioctl(fd_, TIOCOUTQ, &queued) != 0) {
    return 0xFF;
  }
  uint8_t lsr = 0;
  if (waiting > 0) lsr |= 0x01;
  if (queued == 0) lsr |= 0x60;
  return lsr;
}

uint8_t TtyUart::ReadMsr() {
  int status = 0;
  if (calls_.Ioctl(fd_, TIOCMGET, &status) != 0) return 0xFF;
  uint8_t msr = 0;
  if ((status & TIOCM_CTS) != 0) msr |= 0x10;
  if ((status & TIOCM_DSR) != 0) msr |= 0x20;
  if ((status & TIOCM_RNG) != 0) msr |= 0x40;
  if ((status & TIOCM_CAR) != 0) msr |= 0x80;
  const uint8_t changed = static_cast<uint8_t>(msr ^ lastMsr_);
  lastMsr_ = msr;
  uint8_t deltas = static_cast<uint8_t>((changed & 0xB0) >> 4);    // DCTS, DDSR, DDCD
  if ((changed & 0x40) != 0 && (msr & 0x40) == 0) deltas |= 0x04;  // trailing edge of RI
  return static_cast<uint8_t>(msr | deltas);
}

void TtyUart::WriteThr(uint8_t value) {
  if (DeviceOpen()) calls_.Write(fd_, &value, 1);
}

void TtyUart::WriteFcr(uint8_t value) {
  fcr_ = value;
  if (!DeviceOpen()) return;
  if ((value & 0x02) != 0) calls_.TcFlush(fd_, TCIFLUSH);
  if ((value & 0x04) != 0) calls_.TcFlush(fd_, TCOFLUSH);
}

void TtyUart::WriteLcr(uint8_t value) {
  const uint8_t old = lcr_;
  lcr_ = value;
  const bool latchClosed = (old & kLcrDlab) != 0 && (value & kLcrDlab) == 0;
  const bool formatChanged = (value & kLcrDlab) == 0 && ((old ^ value) & 0x3F) != 0;
  if (latchClosed || formatChanged) ApplyLine();
  if (((old ^ value) & kLcrBreak) != 0) ApplyBreak();
}

void TtyUart::WriteMcr(uint8_t value) {
  const uint8_t changed = static_cast<uint8_t>((mcr_ ^ value) & (kMcrDtr | kMcrRts));
  mcr_ = value;
  if (changed != 0) ApplyModemLines(changed);
}

void TtyUart::ApplyLine() {
  if (!DeviceOpen() || (dll_ == 0 && dlm_ == 0)) return;
  termios attr{};
  if (calls_.TcGetAttr(fd_, &attr) != 0) return;
  MakeRawLine(attr, Line());
  calls_.TcSetAttr(fd_, TCSANOW, &attr);
}

void TtyUart::ApplyBreak() {
  if (!DeviceOpen()) return;
  calls_.Ioctl(fd_, (lcr_ & kLcrBreak) != 0 ? TIOCSBRK : TIOCCBRK, nullptr);
}

void TtyUart::ApplyModemLines(uint8_t changed) {
  if (!DeviceOpen()) return;
  int raise = 0;
  int drop = 0;
  if ((changed & kMcrDtr) != 0) ((mcr_ & kMcrDtr) != 0 ? raise : drop) |= TIOCM_DTR;
  if ((changed & kMcrRts) != 0) ((mcr_ & kMcrRts) != 0 ? raise : drop) |= TIOCM_RTS;
  if (raise != 0) calls_.Ioctl(fd_, TIOCMBIS, &raise);
  if (drop != 0) calls_.Ioctl(fd_, TIOCMBIC, &drop);
}

}  // namespace vexilo::port
