#pragma once
#include <poll.h>
#include <sys/types.h>
#include <termios.h>

#include <cstddef>
#include <string>

namespace vexilo::port {

// The operating-system calls a serial device needs, one virtual per call, so that the
// termios code can run against a fake in tests. Results and errno follow the POSIX calls.
class SerialSyscalls {
 public:
  virtual ~SerialSyscalls() = default;
  virtual int Open(const std::string& path, int flags) = 0;
  virtual int Close(int fd) = 0;
  // For requests without an argument (TIOCEXCL, TIOCSBRK, TIOCCBRK) `arg` is null.
  virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual int GetFlags(int fd) = 0;
  virtual int SetFlags(int fd, int flags) = 0;
  virtual int TcGetAttr(int fd, termios* attr) = 0;
  virtual int TcSetAttr(int fd, int when, const termios* attr) = 0;
  virtual int TcFlush(int fd, int queue) = 0;
  // Waits until everything written has left the line.
  virtual int TcDrain(int fd) = 0;
  // flock(2): an advisory lock that other serial programs honour.
  virtual int Flock(int fd, int operation) = 0;
  virtual ssize_t Write(int fd, const void* data, size_t size) = 0;
  virtual ssize_t Read(int fd, void* data, size_t size) = 0;
  virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
};

// The calls themselves.
class LinuxSerialSyscalls final : public SerialSyscalls {
 public:
  int Open(const std::string& path, int flags) override;
  int Close(int fd) override;
  int Ioctl(int fd, unsigned long request, void* arg) override;
  int GetFlags(int fd) override;
  int SetFlags(int fd, int flags) override;
  int TcGetAttr(int fd, termios* attr) override;
  int TcSetAttr(int fd, int when, const termios* attr) override;
  int TcFlush(int fd, int queue) override;
  int TcDrain(int fd) override;
  int Flock(int fd, int operation) override;
  ssize_t Write(int fd, const void* data, size_t size) override;
  ssize_t Read(int fd, void* data, size_t size) override;
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;
};

// One process-wide instance of the real calls.
SerialSyscalls& SystemSerialSyscalls();

}  // namespace vexilo::port
