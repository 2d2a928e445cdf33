#include "port/tty_backend.h"

#include <utility>

namespace vexilo::port {

bool SharedDeviceComm::CommConnect() {
  if (comm_.CommConnected()) return true;
  uart_.Release();
  return comm_.CommConnect();
}

TtyBackend::TtyBackend(std::string devicePath)
    : devicePath_(std::move(devicePath)),
      ownClock_(std::make_unique<RealClock>()),
      clock_(*ownClock_),
      uart_(SystemSerialSyscalls(), devicePath_),
      comm_(SystemSerialSyscalls(), clock_, devicePath_),
      sharedComm_(comm_, uart_) {}

TtyBackend::TtyBackend(std::string devicePath, SerialSyscalls& calls, Clock& clock)
    : devicePath_(std::move(devicePath)),
      clock_(clock),
      uart_(calls, devicePath_),
      comm_(calls, clock_, devicePath_),
      sharedComm_(comm_, uart_) {}

std::string TtyBackend::DeviceForCom(int index) const {
  return index >= 0 && index < 4 ? devicePath_ : std::string{};
}

bool TtyBackend::BeginSession(uint16_t base) {
  comm_.CommDisconnect();
  return uart_.Attach(base);
}

}  // namespace vexilo::port
