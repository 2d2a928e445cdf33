#include "gui/command_runner.h"

#include <QCoreApplication>
#include <QThread>
#include <cctype>
#include <filesystem>

#include "app/option_panels.h"
#include "app/sim_state_location.h"

namespace vexilo::gui {

CommandRunner::CommandRunner(app::Workspace& ws, Dialogs& dialogs, std::string simStateDir,
                             QObject* parent)
    : QObject(parent),
      ws_(ws),
      dialogs_(dialogs),
      simStateDir_(std::move(simStateDir)),
      op_(this, dialogs) {
  qRegisterMetaType<app::Command>();
}

CommandRunner::~CommandRunner() {
  if (thread_) {
    op_.RequestStop();
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
  }
  Shutdown();
}

namespace {

// What a command may change: the images, the option panels (a PIC read sets them from the
// configuration word), the fuse boxes (a config read) and the error flag.
void CopyCommandData(const app::Workspace& from, app::Workspace& to) {
  to.flash = from.flash;
  to.eepromInt = from.eepromInt;
  to.eepromExt = from.eepromExt;
  to.options = from.options;
  to.fuse128 = from.fuse128;
  to.fuse163 = from.fuse163;
  to.fuse8515 = from.fuse8515;
  to.ErrorFlag = from.ErrorFlag;
}

}  // namespace

void CommandRunner::CopyToWorker() {
  if (worker_.CardTypeText() != ws_.CardTypeText()) worker_.SetCardTypeText(ws_.CardTypeText());
  CopyCommandData(ws_, worker_);
  worker_.settings = ws_.settings;
  worker_.texts = ws_.texts;
  worker_.windowTexts = ws_.windowTexts;
}

void CommandRunner::CopyBackFromWorker() { CopyCommandData(worker_, ws_); }

std::string CommandRunner::RigKey() const {
  const app::Settings& s = worker_.settings;
  const app::CardType* card = worker_.Card();
  std::string key = s.portBackend + '\n' + std::to_string(s.avrPicCom) + '\n';
  for (const std::string& device : s.comDevices) key += device + '\n';
  key += s.ftdiDevice + '\n' + s.ftdiPins + '\n';
  const bool simulated =
      s.portBackend == "sim" || (s.portBackend == "ftdi" && s.ftdiDevice == "sim");
  if (simulated && card) {
    key += s.simCard + '\n' + std::string(card->text) + '\n' +
           std::to_string(app::ExtEepromBytes(*card, worker_.options));
  }
  return key;
}

void CommandRunner::SaveSimState() {
  if (!rig_) return;
  try {
    rig_->SaveSimState();
  } catch (const std::exception& e) {
    op_.ShowMessage(e.what());
  }
}

bool CommandRunner::EnsureRig() {
  if (rigFactory_) {
    if (!rig_) rig_ = rigFactory_(worker_, op_);
    return true;
  }
  const std::string key = RigKey();
  if (rig_ && key == rigKey_) return true;
  app::RigOptions options;
  if (rig_) {
    rig_->Session().ClosePort();
    SaveSimState();
    options.simAdapterMode = rig_->SimAdapterMode();  // one adapter for every card
    rig_.reset();
  }
  options.backend = worker_.settings.portBackend;
  const app::CardType* card = worker_.Card();
  if (options.backend == "sim" && card && !simStateDir_.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(simStateDir_, ignored);
    options.simStateFile = app::SimStateFileFor(simStateDir_, *card, worker_.options);
  }
  try {
    rig_ = std::make_unique<app::Rig>(options, worker_, op_);
    rig_->SetSimAdapterSwitchesItself(simAdapterSwitchesItself_);
  } catch (const std::exception& e) {
    op_.ShowMessage(e.what());
    return false;
  }
  rigKey_ = key;
  return true;
}

bool CommandRunner::Start(app::Command command) {
  if (thread_) return false;
  CopyToWorker();
  if (!EnsureRig()) return false;
  command_ = command;
  result_ = {};
  lastSimulated_ = rig_->Simulator() != nullptr;
  thread_ = QThread::create([this] {
    const uint64_t start = rig_->Backend().Time().NowUs();
    try {
      result_ = app::RunCommand(command_, worker_, *rig_, op_);
      lastDurationUs_ = rig_->Backend().Time().NowUs() - start;
    } catch (const std::exception& e) {
      result_ = {true, true};
      op_.ShowMessage(e.what());
    }
    op_.ShowHeldMessage();
    op_.Flush();
  });
  connect(thread_, &QThread::finished, this, &CommandRunner::OnThreadFinished,
          Qt::QueuedConnection);
  emit BusyChanged(true);
  thread_->start();
  return true;
}

void CommandRunner::OnThreadFinished() {
  if (!thread_) return;
  thread_->wait();
  delete thread_;
  thread_ = nullptr;
  CopyBackFromWorker();
  SaveSimState();
  emit BusyChanged(false);
  emit Finished(command_, result_.failed, result_.ran);
}

bool CommandRunner::RunNow(const std::function<void(app::Rig&, port::Operator&)>& action) {
  if (thread_) return false;
  CopyToWorker();
  if (!EnsureRig()) return false;
  try {
    action(*rig_, op_);
  } catch (const std::exception& e) {
    op_.ShowMessage(e.what());
  }
  op_.ShowHeldMessage();
  return true;
}

void CommandRunner::WaitForIdle() {
  while (thread_) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (thread_ && thread_->isRunning()) QThread::msleep(1);
  }
}

void CommandRunner::Shutdown() {
  if (thread_) return;
  if (rig_) rig_->Session().ClosePort();
  SaveSimState();
}

}  // namespace vexilo::gui
