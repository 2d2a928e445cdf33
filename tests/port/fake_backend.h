#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "port/backend.h"
#include "port/recording_port_io.h"
#include "port/session_reporter.h"
#include "port/virtual_clock.h"

namespace vexilo::port::testing {

class FakeComm final : public CommPort {
 public:
  bool CommConnect() override {
    connected = connectResult;
    return connected;
  }
  void CommDisconnect() override { connected = false; }
  bool CommConnected() const override { return connected; }
  void CommSetPortName(const std::string& name) override {
    if (!connected) portName = name;
  }
  std::string PortName() const override { return portName; }
  bool CommSendByte(uint8_t value) override {
    if (!connected) return false;
    sent.push_back(value);
    if (clock != nullptr) sentAtUs.push_back(clock->NowUs());
    return true;
  }

  bool connectResult = true;
  bool connected = false;
  std::string portName;
  std::vector<uint8_t> sent;
  std::vector<uint64_t> sentAtUs;
  VirtualClock* clock = nullptr;  // stamps each byte sent when set
};

class FakePermission final : public IoPermission {
 public:
  bool EnablePortRange(uint16_t base) override {
    calls.push_back("enable " + std::to_string(base));
    return grant;
  }
  bool DisablePortRange(uint16_t base) override {
    calls.push_back("disable " + std::to_string(base));
    return true;
  }
  bool grant = true;
  std::vector<std::string> calls;
};

class FakeBackend final : public PortBackend {
 public:
  explicit FakeBackend(SessionMode mode) : mode_(mode) { comm.clock = &clock; }

  PortIo& Io() override { return io; }
  CommPort& Comm() override { return comm; }
  IoPermission& Permission() override { return permission; }
  Clock& Time() override { return clock; }
  SessionMode Mode() const override { return mode_; }
  std::string SystemLine() const override { return "System : Test"; }
  std::string DeviceForCom(int index) const override { return "/dev/ttyS" + std::to_string(index); }
  bool BeginSession(uint16_t) override { return deviceAvailable; }

  RecordingPortIo io;
  FakeComm comm;
  FakePermission permission;
  VirtualClock clock;
  bool deviceAvailable = true;

 private:
  SessionMode mode_;
};

class RecordingReporter final : public SessionReporter {
 public:
  void SetStatusPanel(int index, const std::string& text) override {
    events.push_back("panel" + std::to_string(index) + " " + text);
  }
  void ShowMessage(const std::string& text) override { events.push_back("message " + text); }
  void PortDiagnostic(const std::string& text) override { events.push_back("diagnostic " + text); }
  void SetBusy(bool busy) override { events.push_back(busy ? "busy" : "idle"); }
  std::vector<std::string> events;
};

}  // namespace vexilo::port::testing
