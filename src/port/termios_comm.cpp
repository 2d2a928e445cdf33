#include "port/termios_comm.h"

#include <utility>

#include "port/port_diagnostics.h"

namespace vexilo::port {

bool SendCommByte(SerialDevice& device, uint8_t value, int timeoutMs) {
  if (!device.IsOpen()) return false;
  device.DiscardInput();  // nobody listens to what comes back
  return device.WaitWritable(timeoutMs) && device.WriteByte(value);
}

bool DrainToLine(SerialDevice& device, Clock& clock, int timeoutMs) {
  return DrainWithTimeout(device, clock, timeoutMs) && device.Drain();
}

bool DrainWithTimeout(SerialDevice& device, Clock& clock, int timeoutMs) {
  auto queued = device.BytesQueued();
  uint64_t lastProgressUs = clock.NowUs();
  while (queued && *queued > 0) {
    if (clock.NowUs() - lastProgressUs >= uint64_t(timeoutMs) * 1000) return false;
    clock.SleepMs(1);
    auto now = device.BytesQueued();
    if (now && *now < *queued) lastProgressUs = clock.NowUs();
    queued = now;
  }
  return queued.has_value();
}

TermiosComm::TermiosComm(SerialSyscalls& calls, Clock& clock, std::string portName)
    : clock_(clock), device_(calls, std::move(portName)) {}

TermiosComm::~TermiosComm() { CommDisconnect(); }

bool TermiosComm::CommConnect() { return device_.Open(); }

void TermiosComm::CommDisconnect() {
  if (!CommConnected()) return;
  DrainWithTimeout(device_, clock_, kOutputTimeoutMs);
  device_.Close();
}

bool TermiosComm::CommSendByte(uint8_t value) {
  return SendCommByte(device_, value, kOutputTimeoutMs);
}

bool TermiosComm::CommDrain() { return DrainToLine(device_, clock_, kOutputTimeoutMs); }

std::string TermiosComm::CommProblem() const {
  const LineFault* fault = device_.Fault();
  return fault ? ExplainDeviceFault(*fault) : std::string{};
}

}  // namespace vexilo::port
