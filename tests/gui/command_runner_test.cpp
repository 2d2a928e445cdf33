#include "gui/command_runner.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include "support/temp_dir.h"

namespace vexilo::gui {
namespace {

struct Logged {
  QString text;
  bool error;
};

// A window's worth of state around a runner: the workspace, answers to the questions and
// everything the runner forwarded.
struct Window {
  explicit Window(const std::string& card, std::string simStateDir = {}) {
    ws.SetCardTypeText(std::string(app::FindCardTypeByName(card)->text));
    ws.settings.autoMode = true;
    ws.settings.portBackend = "sim";
    dialogs.askYesNo = [this](const QString& q) {
      questions << q;
      dialogsOnWindowThread &= QThread::currentThread() == qApp->thread();
      return answer;
    };
    dialogs.showInfo = [this](const QString& t) { infos << t; };
    dialogs.showMessage = [this](const QString& t) { messages << t; };
    runner = std::make_unique<CommandRunner>(ws, dialogs, std::move(simStateDir));
    // The runner lives on this thread: the lines arrive here, queued, as in the window.
    QObject::connect(&runner->Operator(), &GuiOperator::LogLine, runner.get(),
                     [this](const QString& text, bool error) {
                       log.push_back({text, error});
                     });
    QObject::connect(runner.get(), &CommandRunner::Finished,
                     [this](app::Command, bool failed, bool) {
                       ++finished;
                       lastFailed = failed;
                     });
  }

  // Runs one command to its end with the event loop going; counts the timer ticks meanwhile.
  bool Run(app::Command command) {
    const int before = finished;
    if (!runner->Start(command)) return false;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [this] { ++ticks; });
    tick.start(1);
    QElapsedTimer guard;
    guard.start();
    while (finished == before && guard.elapsed() < 60000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return finished > before;
  }

  QStringList Texts() const {
    QStringList texts;
    for (const Logged& l : log) texts << l.text;
    return texts;
  }

  app::Workspace ws;
  Dialogs dialogs;
  std::unique_ptr<CommandRunner> runner;
  std::vector<Logged> log;
  QStringList questions, infos, messages;
  bool answer = true;
  bool dialogsOnWindowThread = true;
  int finished = 0;
  bool lastFailed = false;
  int ticks = 0;
};

TEST(CommandRunner, RunsACommandOnTheWorkerAndBringsTheImagesBack) {
  Window w("atmega");
  w.ws.settings.avrDelay = "20";
  for (uint32_t i = 0; i < 64; ++i) w.ws.flash.SetCell(i, static_cast<uint16_t>(i * 0x0101));
  const image::MemoryImage written = w.ws.flash;
  ASSERT_TRUE(w.Run(app::Command::ProgramFlash));
  EXPECT_FALSE(w.lastFailed);
  EXPECT_TRUE(w.Texts().contains("ATMEL WRITE FLASH : OK")) << w.Texts().join("\n").toStdString();

  w.ws.SetCardTypeText(w.ws.CardTypeText());  // blank images
  ASSERT_NE(w.ws.flash, written);
  ASSERT_TRUE(w.Run(app::Command::ReadFlash));
  EXPECT_EQ(w.ws.flash, written);
  EXPECT_GT(w.ticks, 0) << "the event loop ran while the command did";
}

TEST(CommandRunner, ASecondCommandIsRefusedWhileOneRuns) {
  Window w("black");
  ASSERT_TRUE(w.runner->Start(app::Command::ReadFlash));
  EXPECT_TRUE(w.runner->Busy());
  EXPECT_FALSE(w.runner->Start(app::Command::VerifyFlash));
  EXPECT_FALSE(w.runner->RunNow([](app::Rig&, port::Operator&) {}));
  w.runner->WaitForIdle();
  EXPECT_FALSE(w.runner->Busy());
  EXPECT_EQ(w.finished, 1);
  EXPECT_EQ(w.Texts().count("ATMEL READ FLASH : START"), 1);
}

TEST(CommandRunner, QuestionsAreAskedOnTheWindowThread) {
  Window w("fun");
  w.answer = false;
  ASSERT_TRUE(w.Run(app::Command::Erase));
  EXPECT_EQ(w.questions, QStringList{"Czy napewno chcesz wykasować FLASH ?"});
  EXPECT_TRUE(w.dialogsOnWindowThread);
  EXPECT_TRUE(w.log.empty());

  w.ws.settings.autoMode = false;
  w.ws.texts[30] = "Switch to AVR";
  ASSERT_TRUE(w.Run(app::Command::ReadEepromInt));
  EXPECT_EQ(w.infos, QStringList{"Switch to AVR"});
}

TEST(CommandRunner, ErrorLinesStayRedAndInOrder) {
  Window w("neoo");
  w.ws.settings.portBackend = "sim";
  w.ws.eepromInt.SetCell(3, 0x42);
  ASSERT_TRUE(w.Run(app::Command::VerifyEepromInt));
  EXPECT_TRUE(w.lastFailed);
  std::vector<QString> red;
  for (const Logged& l : w.log) {
    if (l.error) red.push_back(l.text);
  }
  ASSERT_EQ(red.size(), 1u);
  EXPECT_EQ(red[0], "ATMEL VERYFI EEPROM INT : ERROR ADR[0003]");
  EXPECT_EQ(w.log.back().text, "ATMEL SPI : OFF");
  EXPECT_FALSE(w.log.back().error);
}

TEST(CommandRunner, AStopRequestEndsTheRunningRead) {
  Window w("black");
  ASSERT_TRUE(w.runner->Start(app::Command::ReadFlash));
  while (!w.Texts().contains("ATMEL READ FLASH : START")) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  w.runner->RequestStop();
  w.runner->WaitForIdle();
  EXPECT_TRUE(w.lastFailed);
  EXPECT_TRUE(w.Texts().contains("ATMEL READ FLASH : STOPPED"));
}

TEST(CommandRunner, TheSimulatedCardKeepsItsMemoriesBetweenRuns) {
  test::TempDir dir;
  {
    Window w("fun", dir.Path("sim"));
    w.ws.eepromInt.SetCell(0, 0x5A);
    ASSERT_TRUE(w.Run(app::Command::ProgramEepromInt));
    // Another card type is another card; coming back finds the first one as it was.
    w.ws.SetCardTypeText(std::string(app::FindCardTypeByName("neoo")->text));
    ASSERT_TRUE(w.Run(app::Command::ReadEepromInt));
    EXPECT_EQ(w.ws.eepromInt.Cell(0), 0xFF);
  }
  Window again("fun", dir.Path("sim"));
  ASSERT_TRUE(again.Run(app::Command::ReadEepromInt));
  EXPECT_EQ(again.ws.eepromInt.Cell(0), 0x5A);
}

TEST(CommandRunner, ABackendThatCannotBeBuiltIsShownAndRunsNothing) {
  Window w("fun");
  w.ws.settings.portBackend = "telepathy";
  EXPECT_FALSE(w.runner->Start(app::Command::ReadFlash));
  EXPECT_FALSE(w.runner->Busy());
  ASSERT_EQ(w.messages.size(), 1);
  EXPECT_TRUE(w.messages[0].contains("telepathy"));
}

}  // namespace
}  // namespace vexilo::gui
