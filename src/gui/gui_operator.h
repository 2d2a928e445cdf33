#pragma once
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>

#include "port/operator.h"

namespace vexilo::gui {

// The questions and boxes an operation may raise, shown on the window's thread. The window
// fills them with message boxes; tests put their own answers in.
struct Dialogs {
  std::function<bool(const QString&)> askYesNo;    // Yes/No, information icon
  std::function<void(const QString&)> showInfo;    // information box, OK
  std::function<void(const QString&)> showMessage; // plain message box, OK
};

// The person at the window as an operation on the worker thread sees them. Log lines,
// progress, address and status texts become queued signals (every log line, in order;
// progress and address at most every 40 ms, and always their last value); questions and
// boxes block the worker until the window's thread has shown them.
class GuiOperator final : public QObject, public port::Operator {
  Q_OBJECT
 public:
  // `home` is an object of the window's thread; `dialogs` are called on that thread.
  GuiOperator(QObject* home, Dialogs& dialogs);

  void Log(const std::string& line) override;
  void LogError(const std::string& line) override;
  void SetProgress(uint32_t position, uint32_t maximum) override;
  void SetAddress(const std::string& text) override;
  bool AskYesNo(const std::string& question) override;
  void ShowInfo(const std::string& text) override;
  bool StopRequested() const override { return stop_.load(); }
  void ClearStopRequest() override { stop_.store(false); }
  void SetStatusPanel(int index, const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void SetBusy(bool busy) override;

  // The double-click on the option panel.
  void RequestStop() { stop_.store(true); }
  // Sends the last progress and address values that the throttle held back.
  void Flush();

 signals:
  void LogLine(const QString& text, bool error);
  void ProgressChanged(quint32 position, quint32 maximum);
  void AddressChanged(const QString& text);
  void StatusPanelChanged(int index, const QString& text);
  void SessionBusyChanged(bool busy);

 private:
  // True when the last repaint of this kind is long enough ago (and marks it now).
  bool RepaintDue(std::chrono::steady_clock::time_point& last);
  // Runs `call` on the window's thread and waits for it.
  void OnHomeThread(const std::function<void()>& call);

  QObject* home_;
  Dialogs& dialogs_;
  std::atomic<bool> stop_{false};
  std::chrono::steady_clock::time_point lastProgress_{};
  std::chrono::steady_clock::time_point lastAddress_{};
  quint32 heldPosition_ = 0, heldMaximum_ = 0;
  std::string heldAddress_;
  unsigned calls_ = 0;
  bool progressHeld_ = false, addressHeld_ = false;
};

}  // namespace vexilo::gui
