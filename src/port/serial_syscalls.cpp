#include "port/serial_syscalls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vexilo::port {

int LinuxSerialSyscalls::Open(const std::string& path, int flags) {
  return ::open(path.c_str(), flags);
}

int LinuxSerialSyscalls::Close(int fd) { return ::close(fd); }

int LinuxSerialSyscalls::Ioctl(int fd, unsigned long request, void* arg) {
  return ::ioctl(fd, request, arg);
}

int LinuxSerialSyscalls::GetFlags(int fd) { return ::fcntl(fd, F_GETFL); }

int LinuxSerialSyscalls::SetFlags(int fd, int flags) { return ::fcntl(fd, F_SETFL, flags); }

int LinuxSerialSyscalls::TcGetAttr(int fd, termios* attr) { return ::tcgetattr(fd, attr); }

int LinuxSerialSyscalls::TcSetAttr(int fd, int when, const termios* attr) {
  return ::tcsetattr(fd, when, attr);
}

int LinuxSerialSyscalls::TcFlush(int fd, int queue) { return ::tcflush(fd, queue); }

int LinuxSerialSyscalls::TcDrain(int fd) { return ::tcdrain(fd); }

int LinuxSerialSyscalls::Flock(int fd, int operation) { return ::flock(fd, operation); }

ssize_t LinuxSerialSyscalls::Write(int fd, const void* data, size_t size) {
  return ::write(fd, data, size);
}

ssize_t LinuxSerialSyscalls::Read(int fd, void* data, size_t size) {
  return ::read(fd, data, size);
}

int LinuxSerialSyscalls::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  return ::poll(fds, count, timeoutMs);
}

SerialSyscalls& SystemSerialSyscalls() {
  static LinuxSerialSyscalls calls;
  return calls;
}

}  // namespace vexilo::port
