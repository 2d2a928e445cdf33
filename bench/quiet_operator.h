#pragma once
// The person at the window as the benchmarks need them: every question answered Yes, no stop,
// nothing shown; the error lines, an "Estimated time" line and the first time estimate kept.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "port/operator.h"

namespace vexilo::bench {

class QuietOperator final : public port::Operator {
 public:
  void Log(const std::string& line) override {
    if (line.rfind("Estimated", 0) == 0) announcement = line;
    if (onLog) onLog(line);
  }
  void LogError(const std::string& line) override { errors.push_back(line); }
  void SetProgress(uint32_t, uint32_t) override {}
  void SetTimes(uint64_t elapsedUs, uint64_t remainingUs) override {
    if (firstEstimateUs == 0) firstEstimateUs = elapsedUs + remainingUs;
  }
  void SetAddress(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return true; }
  void ShowInfo(const std::string&) override {}
  bool StopRequested() const override { return false; }
  void ClearStopRequest() override {}
  void SetStatusPanel(int, const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  void SetBusy(bool) override {}

  std::vector<std::string> errors;
  std::string announcement;
  std::function<void(const std::string&)> onLog;  // sees every black line
  uint64_t firstEstimateUs = 0;
};

}  // namespace vexilo::bench
