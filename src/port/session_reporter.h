#pragma once
#include <string>

namespace vexilo::port {

// What a port session shows the person at the window: status bar panels (0: "Port[3F8]:Open",
// 2: "Port: Com:OK"), a message box, and the busy (hourglass) cursor that marks an open
// session.
class SessionReporter {
 public:
  virtual ~SessionReporter() = default;
  virtual void SetStatusPanel(int index, const std::string& text) = 0;
  virtual void ShowMessage(const std::string& text) = 0;
  virtual void SetBusy(bool busy) = 0;
  // A line of our own when a port, device or permission failed: what, why, what to do.
  virtual void PortDiagnostic(const std::string& text) { (void)text; }
  // A line of our own about the port that is not a failure (a clock it measured).
  virtual void PortNote(const std::string& text) { (void)text; }
};

// For callers that show nothing.
class SilentSessionReporter final : public SessionReporter {
 public:
  void SetStatusPanel(int, const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  void SetBusy(bool) override {}
};

}  // namespace vexilo::port
