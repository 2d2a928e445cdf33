#include "port/termios_comm.h"

#include <fcntl.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <utility>

#include "port/line_settings.h"

namespace vexilo::port {

TermiosComm::TermiosComm(SerialSyscalls& calls, Clock& clock, std::string portName)
    : calls_(calls), clock_(clock), portName_(std::move(portName)) {}

TermiosComm::~TermiosComm() { CommDisconnect(); }

void TermiosComm::CommSetPortName(const std::string& name) {
  if (!CommConnected()) portName_ = name;
}

bool TermiosComm::CommConnect() {
  if (CommConnected()) return true;
  // O_NONBLOCK: a tty without carrier would otherwise keep open() waiting.
  fd_ = calls_.Open(portName_, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd_ < 0) return false;
  if (!Configure()) {
    CloseDevice();
    return false;
  }
  return true;
}

bool TermiosComm::Configure() {
  if (calls_.Ioctl(fd_, TIOCEXCL, nullptr) != 0) return false;
  const int flags = calls_.GetFlags(fd_);
  if (flags < 0 || calls_.SetFlags(fd_, flags & ~O_NONBLOCK) != 0) return false;
  termios attr{};
  if (calls_.TcGetAttr(fd_, &attr) != 0) return false;
  MakeRawLine(attr, LineSettings{9600, 8, Parity::Even, 2});
  if (calls_.TcSetAttr(fd_, TCSANOW, &attr) != 0) return false;
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (calls_.Ioctl(fd_, TIOCMBIC, &lines) != 0) return false;
  return calls_.TcFlush(fd_, TCIOFLUSH) == 0;
}

void TermiosComm::CommDisconnect() {
  if (!CommConnected()) return;
  DrainBounded();
  CloseDevice();
}

void TermiosComm::CloseDevice() {
  calls_.Close(fd_);
  fd_ = -1;
}

void TermiosComm::DrainBounded() {
  int queued = 0;
  if (calls_.Ioctl(fd_, TIOCOUTQ, &queued) != 0) return;
  uint64_t lastProgressUs = clock_.NowUs();
  while (queued > 0) {
    if (clock_.NowUs() - lastProgressUs >= uint64_t{kOutputTimeoutMs} * 1000) return;
    clock_.SleepMs(1);
    int now = 0;
    if (calls_.Ioctl(fd_, TIOCOUTQ, &now) != 0) return;
    if (now < queued) lastProgressUs = clock_.NowUs();
    queued = now;
  }
}

bool TermiosComm::CommSendByte(uint8_t value) {
  if (!CommConnected()) return false;
  calls_.TcFlush(fd_, TCIFLUSH);  // nobody listens to what comes back
  pollfd writable{fd_, POLLOUT, 0};
  int ready = 0;
  do {
    ready = calls_.Poll(&writable, 1, kOutputTimeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0 || (writable.revents & POLLOUT) == 0) return false;
  return calls_.Write(fd_, &value, 1) == 1;
}

}  // namespace vexilo::port
