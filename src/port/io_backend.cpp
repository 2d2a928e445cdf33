#include "port/io_backend.h"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define VEXILO_HAS_PORT_IO 1
#else
#define VEXILO_HAS_PORT_IO 0
#endif

#include <utility>

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

bool IopermPermission::EnablePortRange(uint16_t base) { return ioperm_(base, kPortCount, 1) == 0; }

bool IopermPermission::DisablePortRange(uint16_t base) { return ioperm_(base, kPortCount, 0) == 0; }

IoBackend::IoBackend(IoBackendConfig config)
    : config_(std::move(config)), comm_(SystemSerialSyscalls(), clock_, config_.comDevices[0]) {}

std::string IoBackend::DeviceForCom(int index) const {
  if (index < 0 || index >= static_cast<int>(config_.comDevices.size())) return {};
  return config_.comDevices[static_cast<size_t>(index)];
}

}  // namespace vexilo::port
