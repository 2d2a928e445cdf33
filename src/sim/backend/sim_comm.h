#pragma once
#include <string>

#include "port/comm_port.h"
#include "port/virtual_clock.h"
#include "sim/adapter/adapter.h"

namespace vexilo::sim {

// The COM device of the simulated port as the operating system offers it. Only the adapter's
// own device opens. Each byte sent takes one 9600 baud 8E2 character time (1.25 ms) and is
// heard by the adapter's mode switch; closing the device ends a mode-switch group.
class SimComm final : public port::CommPort {
 public:
  SimComm(port::VirtualClock& clock, Adapter& adapter, std::string device)
      : clock_(clock), adapter_(adapter), device_(std::move(device)) {}

  bool CommConnect() override;
  void CommDisconnect() override;
  bool CommConnected() const override { return connected_; }
  void CommSetPortName(const std::string& name) override;
  std::string PortName() const override { return name_; }
  bool CommSendByte(uint8_t value) override;
  std::string CommProblem() const override;

  const std::string& Device() const { return device_; }

 private:
  port::VirtualClock& clock_;
  Adapter& adapter_;
  std::string device_;
  std::string name_;
  bool connected_ = false;
};

}  // namespace vexilo::sim
