#include "gui/gui_operator.h"

#include <QMetaObject>
#include <QThread>

namespace vexilo::gui {
namespace {

constexpr auto kRepaintInterval = std::chrono::milliseconds(40);

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

GuiOperator::GuiOperator(QObject* home, Dialogs& dialogs) : home_(home), dialogs_(dialogs) {}

void GuiOperator::Log(const std::string& line) { emit LogLine(FromUtf8(line), false); }

void GuiOperator::LogError(const std::string& line) { emit LogLine(FromUtf8(line), true); }

bool GuiOperator::RepaintDue(std::chrono::steady_clock::time_point& last) {
  // Reading the clock costs more than the rest of a call; a memory operation reports every
  // item, so only every 64th call looks at it.
  if ((++calls_ & 63u) != 0) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now - last < kRepaintInterval) return false;
  last = now;
  return true;
}

void GuiOperator::SetProgress(uint32_t position, uint32_t maximum) {
  heldPosition_ = position;
  heldMaximum_ = maximum;
  progressHeld_ = true;
  if (position == 0 || position >= maximum || RepaintDue(lastProgress_)) {
    progressHeld_ = false;
    emit ProgressChanged(position, maximum);
  }
}

void GuiOperator::SetAddress(const std::string& text) {
  heldAddress_ = text;
  addressHeld_ = true;
  if (RepaintDue(lastAddress_)) {
    addressHeld_ = false;
    emit AddressChanged(FromUtf8(text));
  }
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
  bool yes = false;
  OnHomeThread([&] { yes = dialogs_.askYesNo && dialogs_.askYesNo(FromUtf8(question)); });
  return yes;
}

void GuiOperator::ShowInfo(const std::string& text) {
  OnHomeThread([&] {
    if (dialogs_.showInfo) dialogs_.showInfo(FromUtf8(text));
  });
}

void GuiOperator::ShowMessage(const std::string& text) {
  OnHomeThread([&] {
    if (dialogs_.showMessage) dialogs_.showMessage(FromUtf8(text));
  });
}

void GuiOperator::SetStatusPanel(int index, const std::string& text) {
  emit StatusPanelChanged(index, FromUtf8(text));
}

void GuiOperator::SetBusy(bool busy) { emit SessionBusyChanged(busy); }

}  // namespace vexilo::gui
