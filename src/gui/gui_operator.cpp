#include "gui/gui_operator.h"

#include <QMetaObject>
#include <QThread>

#include "app/progress_estimate.h"

namespace vexilo::gui {
namespace {

constexpr auto kRepaintInterval = std::chrono::milliseconds(40);

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

GuiOperator::GuiOperator(QObject* home, Dialogs& dialogs) : home_(home), dialogs_(dialogs) {}

void GuiOperator::Log(const std::string& line) { emit LogLine(FromUtf8(line), false); }

void GuiOperator::LogError(const std::string& line) { emit LogLine(FromUtf8(line), true); }

bool RepaintThrottle::Due(const Clock& now, std::chrono::steady_clock::duration interval) {
  // Each kind counts its own calls: the memory loops report progress and address in turn,
  // and a shared count would let only one of them ever look at the clock.
  if ((++calls_ & 15u) != 0) return false;
  const auto time = now();
  if (time - last_ < interval) return false;
  last_ = time;
  return true;
}

void GuiOperator::SetProgress(uint32_t position, uint32_t maximum) {
  heldPosition_ = position;
  heldMaximum_ = maximum;
  progressHeld_ = true;
  if (position == 0 || position >= maximum || progressThrottle_.Due(clock_, kRepaintInterval)) {
    progressHeld_ = false;
    emit ProgressChanged(position, maximum);
  }
}

void GuiOperator::SetAddress(const std::string& text) {
  heldAddress_ = text;
  addressHeld_ = true;
  if (addressThrottle_.Due(clock_, kRepaintInterval)) {
    addressHeld_ = false;
    emit AddressChanged(FromUtf8(text));
  }
}

void GuiOperator::SetTimes(uint64_t elapsedUs, uint64_t remainingUs) {
  if (!timesThrottle_.Due(clock_, std::chrono::milliseconds(500))) return;
  emit TimesChanged(FromUtf8(app::DurationText(elapsedUs) + " elapsed, " +
                             app::DurationText(remainingUs) + " left"));
}

void GuiOperator::Flush() {
  if (progressHeld_) emit ProgressChanged(heldPosition_, heldMaximum_);
  if (addressHeld_) emit AddressChanged(FromUtf8(heldAddress_));
  progressHeld_ = addressHeld_ = false;
}

void GuiOperator::OnHomeThread(const std::function<void()>& call) {
  Flush();
  if (QThread::currentThread() == home_->thread()) {
    call();
  } else {
    QMetaObject::invokeMethod(home_, call, Qt::BlockingQueuedConnection);
  }
}

bool GuiOperator::AskYesNo(const std::string& question) {
  ShowHeldMessage();
  bool yes = false;
  OnHomeThread([&] { yes = dialogs_.askYesNo && dialogs_.askYesNo(FromUtf8(question)); });
  return yes;
}

void GuiOperator::ShowInfo(const std::string& text) {
  ShowHeldMessage();
  OnHomeThread([&] {
    if (dialogs_.showInfo) dialogs_.showInfo(FromUtf8(text));
  });
}

namespace {

constexpr char kErrorOpenCom[] = "Error Open COM";

// A diagnostic as the window says it: the port list is on the Setup tab.
std::string WindowWording(std::string text) {
  static constexpr std::string_view kCli = "vexilo-cli --list-ports";
  for (size_t at; (at = text.find(kCli)) != std::string::npos;) {
    text.replace(at, kCli.size(), "the port list on the Setup tab");
  }
  return text;
}

}  // namespace

void GuiOperator::PortDiagnostic(const std::string& text) {
  LogError(text);
  if (!openErrorHeld_) return;
  openErrorHeld_ = false;
  const std::string box = std::string(kErrorOpenCom) + "\n\n" + WindowWording(text);
  OnHomeThread([&] {
    if (dialogs_.showMessage) dialogs_.showMessage(FromUtf8(box));
  });
}

void GuiOperator::ShowHeldMessage() {
  if (!openErrorHeld_) return;
  openErrorHeld_ = false;
  OnHomeThread([&] {
    if (dialogs_.showMessage) dialogs_.showMessage(FromUtf8(kErrorOpenCom));
  });
}

void GuiOperator::ShowMessage(const std::string& text) {
  if (text == kErrorOpenCom) {
    ShowHeldMessage();
    openErrorHeld_ = true;
    return;
  }
  ShowHeldMessage();
  OnHomeThread([&] {
    if (dialogs_.showMessage) dialogs_.showMessage(FromUtf8(text));
  });
}

void GuiOperator::SetStatusPanel(int index, const std::string& text) {
  emit StatusPanelChanged(index, FromUtf8(text));
}

void GuiOperator::SetBusy(bool busy) { emit SessionBusyChanged(busy); }

}  // namespace vexilo::gui
