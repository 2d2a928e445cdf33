#pragma once
#include <fcntl.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "port/serial_syscalls.h"

namespace vexilo::port::testing {

// A serial device in memory: records the calls in a readable form and keeps the modem lines,
// the break state and the queues a driver would.
class FakeSerialSyscalls final : public SerialSyscalls {
 public:
  int Open(const std::string& path, int flags) override {
    calls.push_back("open " + path);
    if (path != devicePath || openFd >= 0 || openErrno != 0) {
      errno = openErrno != 0 ? openErrno : path != devicePath ? ENOENT : EBUSY;
      return -1;
    }
    openFd = 7;
    openFlags = flags;
    modemOut = TIOCM_DTR | TIOCM_RTS;  // Linux raises both on open
    return openFd;
  }
  int Close(int fd) override {
    calls.push_back("close");
    if (fd != openFd) return -1;
    openFd = -1;
    return 0;
  }
  int Ioctl(int, unsigned long request, void* arg) override {
    int* value = static_cast<int*>(arg);
    if (auto failing = failingIoctls.find(request); failing != failingIoctls.end()) {
      if (request == TIOCMGET) calls.push_back("mget");
      errno = failing->second;
      return -1;
    }
    switch (request) {
      case TIOCEXCL:
        calls.push_back("excl");
        return 0;
      case TIOCMBIS:
        calls.push_back("mbis " + std::to_string(*value));
        modemOut |= *value;
        return 0;
      case TIOCMBIC:
        calls.push_back("mbic " + std::to_string(*value));
        modemOut &= ~*value;
        return 0;
      case TIOCSBRK:
        calls.push_back("sbrk");
        inBreak = true;
        return 0;
      case TIOCCBRK:
        calls.push_back("cbrk");
        inBreak = false;
        return 0;
      case TIOCMGET:
        calls.push_back("mget");
        *value = modemIn | modemOut;
        return 0;
      case FIONREAD:
        *value = static_cast<int>(input.size());
        return 0;
      case TIOCOUTQ:
        *value = outputQueued;
        return 0;
      default:
        return -1;
    }
  }
  int GetFlags(int) override { return openFlags; }
  int SetFlags(int, int flags) override {
    calls.push_back((flags & O_NONBLOCK) != 0 ? "setfl nonblock" : "setfl block");
    openFlags = flags;
    return 0;
  }
  int TcGetAttr(int, termios* attr) override {
    calls.push_back("tcgetattr");
    if (!isTty) {
      errno = ENOTTY;
      return -1;
    }
    *attr = attrs;
    return 0;
  }
  int TcSetAttr(int, int, const termios* attr) override {
    calls.push_back("tcsetattr");
    attrs = *attr;
    return 0;
  }
  int TcFlush(int, int queue) override {
    calls.push_back("flush " + std::to_string(queue));
    if (queue != TCOFLUSH) input.clear();
    return 0;
  }
  int TcDrain(int) override {
    calls.push_back("drain");
    outputQueued = 0;
    return 0;
  }
  int Flock(int, int) override {
    calls.push_back("flock");
    if (lockedElsewhere) {
      errno = EWOULDBLOCK;
      return -1;
    }
    return 0;
  }
  ssize_t Write(int, const void* data, size_t size) override {
    const auto* bytes = static_cast<const unsigned char*>(data);
    written.insert(written.end(), bytes, bytes + size);
    return static_cast<ssize_t>(size);
  }
  ssize_t Read(int, void* data, size_t size) override {
    if (input.empty() || size == 0) {
      errno = EAGAIN;
      return -1;
    }
    *static_cast<unsigned char*>(data) = input.front();
    input.pop_front();
    return 1;
  }
  int Poll(pollfd* fds, nfds_t, int timeoutMs) override {
    lastPollTimeoutMs = timeoutMs;
    fds->revents = writable ? POLLOUT : 0;
    return writable ? 1 : 0;
  }

  std::string devicePath = "/dev/ttyUSB0";
  int openErrno = 0;                           // open fails with this errno
  std::map<unsigned long, int> failingIoctls;  // request -> errno
  bool isTty = true;                           // tcgetattr works
  bool lockedElsewhere = false;                // another program holds the flock
  std::vector<std::string> calls;
  int openFd = -1;
  int openFlags = 0;
  int modemOut = 0;  // DTR, RTS as driven
  int modemIn = 0;   // CTS, DSR, RI, CD as seen
  bool inBreak = false;
  termios attrs{};
  std::deque<unsigned char> input;
  std::vector<unsigned char> written;
  int outputQueued = 0;
  bool writable = true;
  int lastPollTimeoutMs = -2;
};

}  // namespace vexilo::port::testing
