#pragma once
#include <chrono>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "port/operator.h"

namespace vexilo::cli {

struct CliOperatorOptions {
  bool colour = false;       // error lines in red (stdout is a terminal)
  bool progress = false;     // a progress bar on stderr (stderr is a terminal)
  bool interactive = false;  // questions may be asked on stdin (stdin is a terminal)
  bool assumeYes = false;    // --yes
};

// The person at the window, as a terminal or a script sees it: log lines on `out` (error lines
// in red on a terminal), messages, questions and the progress bar on `err`.
class CliOperator final : public port::Operator {
 public:
  CliOperator(std::ostream& out, std::ostream& err, std::istream& in, CliOperatorOptions options);

  // Panels 0 and 2 of the window's status bar (the port's state), on `err`.
  void SetStatusPanel(int index, const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void SetBusy(bool) override {}
  void Log(const std::string& line) override;
  void LogError(const std::string& line) override;
  void SetProgress(uint32_t position, uint32_t maximum) override;
  void SetTimes(uint64_t elapsedUs, uint64_t remainingUs) override;
  void SetAddress(const std::string&) override {}
  bool AskYesNo(const std::string& question) override;
  void ShowInfo(const std::string& text) override;
  // Ctrl-C during an operation: the operation stops as a double-click on the window's option
  // panel stops it; a second Ctrl-C ends the program.
  bool StopRequested() const override;
  void ClearStopRequest() override;

  bool SawError() const { return sawError_; }

 private:
  void ClearProgress();

  std::ostream& out_;
  std::ostream& err_;
  std::istream& in_;
  CliOperatorOptions options_;
  bool sawError_ = false;
  bool progressShown_ = false;
  std::string times_;
  std::chrono::steady_clock::time_point lastDraw_{};
};

// `text` with every control character but the tab written as \xNN, so that a language pack
// text or a file's content quoted in a message cannot drive the terminal.
std::string Printable(std::string_view text);

// Makes Ctrl-C (SIGINT) raise the stop request of every CliOperator.
void InstallStopOnInterrupt();

}  // namespace vexilo::cli
