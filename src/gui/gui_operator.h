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
  std::function<bool(const QString&)> askYesNo;     // Yes/No, information icon
  std::function<void(const QString&)> showInfo;     // information box, OK
  std::function<void(const QString&)> showMessage;  // plain message box, OK
};

// Holds back repaints of one kind (the bar, the address label) to one per interval. A
// memory operation reports every item, so the clock is read only every 16th call of the kind.
class RepaintThrottle {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // True when the last repaint of this kind is at least `interval` ago (and marks it now).
  bool Due(const Clock& now, std::chrono::steady_clock::duration interval);

 private:
  std::chrono::steady_clock::time_point last_{};
  unsigned calls_ = 0;
};

// The person at the window as an operation on the worker thread sees them. Log lines,
// progress, address and status texts become queued signals (every log line, in order;
// progress and address each at most every 40 ms, and always their last value); questions and
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
  void SetTimes(uint64_t elapsedUs, uint64_t remainingUs) override;
  bool AskYesNo(const std::string& question) override;
  void ShowInfo(const std::string& text) override;
  bool StopRequested() const override { return stop_.load(); }
  void ClearStopRequest() override { stop_.store(false); }
  void SetStatusPanel(int index, const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  // The port's "Error Open COM" box is held until the diagnostic line that follows it, which
  // goes into the same box (and the log).
  void PortDiagnostic(const std::string& text) override;
  // Shows an "Error Open COM" box still held (no diagnostic came); the runner calls it when a
  // command ends.
  void ShowHeldMessage();
  void SetBusy(bool busy) override;

  // The double-click on the option panel.
  void RequestStop() { stop_.store(true); }
  // Sends the last progress and address values that the throttle held back.
  void Flush();
  // The clock the throttle reads (tests run a clock of their own).
  void SetClock(RepaintThrottle::Clock clock) { clock_ = std::move(clock); }

 signals:
  void LogLine(const QString& text, bool error);
  void ProgressChanged(quint32 position, quint32 maximum);
  void AddressChanged(const QString& text);
  void StatusPanelChanged(int index, const QString& text);
  // "2 min elapsed, 12 min left" for the transfer the bar shows.
  void TimesChanged(const QString& text);
  void SessionBusyChanged(bool busy);

 private:
  // Runs `call` on the window's thread and waits for it.
  void OnHomeThread(const std::function<void()>& call);

  QObject* home_;
  Dialogs& dialogs_;
  bool openErrorHeld_ = false;  // on the thread the operations run on
  std::atomic<bool> stop_{false};
  RepaintThrottle::Clock clock_ = [] { return std::chrono::steady_clock::now(); };
  RepaintThrottle progressThrottle_, addressThrottle_, timesThrottle_;
  quint32 heldPosition_ = 0, heldMaximum_ = 0;
  std::string heldAddress_;
  bool progressHeld_ = false, addressHeld_ = false;
};

}  // namespace vexilo::gui
