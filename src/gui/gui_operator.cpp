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

void GuiOperator::SetProgress(uint32_t position, uint32_t maximum) {
  const auto now = std::chrono::steady_clock::now();
  if (position < maximum && position != 0 && now - lastProgress_ < kRepaintInterval) {
    heldPosition_ = position;
    heldMaximum_ = maximum;
    progressHeld_ = true;
    return;
  }
  lastProgress_ = now;
  progressHeld_ = false;
  emit ProgressChanged(position, maximum);
}

void GuiOperator::SetAddress(const std::string& text) {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastAddress_ < kRepaintInterval) {
    heldAddress_ = FromUtf8(text);
    addressHeld_ = true;
    return;
  }
  lastAddress_ = now;
  addressHeld_ = false;
  emit AddressChanged(FromUtf8(text));
}

void GuiOperator::Flush() {
  if (progressHeld_) emit ProgressChanged(heldPosition_, heldMaximum_);
  if (addressHeld_) emit AddressChanged(heldAddress_);
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
