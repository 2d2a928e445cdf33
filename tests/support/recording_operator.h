#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "port/operator.h"

namespace vexilo::test {

// Records what an operation shows the person at the window.
class RecordingOperator final : public port::Operator {
 public:
  struct Line {
    std::string text;
    bool error;
    bool operator==(const Line&) const = default;
    friend void PrintTo(const Line& line, std::ostream* os) {
      *os << (line.error ? "red \"" : "\"") << line.text << '"';
    }
  };

  void Log(const std::string& line) override { lines.push_back({line, false}); }
  void LogError(const std::string& line) override { lines.push_back({line, true}); }
  void SetProgress(uint32_t position, uint32_t maximum) override {
    progress = position;
    progressMax = maximum;
    if (stopAtProgress != 0 && position >= stopAtProgress) {
      stop = true;
      stopAtProgress = 0;
    }
  }
  void SetAddress(const std::string& text) override {
    address = text;
    ++addressUpdates;
  }
  bool AskYesNo(const std::string&) override { return true; }
  void ShowInfo(const std::string&) override {}
  bool StopRequested() const override { return stop; }
  void ClearStopRequest() override { stop = false; }
  void SetStatusPanel(int, const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  void SetBusy(bool) override {}

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Line& line : lines) texts.push_back(line.text);
    return texts;
  }
  std::vector<std::string> Errors() const {
    std::vector<std::string> texts;
    for (const Line& line : lines) {
      if (line.error) texts.push_back(line.text);
    }
    return texts;
  }
  void Clear() { lines.clear(); }

  std::vector<Line> lines;
  uint32_t progress = 0;
  uint32_t progressMax = 0;
  std::string address;
  unsigned addressUpdates = 0;
  bool stop = false;
  uint32_t stopAtProgress = 0;  // raises the stop request when the progress reaches it
};

}  // namespace vexilo::test
