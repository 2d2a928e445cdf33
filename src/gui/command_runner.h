#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "app/commands.h"
#include "app/rig.h"
#include "app/workspace.h"
#include "gui/gui_operator.h"

class QThread;

namespace vexilo::gui {

// Runs the window's hardware commands on one worker thread, so the window stays live.
//
// The worker has a workspace of its own: a command starts on a copy of the window's images,
// option panels, fuse boxes and settings, and at its end the images, panels, fuse boxes and
// error flag come back. The window's workspace is therefore never touched by two threads.
// The rig (port backend and session) is built for the card type, port backend, device and
// COM port of the settings, and built again when one of them changed.
class CommandRunner final : public QObject {
  Q_OBJECT
 public:
  // `ws` is the window's workspace; `simStateDir`, when not empty, keeps each simulated
  // card's memories between runs (one file per card type).
  CommandRunner(app::Workspace& ws, Dialogs& dialogs, std::string simStateDir = {},
                QObject* parent = nullptr);
  ~CommandRunner() override;  // waits for a running command

  bool Busy() const { return thread_ != nullptr; }

  // Starts `command`; false when one is running. Finished() follows when it has ended.
  bool Start(app::Command command);
  // Runs an adapter test action at once on the window's thread (test tabs); false when a
  // command is running or the rig could not be built (the reason has been shown).
  bool RunNow(const std::function<void(app::Rig&, port::Operator&)>& action);
  // The double-click on the option panel: the running operation stops.
  void RequestStop() { op_.RequestStop(); }
  // Processes events until the running command has ended (tests, closing the window).
  void WaitForIdle();
  // Ends the port session left open by the test tabs and saves the simulated card.
  void Shutdown();

  GuiOperator& Operator() { return op_; }
  // Builds the rig with `factory` instead of from the settings (tests run their own backend).
  using RigFactory =
      std::function<std::unique_ptr<app::Rig>(app::Workspace& ws, port::Operator& op)>;
  // The window's simulated adapter switches its mode by itself (no request to do it by hand).
  void SetSimAdapterSwitchesItself(bool on) { simAdapterSwitchesItself_ = on; }
  // How long the last command took on the rig's clock, and whether that was the simulator's.
  uint64_t LastDurationUs() const { return lastDurationUs_; }
  bool LastSimulated() const { return lastSimulated_; }
  void SetRigFactory(RigFactory factory) {
    rigFactory_ = std::move(factory);
    rig_.reset();
  }
  // The rig of the last command or test action, or null.
  app::Rig* CurrentRig() { return rig_.get(); }

 signals:
  void BusyChanged(bool busy);
  void Finished(app::Command command, bool failed, bool ran);

 private:
  void CopyToWorker();
  void CopyBackFromWorker();
  // Builds the rig again when its key changed; false (and a message) when it cannot be.
  bool EnsureRig();
  std::string RigKey() const;
  void SaveSimState();
  void OnThreadFinished();

  app::Workspace& ws_;
  Dialogs& dialogs_;
  std::string simStateDir_;
  app::Workspace worker_;
  GuiOperator op_;
  std::unique_ptr<app::Rig> rig_;
  std::string rigKey_;
  RigFactory rigFactory_;
  QThread* thread_ = nullptr;
  app::Command command_{};
  app::CommandResult result_{};
  uint64_t lastDurationUs_ = 0;
  bool lastSimulated_ = false;
  bool simAdapterSwitchesItself_ = false;
};

}  // namespace vexilo::gui

Q_DECLARE_METATYPE(vexilo::app::Command)
