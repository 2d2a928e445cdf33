#include "sim/backend/sim_comm.h"

namespace vexilo::sim {

bool SimComm::CommConnect() {
  if (connected_) return true;
  connected_ = name_ == device_;
  return connected_;
}

void SimComm::CommDisconnect() {
  if (!connected_) return;
  connected_ = false;
  adapter_.CommClosed(clock_.NowNs());
}

void SimComm::CommSetPortName(const std::string& name) {
  if (!connected_) name_ = name;
}

bool SimComm::CommSendByte(uint8_t value) {
  if (!connected_) return false;
  // The operating system's driver runs the device at 9600 baud 8E2.
  clock_.Advance(CharFormat{12, 0x1F}.FrameNs());
  adapter_.CommByte(value, clock_.NowNs());
  return true;
}

std::string SimComm::CommProblem() const {
  if (connected_ || name_ == device_) return {};
  return name_ + ": no such device on the simulated machine: the simulated adapter is on " +
         device_ + " (choose its COM port)";
}

}  // namespace vexilo::sim
