#include "port/serial_device.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <utility>

#include "port/line_settings.h"

namespace vexilo::port {

bool DeviceVanished(int err) { return err == EIO || err == ENODEV || err == ENXIO; }

SerialDevice::SerialDevice(SerialSyscalls& calls, std::string path)
    : calls_(calls), path_(std::move(path)) {}

SerialDevice::~SerialDevice() { Close(); }

void SerialDevice::SetPath(const std::string& path) {
  if (!IsOpen()) path_ = path;
}

bool SerialDevice::Refuse(const char* call, int err) {
  fault_ = LineFault{path_, call, err, {}};
  if (fd_ >= 0) calls_.Close(fd_);
  fd_ = -1;
  return false;
}

bool SerialDevice::Open() {
  if (IsOpen()) return true;
  fault_.reset();
  // O_NONBLOCK: a tty without carrier would otherwise keep open() waiting.
  fd_ = calls_.Open(path_, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd_ < 0) return Refuse("open", errno);
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (calls_.Ioctl(fd_, TIOCMBIC, &lines) != 0) {
    const int err = errno;
    // A tty without modem lines (a pseudo-terminal) still has a line discipline; anything
    // else (a file, /dev/null) is no serial device at all.
    termios attr{};
    const bool isTty = calls_.TcGetAttr(fd_, &attr) == 0;
    return Refuse(isTty ? "TIOCMBIC" : "tcgetattr", err);
  }
  int status = 0;
  if (calls_.Ioctl(fd_, TIOCMGET, &status) != 0) return Refuse("TIOCMGET", errno);
  if (calls_.Ioctl(fd_, TIOCEXCL, nullptr) != 0) return Refuse("TIOCEXCL", errno);
  if (calls_.Flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    return Refuse("flock", errno == EWOULDBLOCK ? EBUSY : errno);
  }
  termios attr{};
  if (calls_.TcGetAttr(fd_, &attr) != 0) return Refuse("tcgetattr", errno);
  MakeRawLine(attr, LineSettings{9600, 8, Parity::Even, 2});
  attr.c_cflag &= ~HUPCL;
  if (calls_.TcSetAttr(fd_, TCSANOW, &attr) != 0) return Refuse("tcsetattr", errno);
  if (calls_.TcFlush(fd_, TCIOFLUSH) != 0) return Refuse("tcflush", errno);
  return true;
}

void SerialDevice::Close() {
  if (!IsOpen()) return;
  calls_.Close(fd_);  // the flock goes with the descriptor
  fd_ = -1;
}

bool SerialDevice::Check(int result, const char* call) {
  if (result >= 0) return true;
  const int err = errno;
  if (!fault_) fault_ = LineFault{path_, call, err, {}};
  if (DeviceVanished(err)) Close();
  return false;
}

bool SerialDevice::ChangeModemLines(int raise, int drop) {
  if (!IsOpen()) return false;
  if (raise != 0 && !Check(calls_.Ioctl(fd_, TIOCMBIS, &raise), "TIOCMBIS")) return false;
  if (drop != 0 && !Check(calls_.Ioctl(fd_, TIOCMBIC, &drop), "TIOCMBIC")) return false;
  return true;
}

std::optional<int> SerialDevice::Query(unsigned long request, const char* call) {
  int value = 0;
  if (!IsOpen() || !Check(calls_.Ioctl(fd_, request, &value), call)) return std::nullopt;
  return value;
}

std::optional<int> SerialDevice::ModemStatus() { return Query(TIOCMGET, "TIOCMGET"); }

bool SerialDevice::SetBreak(bool on) {
  if (!IsOpen()) return false;
  return on ? Check(calls_.Ioctl(fd_, TIOCSBRK, nullptr), "TIOCSBRK")
            : Check(calls_.Ioctl(fd_, TIOCCBRK, nullptr), "TIOCCBRK");
}

std::optional<int> SerialDevice::BytesWaiting() { return Query(FIONREAD, "FIONREAD"); }

std::optional<int> SerialDevice::BytesQueued() { return Query(TIOCOUTQ, "TIOCOUTQ"); }

bool SerialDevice::WriteByte(uint8_t value) {
  if (!IsOpen()) return false;
  const ssize_t written = calls_.Write(fd_, &value, 1);
  if (written == 1) return true;
  if (written < 0 && errno == EAGAIN) return false;  // queue full: the caller waits
  return Check(-1, "write");
}

std::optional<uint8_t> SerialDevice::ReadByte() {
  if (!IsOpen()) return std::nullopt;
  uint8_t byte = 0;
  const ssize_t got = calls_.Read(fd_, &byte, 1);
  if (got == 1) return byte;
  if (got < 0 && errno != EAGAIN && errno != EINTR) Check(-1, "read");
  return std::nullopt;
}

bool SerialDevice::WaitWritable(int timeoutMs) {
  if (!IsOpen()) return false;
  pollfd writable{fd_, POLLOUT, 0};
  int ready = 0;
  do {
    ready = calls_.Poll(&writable, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return Check(-1, "poll");
  if ((writable.revents & (POLLERR | POLLHUP)) != 0) {
    errno = EIO;
    return Check(-1, "poll");
  }
  return ready > 0 && (writable.revents & POLLOUT) != 0;
}

bool SerialDevice::Drain() {
  if (!IsOpen()) return false;
  int result = 0;
  do {
    result = calls_.TcDrain(fd_);
  } while (result < 0 && errno == EINTR);
  return Check(result, "tcdrain");
}

void SerialDevice::DiscardInput() {
  if (IsOpen()) Check(calls_.TcFlush(fd_, TCIFLUSH), "tcflush");
}

}  // namespace vexilo::port
