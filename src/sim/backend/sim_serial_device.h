#pragma once
#include <cstdint>
#include <string>

#include "port/serial_syscalls.h"
#include "sim/backend/sim_backend.h"

namespace vexilo::sim {

// The simulated adapter's port as the kernel's serial driver shows it to a program: the calls
// a serial-device backend makes (modem lines, break, bytes, queue sizes) answered by the
// simulated PC's 16550 and adapter, each costing `callNs` of simulated time, as a system call
// on a USB serial adapter costs about a millisecond. So the serial-device backend runs, and
// is timed, end to end against the simulated cards.
//
// Opening raises DTR and RTS, as Linux does. Bytes written are heard by the adapter's mode
// switch (they are the COM device's characters) and sent by the UART. A fault can be planted:
// from the `failAfter`-th modem-status read on, TIOCMGET fails with `failErrno`.
class SimSerialSyscalls final : public port::SerialSyscalls {
 public:
  SimSerialSyscalls(SimBackend& sim, std::string devicePath, uint64_t callNs);

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

  uint64_t Calls() const { return calls_; }
  void FailModemStatus(uint64_t afterReads, int err) {
    failAfter_ = afterReads;
    failErrno_ = err;
  }
  void Heal() { failErrno_ = 0; }

 private:
  static constexpr int kFd = 5;
  bool Enter(int fd);
  uint8_t In(unsigned offset);
  void Out(unsigned offset, uint8_t value);

  SimBackend& sim_;
  std::string devicePath_;
  uint64_t callNs_;
  bool open_ = false;
  uint8_t mcr_ = 0;
  uint8_t lcr_ = 0x1F;
  uint64_t calls_ = 0;
  uint64_t statusReads_ = 0;
  uint64_t failAfter_ = 0;
  int failErrno_ = 0;
};

}  // namespace vexilo::sim
