#include "port/termios_comm.h"

#include "port/port_diagnostics.h"

namespace vexilo::port {

bool TermiosComm::DrainQueue() {
  auto queued = device_.BytesQueued();
  uint64_t lastProgressUs = clock_.NowUs();
  while (queued && *queued > 0) {
    if (clock_.NowUs() - lastProgressUs >= uint64_t{kOutputTimeoutMs} * 1000) return false;
    clock_.SleepMs(1);
    auto now = device_.BytesQueued();
    if (now && *now < *queued) lastProgressUs = clock_.NowUs();
    queued = now;
  }
  return queued.has_value();
}

void TermiosComm::CommDisconnect() {
  if (!CommConnected() || (sessionHolds_ && *sessionHolds_)) return;
  DrainQueue();
  device_.Close();
}

bool TermiosComm::CommSendByte(uint8_t value) {
  if (!CommConnected()) return false;
  device_.DiscardInput();  // nobody listens to what comes back
  return device_.WaitWritable(kOutputTimeoutMs) && device_.WriteByte(value);
}

bool TermiosComm::CommDrain() { return DrainQueue() && device_.Drain(); }

std::string TermiosComm::CommProblem() const {
  const LineFault* fault = device_.Fault();
  return fault ? ExplainDeviceFault(*fault) : std::string{};
}

}  // namespace vexilo::port
