#pragma once
#include "port/operator.h"

namespace vexilo::port {

// An operator that passes every call on to another; a wrapper overrides what it watches or
// changes. Port diagnostics and notes go through this operator's own LogError and Log.
class ForwardingOperator : public Operator {
 public:
  explicit ForwardingOperator(Operator& inner) : inner_(inner) {}

  void Log(const std::string& line) override { inner_.Log(line); }
  void LogError(const std::string& line) override { inner_.LogError(line); }
  void SetProgress(uint32_t position, uint32_t maximum) override {
    inner_.SetProgress(position, maximum);
  }
  void SetTimes(uint64_t elapsedUs, uint64_t remainingUs) override {
    inner_.SetTimes(elapsedUs, remainingUs);
  }
  void SetAddress(const std::string& text) override { inner_.SetAddress(text); }
  bool AskYesNo(const std::string& question) override { return inner_.AskYesNo(question); }
  void ShowInfo(const std::string& text) override { inner_.ShowInfo(text); }
  bool StopRequested() const override { return inner_.StopRequested(); }
  void ClearStopRequest() override { inner_.ClearStopRequest(); }
  void SetStatusPanel(int index, const std::string& text) override {
    inner_.SetStatusPanel(index, text);
  }
  void ShowMessage(const std::string& text) override { inner_.ShowMessage(text); }
  void SetBusy(bool busy) override { inner_.SetBusy(busy); }

 protected:
  Operator& inner_;
};

}  // namespace vexilo::port
