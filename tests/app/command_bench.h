#pragma once
// A workspace and a rig with a simulated card whose adapter counts what reaches the COM device
// and the port registers, for tests of whole command sequences.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/option_panels.h"
#include "app/rig.h"
#include "app/workspace.h"
#include "port/port_io.h"
#include "sim/backend/sim_backend.h"

namespace vexilo::app::testing {

using Texts = std::vector<std::string>;

class ScriptedOperator final : public port::Operator {
 public:
  void Log(const std::string& line) override {
    lines.push_back(line);
    if (onLog) onLog(line);
  }
  void LogError(const std::string& line) override {
    lines.push_back(line);
    errors.push_back(line);
  }
  void SetProgress(uint32_t, uint32_t) override {}
  void SetTimes(uint64_t elapsedUs, uint64_t remainingUs) override {
    times.emplace_back(elapsedUs, remainingUs);
  }
  void SetAddress(const std::string&) override {}
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    return answer;
  }
  void ShowInfo(const std::string& text) override { infos.push_back(text); }
  bool StopRequested() const override { return stop; }
  void ClearStopRequest() override { stop = false; }
  void SetStatusPanel(int, const std::string&) override {}
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void SetBusy(bool busy) override {
    sessionsOpened += busy ? 1 : 0;
    this->busy = busy;
  }

  bool Has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  bool HasPrefix(const std::string& prefix) const {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }

  Texts lines, errors, questions, infos, messages;
  std::vector<std::pair<uint64_t, uint64_t>> times;  // elapsed, remaining
  std::function<void(const std::string&)> onLog;     // sees every black line as it comes
  bool answer = true;
  bool stop = false;
  bool busy = false;
  int sessionsOpened = 0;
};

// Counts what reaches the COM device and the port registers, and can refuse the port as a
// machine without I/O permission does.
class CountingComm final : public port::CommPort {
 public:
  explicit CountingComm(port::CommPort& inner) : inner_(inner) {}
  bool CommConnect() override { return inner_.CommConnect(); }
  void CommDisconnect() override { inner_.CommDisconnect(); }
  bool CommConnected() const override { return inner_.CommConnected(); }
  void CommSetPortName(const std::string& name) override { inner_.CommSetPortName(name); }
  std::string PortName() const override { return inner_.PortName(); }
  bool CommSendByte(uint8_t value) override {
    ++bytes;
    return inner_.CommSendByte(value);
  }
  int bytes = 0;

 private:
  port::CommPort& inner_;
};

class CountingIo final : public port::PortIo {
 public:
  explicit CountingIo(port::PortIo& inner) : inner_(inner) {}
  uint8_t In(uint16_t port) override { return inner_.In(port); }
  void Out(uint16_t port, uint8_t value) override {
    ++writes;
    inner_.Out(port, value);
  }
  int writes = 0;

 private:
  port::PortIo& inner_;
};

class WatchedBackend final : public port::PortBackend {
 public:
  explicit WatchedBackend(std::unique_ptr<sim::SimBackend> sim)
      : sim_(std::move(sim)), comm(sim_->Comm()), io(sim_->Io()) {}
  port::PortIo& Io() override { return io; }
  port::CommPort& Comm() override { return comm; }
  port::IoPermission& Permission() override { return sim_->Permission(); }
  port::Clock& Time() override { return sim_->Time(); }
  port::SessionMode Mode() const override { return sim_->Mode(); }
  std::string SystemLine() const override { return sim_->SystemLine(); }
  std::string DeviceForCom(int index) const override { return sim_->DeviceForCom(index); }
  bool BeginSession(uint16_t base) override { return refuse ? false : sim_->BeginSession(base); }
  void EndSession() override { sim_->EndSession(); }

  sim::SimBackend& Sim() { return *sim_; }

 private:
  std::unique_ptr<sim::SimBackend> sim_;

 public:
  CountingComm comm;
  CountingIo io;
  bool refuse = false;
};

// A workspace for one card type and a rig with that card in a simulated adapter.
struct Bench {
  explicit Bench(const std::string& card, sim::SimFaults faults = {}, bool autoMode = true) {
    ws.SetCardTypeText(std::string(FindCardTypeByName(card)->text));
    ws.settings.autoMode = autoMode;
    ws.settings.avrDelay = "20";  // the ATmega163 page write takes 16 ms
    sim::SimOptions options;
    // Port accesses as slow as through a USB serial adapter: fewer polls while the card
    // loader writes its 24Cxx byte by byte.
    options.ioAccessNs = 10 * sim::kUs;
    options.card = SimCardType(*ws.Card());
    options.faults = faults;
    options.eepromBytes = ExtEepromBytes(*ws.Card(), ws.options);
    auto simulator = std::make_unique<sim::SimBackend>(options);
    auto watched = std::make_unique<WatchedBackend>(std::move(simulator));
    backend = watched.get();
    rig = std::make_unique<Rig>(std::move(watched), &backend->Sim(), ws, op);
  }

  CommandResult Run(Command command) { return RunCommand(command, ws, *rig, op); }
  // A memory of the simulated card: "flash", "eeprom", "fuses" of the chip, "24cxx".
  std::span<uint8_t> Region(const std::string& name) {
    for (const sim::MemoryRegion& region : backend->Sim().Card().Regions()) {
      if (region.name == "chip/" + name || region.name == "phoenix/" + name) return region.bytes;
    }
    throw std::invalid_argument(name);
  }
  void Fill() {
    for (uint32_t w = 0; w < ws.flash.Cells(); w += 97) ws.flash.SetCell(w, (w * 7919u) & 0xFFFF);
    for (uint32_t b = 0; b < ws.eepromInt.Cells(); b += 5) ws.eepromInt.SetCell(b, b & 0xFF);
  }

  Workspace ws;
  ScriptedOperator op;
  WatchedBackend* backend = nullptr;
  std::unique_ptr<Rig> rig;
};

}  // namespace vexilo::app::testing
