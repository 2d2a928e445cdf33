#include "port/io_backend.h"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define VEXILO_HAS_PORT_IO 1
#else
#define VEXILO_HAS_PORT_IO 0
#endif

#include <cerrno>
#include <utility>

#include "port/port_diagnostics.h"
#include "port/serial_ports.h"
#include "port/serial_syscalls.h"

namespace vexilo::port {

namespace {

int SystemIoperm(unsigned long from, unsigned long count, int turnOn) {
#if VEXILO_HAS_PORT_IO
  return ::ioperm(from, count, turnOn);
#else
  (void)from;
  (void)count;
  (void)turnOn;
  return -1;
#endif
}

}  // namespace

bool X86PortIo::Available() { return VEXILO_HAS_PORT_IO != 0; }

uint8_t X86PortIo::In(uint16_t port) {
#if VEXILO_HAS_PORT_IO
  return inb(port);
#else
  (void)port;
  return 0xFF;
#endif
}

void X86PortIo::Out(uint16_t port, uint8_t value) {
#if VEXILO_HAS_PORT_IO
  outb(value, port);
#else
  (void)port;
  (void)value;
#endif
}

IopermPermission::IopermPermission(IopermFunction ioperm)
    : ioperm_(ioperm != nullptr ? ioperm : &SystemIoperm) {}

bool IopermPermission::EnablePortRange(uint16_t base) {
  errno = 0;
  lastBase_ = base;
  const bool granted = ioperm_(base, kPortCount, 1) == 0;
  lastError_ = granted ? 0 : (errno != 0 ? errno : EPERM);
  return granted;
}

bool IopermPermission::DisablePortRange(uint16_t base) { return ioperm_(base, kPortCount, 0) == 0; }

bool UartAnswers(PortIo& io, uint16_t base) {
  const uint16_t scratch = static_cast<uint16_t>(base + 7);
  const uint8_t saved = io.In(scratch);
  bool answers = true;
  for (const uint8_t probe : {uint8_t{0x55}, uint8_t{0xAA}}) {
    io.Out(scratch, probe);
    answers = answers && io.In(scratch) == probe;
  }
  io.Out(scratch, saved);
  return answers;
}

IoBackend::IoBackend(IoBackendConfig config)
    : config_(std::move(config)),
      io_(x86Io_),
      commDevice_(SystemSerialSyscalls(), config_.comDevices[0]),
      comm_(commDevice_, clock_) {}

IoBackend::IoBackend(IoBackendConfig config, PortIo& io, IopermPermission::IopermFunction ioperm,
                     SerialSyscalls& calls)
    : config_(std::move(config)),
      io_(io),
      permission_(ioperm),
      commDevice_(calls, config_.comDevices[0]),
      comm_(commDevice_, clock_) {}

std::string IoBackend::DeviceForCom(int index) const {
  if (index < 0 || index >= static_cast<int>(config_.comDevices.size())) return {};
  return config_.comDevices[static_cast<size_t>(index)];
}

uint16_t IoBackend::BaseForCom(int index) const {
  const size_t i = static_cast<size_t>(index & 3);
  if (config_.comBases[i] != 0) return config_.comBases[i];
  if (auto base = IoBaseOfDevice(config_.comDevices[i], config_.sysRoot)) return *base;
  return kStandardComBases[i];
}

bool IoBackend::BeginSession(uint16_t base) {
  lastBase_ = base;
  noUart_ = !UartAnswers(io_, base);
  return !noUart_;
}

std::string IoBackend::Problem() const {
  if (permission_.LastError() != 0) {
    return ExplainIoPermission(permission_.LastBase(), permission_.LastError());
  }
  if (noUart_) return ExplainNoUart(lastBase_);
  return {};
}

}  // namespace vexilo::port
