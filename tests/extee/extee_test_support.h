#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "extee/extee_operations.h"
#include "sim/backend/sim_backend.h"
#include "sim/phoenix/loader_family.h"

namespace vexilo::extee::testing {

// Records the log, answers the question, and raises the stop request at a given progress.
class RecordingOperator final : public port::Operator {
 public:
  void Log(const std::string& line) override { lines.push_back(line); }
  void LogError(const std::string& line) override { lines.push_back("red " + line); }
  void SetProgress(uint32_t position, uint32_t) override {
    progress = position;
    if (stopAtProgress != 0 && position >= stopAtProgress) stop = true, stopAtProgress = 0;
  }
  void SetAddress(const std::string& text) override { address = text; }
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    return answerYes;
  }
  void ShowInfo(const std::string&) override {}
  bool StopRequested() const override { return stop; }
  void ClearStopRequest() override { stop = false; }
  void SetStatusPanel(int, const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  void SetBusy(bool) override {}

  std::vector<std::string> lines;  // error lines start with "red "
  std::vector<std::string> questions;
  bool answerYes = true;
  uint32_t progress = 0;
  std::string address;
  bool stop = false;
  uint32_t stopAtProgress = 0;
};

// The simulator's registers, counting accesses and keeping every character the UART sends.
class TapIo final : public port::PortIo {
 public:
  TapIo(port::PortIo& inner, uint16_t base) : inner_(inner), base_(base) {}
  uint8_t In(uint16_t port) override;
  void Out(uint16_t port, uint8_t value) override;

  std::vector<uint8_t> sent;
  uint64_t accesses = 0;
  std::optional<size_t> flipSentAt;  // the character sent with this index has bit 0 changed

 private:
  port::PortIo& inner_;
  uint16_t base_;
  bool divisorAccess_ = false;
};

class TappedBackend final : public port::PortBackend {
 public:
  explicit TappedBackend(sim::SimBackend& sim) : io(sim.Io(), sim.Base()), sim_(sim) {}
  port::PortIo& Io() override { return io; }
  port::CommPort& Comm() override { return sim_.Comm(); }
  port::IoPermission& Permission() override { return sim_.Permission(); }
  port::Clock& Time() override { return sim_.Time(); }
  port::SessionMode Mode() const override { return sim_.Mode(); }
  std::string SystemLine() const override { return sim_.SystemLine(); }
  std::string DeviceForCom(int index) const override { return sim_.DeviceForCom(index); }

  TapIo io;

 private:
  sim::SimBackend& sim_;
};

// A simulated card in an adapter in Phoenix mode, its chip holding the loader `installed`
// (none: an erased chip), and a closed session on the "phoenix" port.
struct ExtRig {
  ExtRig(LoaderFamily loader, uint32_t eepromBytes, const sim::SimFaults& faults = {});
  ExtRig(sim::CardType card, std::optional<sim::LoaderFamily> installed, uint32_t eepromBytes,
         const sim::SimFaults& faults = {});

  ExtEepromContext Context();
  std::span<uint8_t> Eeprom();  // the card's 24Cxx
  std::vector<std::string> Errors() const;

  std::unique_ptr<sim::SimBackend> sim;
  TappedBackend backend;
  RecordingOperator op;
  port::PortSession session;
  uint8_t errorFlag = 0;
  unsigned switches = 0;  // Phoenix mode switches the operations ran
  bool verEeprom = false;
};

sim::CardType CardFor(LoaderFamily loader);
sim::LoaderFamily SimLoader(LoaderFamily loader);

// An image whose every 256-byte page differs from the others.
image::MemoryImage Pattern(uint32_t bytes, uint8_t seed = 0);

}  // namespace vexilo::extee::testing
