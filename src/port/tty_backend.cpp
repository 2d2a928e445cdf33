#include "port/tty_backend.h"

#include <sys/ioctl.h>

#include <utility>

#include "port/port_diagnostics.h"

namespace vexilo::port {

void DeviceLines::Reset() {
  dtr_ = rts_ = break_ = false;
  lastByte_ = 0;
}

int DeviceLines::ModemBits() const { return (dtr_ ? TIOCM_DTR : 0) | (rts_ ? TIOCM_RTS : 0); }

void DeviceLines::SetModemLines(bool dtr, bool rts) {
  if (Fault() != nullptr) return;
  int raise = 0;
  int drop = 0;
  if (dtr != dtr_) (dtr ? raise : drop) |= TIOCM_DTR;
  if (rts != rts_) (rts ? raise : drop) |= TIOCM_RTS;
  if (raise == 0 && drop == 0) return;
  if (device_.ChangeModemLines(raise, drop)) {
    dtr_ = dtr;
    rts_ = rts;
  }
}

void DeviceLines::RefreshModemLines() {
  if (Fault() != nullptr) return;
  const int raised = ModemBits();
  device_.ChangeModemLines(raised, (TIOCM_DTR | TIOCM_RTS) & ~raised);
}

void DeviceLines::SetBreak(bool on) {
  if (Fault() != nullptr || on == break_) return;
  if (device_.SetBreak(on)) break_ = on;
}

bool DeviceLines::Cts() {
  if (Fault() != nullptr) return false;
  const auto status = device_.ModemStatus();
  return status && (*status & TIOCM_CTS) != 0;
}

bool DeviceLines::TransmitterEmpty() {
  if (Fault() != nullptr) return false;
  const auto queued = device_.BytesQueued();
  return queued && *queued == 0;
}

bool DeviceLines::DataReady() {
  if (Fault() != nullptr) return false;
  const auto waiting = device_.BytesWaiting();
  return waiting && *waiting > 0;
}

void DeviceLines::WriteByte(uint8_t value) {
  if (Fault() == nullptr) device_.WriteByte(value);
}

void DeviceLines::DiscardReceived() {
  if (Fault() == nullptr) device_.DiscardInput();
}

// As a UART's receive register: the last byte that came, until the next one does.
uint8_t DeviceLines::ReadByte() {
  if (Fault() != nullptr) return 0;
  if (const auto byte = device_.ReadByte()) lastByte_ = *byte;
  return lastByte_;
}

TtyBackend::TtyBackend(std::string devicePath)
    : devicePath_(std::move(devicePath)),
      ownClock_(std::make_unique<RealClock>()),
      clock_(*ownClock_),
      device_(SystemSerialSyscalls(), devicePath_),
      lines_(device_),
      comm_(device_, clock_, &inSession_) {}

TtyBackend::TtyBackend(std::string devicePath, SerialSyscalls& calls, Clock& clock)
    : devicePath_(std::move(devicePath)),
      clock_(clock),
      device_(calls, devicePath_),
      lines_(device_),
      comm_(device_, clock_, &inSession_) {}

std::string TtyBackend::DeviceForCom(int index) const {
  return index >= 0 && index < 4 ? devicePath_ : std::string{};
}

bool TtyBackend::BeginSession(uint16_t) {
  // A burst may have left the device open; a session starts from a fresh open so that its
  // lines are known to be low.
  device_.Close();
  device_.SetPath(devicePath_);
  if (!device_.Open()) return false;
  lines_.Reset();
  inSession_ = true;
  return true;
}

void TtyBackend::EndSession() {
  inSession_ = false;
  device_.Close();
}

std::string TtyBackend::Problem() const {
  const LineFault* fault = device_.Fault();
  return fault ? ExplainDeviceFault(*fault) : std::string{};
}

}  // namespace vexilo::port
