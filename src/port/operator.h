#pragma once
#include <cstdint>
#include <string>

#include "port/session_reporter.h"

namespace vexilo::port {

// What a hardware operation may do to the person at the window: log lines (errors in red),
// the progress bar and the address label, the status bar, questions and information boxes,
// and the stop request of a double-click on the option panel. The window, the command line
// and the tests implement it; operations never know which.
class Operator : public SessionReporter {
 public:
  // A line of the log, in black.
  virtual void Log(const std::string& line) = 0;
  // An error line of the log, in red; the line after it is black again.
  virtual void LogError(const std::string& line) = 0;
  // The progress bar: its maximum (the items the operation will handle) and position.
  virtual void SetProgress(uint32_t position, uint32_t maximum) = 0;
  // Elapsed and estimated remaining time of the transfer the progress bar shows.
  virtual void SetTimes(uint64_t elapsedUs, uint64_t remainingUs) {
    (void)elapsedUs;
    (void)remainingUs;
  }
  // The address label, ":" followed by four upper-case hex digits.
  virtual void SetAddress(const std::string& text) = 0;
  // A Yes/No question with the information icon; true for Yes.
  virtual bool AskYesNo(const std::string& question) = 0;
  // An information box with an OK button.
  virtual void ShowInfo(const std::string& text) = 0;
  // StopRequest: set by the person, read and cleared by long operations.
  virtual bool StopRequested() const = 0;
  virtual void ClearStopRequest() = 0;
  // Port diagnostics are red lines of the log.
  void PortDiagnostic(const std::string& text) override { LogError(text); }
  void PortNote(const std::string& text) override { Log(text); }
};

}  // namespace vexilo::port
