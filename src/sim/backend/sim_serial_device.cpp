#include "sim/backend/sim_serial_device.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <utility>

namespace vexilo::sim {
namespace {

enum Reg : unsigned {
  kRegData = 0,
  kRegIer = 1,
  kRegFcr = 2,
  kRegLcr = 3,
  kRegMcr = 4,
  kRegLsr = 5,
  kRegMsr = 6
};
constexpr uint8_t kDtr = 0x01, kRts = 0x02;

}  // namespace

SimSerialSyscalls::SimSerialSyscalls(SimBackend& sim, std::string devicePath, uint64_t callNs)
    : sim_(sim), devicePath_(std::move(devicePath)), callNs_(callNs) {}

uint8_t SimSerialSyscalls::In(unsigned offset) {
  return sim_.Io().In(static_cast<uint16_t>(sim_.Base() + offset));
}

void SimSerialSyscalls::Out(unsigned offset, uint8_t value) {
  sim_.Io().Out(static_cast<uint16_t>(sim_.Base() + offset), value);
}

bool SimSerialSyscalls::Enter(int fd) {
  ++calls_;
  sim_.VirtualTime().Advance(callNs_);
  if (fd != kFd || !open_) {
    errno = EBADF;
    return false;
  }
  return true;
}

int SimSerialSyscalls::Open(const std::string& path, int) {
  ++calls_;
  sim_.VirtualTime().Advance(callNs_);
  if (path != devicePath_) {
    errno = ENOENT;
    return -1;
  }
  if (open_) {
    errno = EBUSY;
    return -1;
  }
  open_ = true;
  // The driver's own set-up: 9600 baud (the word format comes with tcsetattr), FIFOs on,
  // and DTR and RTS raised as Linux raises them on every open.
  Out(kRegIer, 0);
  Out(kRegLcr, 0x80 | lcr_);
  Out(kRegData, 12);
  Out(kRegIer, 0);
  Out(kRegLcr, lcr_);
  Out(kRegFcr, 0xC7);
  mcr_ = kDtr | kRts;
  Out(kRegMcr, mcr_);
  return kFd;
}

int SimSerialSyscalls::Close(int fd) {
  if (!Enter(fd)) return -1;
  open_ = false;
  sim_.CardAdapter().CommClosed(sim_.VirtualTime().NowNs());
  return 0;
}

int SimSerialSyscalls::Ioctl(int fd, unsigned long request, void* arg) {
  if (!Enter(fd)) return -1;
  int* value = static_cast<int*>(arg);
  auto modemBits = [](int bits) {
    return static_cast<uint8_t>(((bits & TIOCM_DTR) ? kDtr : 0) | ((bits & TIOCM_RTS) ? kRts : 0));
  };
  switch (request) {
    case TIOCEXCL:
      return 0;
    case TIOCMBIS:
      mcr_ |= modemBits(*value);
      Out(kRegMcr, mcr_);
      return 0;
    case TIOCMBIC:
      mcr_ &= static_cast<uint8_t>(~modemBits(*value));
      Out(kRegMcr, mcr_);
      return 0;
    case TIOCMGET: {
      if (failErrno_ != 0 && ++statusReads_ > failAfter_) {
        errno = failErrno_;
        return -1;
      }
      const uint8_t msr = In(kRegMsr);
      *value = ((mcr_ & kDtr) ? TIOCM_DTR : 0) | ((mcr_ & kRts) ? TIOCM_RTS : 0) |
               ((msr & 0x10) ? TIOCM_CTS : 0) | ((msr & 0x20) ? TIOCM_DSR : 0) |
               ((msr & 0x40) ? TIOCM_RNG : 0) | ((msr & 0x80) ? TIOCM_CAR : 0);
      return 0;
    }
    case TIOCSBRK:
    case TIOCCBRK:
      lcr_ = request == TIOCSBRK ? (lcr_ | 0x40) : (lcr_ & ~0x40);
      Out(kRegLcr, lcr_);
      return 0;
    case FIONREAD:
      *value = (In(kRegLsr) & 0x01) != 0 ? 1 : 0;
      return 0;
    case TIOCOUTQ:
      *value = (In(kRegLsr) & 0x40) != 0 ? 0 : 1;
      return 0;
    default:
      errno = ENOTTY;
      return -1;
  }
}

int SimSerialSyscalls::GetFlags(int fd) { return Enter(fd) ? 0 : -1; }
int SimSerialSyscalls::SetFlags(int fd, int) { return Enter(fd) ? 0 : -1; }
int SimSerialSyscalls::TcGetAttr(int fd, termios* attr) {
  if (!Enter(fd)) return -1;
  *attr = termios{};
  return 0;
}
int SimSerialSyscalls::TcSetAttr(int fd, int, const termios*) { return Enter(fd) ? 0 : -1; }
int SimSerialSyscalls::TcFlush(int fd, int) { return Enter(fd) ? 0 : -1; }
int SimSerialSyscalls::Flock(int fd, int) { return Enter(fd) ? 0 : -1; }

int SimSerialSyscalls::TcDrain(int fd) {
  if (!Enter(fd)) return -1;
  for (int i = 0; i < 100000 && (In(kRegLsr) & 0x40) == 0; ++i) sim_.VirtualTime().Advance(10000);
  return 0;
}

ssize_t SimSerialSyscalls::Write(int fd, const void* data, size_t size) {
  if (!Enter(fd)) return -1;
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) {
    sim_.CardAdapter().CommByte(bytes[i], sim_.VirtualTime().NowNs());
    Out(kRegData, bytes[i]);
  }
  return static_cast<ssize_t>(size);
}

ssize_t SimSerialSyscalls::Read(int fd, void* data, size_t size) {
  if (!Enter(fd)) return -1;
  if (size == 0 || (In(kRegLsr) & 0x01) == 0) {
    errno = EAGAIN;
    return -1;
  }
  *static_cast<uint8_t*>(data) = In(kRegData);
  return 1;
}

int SimSerialSyscalls::Poll(pollfd* fds, nfds_t, int) {
  if (!Enter(fds->fd)) return -1;
  // Room in the transmit FIFO; a full one empties within a character time at 9600 baud.
  for (int i = 0; i < 1000 && (In(kRegLsr) & 0x20) == 0; ++i) sim_.VirtualTime().Advance(100000);
  fds->revents = POLLOUT;
  return 1;
}

}  // namespace vexilo::sim
