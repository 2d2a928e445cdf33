// Whole commands from the window's menus on the simulated adapter and card.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "gui/grid_model.h"
#include "gui/option_panel_widgets.h"
#include "slow_simulator.h"
#include "window_fixture.h"

namespace vexilo::gui {
namespace {

using test::Config;
using test::WindowFixture;

class WindowCommands : public ::testing::Test, public WindowFixture {
 protected:
  TForm1& StartOnSimulator(const char* alias) {
    return Start(Config({"[Auto mode]", "mode=1", "[Port backend]", "backend=sim", "[TYP]",
                         "KARTA=" + std::string(app::FindCardTypeByName(alias)->text)}));
  }
  QString Cell(const char* grid, int row, int column) const {
    return Find<ImageGrid>(grid)->model()->index(row, column).data().toString();
  }
};

// "Detect card" names the card in the reader and keeps the card type that fits it.
TEST_F(WindowCommands, DetectCardNamesTheCardInTheReader) {
  TForm1& w = StartOnSimulator("pic2");
  QToolButton* detect = Find<QToolButton>("ToolButtonDetect");
  EXPECT_TRUE(detect->text().contains('&')) << "an Alt key";
  detect->click();
  WaitForCommand();
  EXPECT_TRUE(LogTexts().contains(
      "DETECT : PIC - a PIC16F876 (device ID 09E0, rev. 0): Pic Card 2 - 16F876 + 24Cxx"))
      << LogTexts().join("\n").toStdString();
  EXPECT_EQ(w.Workspace().CardTypeText(), "Pic Card 2 - 16F876 + 24Cxx");
}

TEST_F(WindowCommands, ProgramFlashRunsWhileTheWindowStaysLiveAndRefusesASecondCommand) {
  TForm1& w = StartOnSimulator("fun");
  w.show();
  for (uint32_t i = 0; i < 40; ++i)
    w.Workspace().flash.SetCell(i, static_cast<uint16_t>(0x0C94 + i));
  const image::MemoryImage written = w.Workspace().flash;

  Item("ProgramujFLASH1")->trigger();
  ASSERT_TRUE(w.Runner().Busy());
  for (const char* name : {"ProgramujFLASH1", "W1", "OdczytajFLASH1", "WczytajFLASH1"}) {
    EXPECT_FALSE(Item(name)->isEnabled()) << name;
  }
  EXPECT_TRUE(Item("ZapiszFLASH1")->isEnabled());
  EXPECT_FALSE(Find<QComboBox>("typ")->isEnabled());
  EXPECT_FALSE(Find<QToolButton>("ToolButton7")->isEnabled());
  // A second command is refused while one runs.
  EXPECT_FALSE(w.Runner().Start(app::Command::VerifyFlash));

  int ticks = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
  tick.start(1);
  WaitForCommand();
  EXPECT_GT(ticks, 0) << "the event loop ran while the command did";
  EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();

  const QStringList log = LogTexts();
  EXPECT_EQ(log.count("ATMEL SPI : ON"), 1) << log.join("\n").toStdString();
  EXPECT_EQ(log.count("ATMEL WRITE FLASH : START"), 1);
  EXPECT_TRUE(log.contains("ATMEL WRITE FLASH : OK"));
  EXPECT_EQ(log.back(), "ATMEL SPI : OFF");
  EXPECT_FALSE(log.join("\n").contains("ERASE"));
  EXPECT_TRUE(Item("ProgramujFLASH1")->isEnabled());
  EXPECT_TRUE(Find<QComboBox>("typ")->isEnabled());
  EXPECT_GT(Find<QProgressBar>("procent")->maximum(), 0);
  // The simulator names its device rather than a UART base.
  EXPECT_EQ(Find<QLabel>("pasek_panel0")->text(), "sim COM1:Close");

  // Read back into blank images: the grid shows what was written.
  Find<QComboBox>("typ")->setCurrentText(QString::fromStdString(w.Workspace().CardTypeText()) +
                                         " ");
  Find<QComboBox>("typ")->setCurrentText(
      QString::fromStdString(std::string(app::FindCardTypeByName("fun")->text)));
  ASSERT_EQ(Cell("flash", 0, 1), "FFFF");
  Item("OdczytajFLASH1")->trigger();
  WaitForCommand();
  EXPECT_EQ(w.Workspace().flash, written);
  EXPECT_EQ(Cell("flash", 0, 1), QString::fromStdString(written.CellText(0)));
  EXPECT_NE(Find<QLabel>("adr_")->text(), ":0000");

  // A verify against a changed image ends with a red line, and the next line is black.
  w.Workspace().flash.SetCell(3, 0x1111);
  Item("W1")->trigger();
  WaitForCommand();
  auto lines = Log();
  auto red = std::find_if(lines.begin(), lines.end(),
                          [](const test::LogLine& l) { return l.colour == QColor(255, 0, 0); });
  ASSERT_NE(red, lines.end());
  EXPECT_EQ(red->text, "ATMEL VERYFI FLASH : ERROR ADR[0003]");
  ASSERT_NE(red + 1, lines.end());
  EXPECT_EQ((red + 1)->colour, QColor(0, 0, 0));
}

// A serial device that will not open: one box holds "Error Open COM" and what to do, pointing
// to the Setup tab rather than to the command line program.
TEST_F(WindowCommands, APortThatWillNotOpenSaysWhyInItsBox) {
  Start(
      Config({"[Auto mode]", "mode=0", "[Port backend]", "backend=tty",
              "COM1=" + dir.Path("no-such-device"), "[TYP]", "KARTA=Fun Card - 90S8515 + 24Cxx"}));
  Item("OdczytajFLASH1")->trigger();
  WaitForCommand();
  ASSERT_EQ(messages.size(), 1) << messages.join('\n').toStdString();
  EXPECT_TRUE(messages[0].startsWith("Error Open COM\n\n")) << messages[0].toStdString();
  EXPECT_TRUE(messages[0].contains("no-such-device"));
  EXPECT_FALSE(messages[0].contains("vexilo-cli"));
}

TEST_F(WindowCommands, EraseAnsweredNoDoesNothing) {
  StartOnSimulator("neoo");
  answer = false;
  Find<QToolButton>("ToolButton7")->click();
  WaitForCommand();
  // In the language of the pack the window chose (English).
  EXPECT_EQ(questions, QStringList{"Do you really want to erase the FLASH?"});
  EXPECT_TRUE(LogTexts().isEmpty());
}

TEST_F(WindowCommands, ADoubleClickOnTheOptionPanelStopsTheRunningRead) {
  TForm1& w = StartOnSimulator("black");
  w.show();
  Item("OdczytajFLASH1")->trigger();
  while (w.Runner().Busy() && !LogTexts().contains("ATMEL READ FLASH : START")) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  QTest::mouseDClick(Find("gfun"), Qt::LeftButton, {}, QPoint(300, 5));
  WaitForCommand();
  EXPECT_TRUE(LogTexts().contains("ATMEL READ FLASH : STOPPED"))
      << LogTexts().join("\n").toStdString();
}

// Each way to stop a running command: the double-click on each option panel, the Stop button
// and Esc. Stop is enabled only while the command runs.
TEST_F(WindowCommands, EveryStopEndsTheRunningRead) {
  struct Way {
    const char* card;
    const char* how;
  };
  for (const Way& way : {Way{"wafer", "gpic"}, Way{"pic2", "gpic2"}, Way{"black", "gfun"},
                         Way{"fun", "button"}, Way{"atmega", "escape"}}) {
    SCOPED_TRACE(way.how);
    TForm1& w = StartOnSimulator(way.card);
    w.Runner().SetRigFactory(
        [](app::Workspace& ws, port::Operator& op) { return test::SlowSimRig(ws, op, 2); });
    w.show();
    QApplication::setActiveWindow(&w);
    auto* stop = Find<QToolButton>("ToolButtonStop");
    EXPECT_FALSE(stop->isEnabled());
    Item("OdczytajFLASH1")->trigger();
    while (w.Runner().Busy() && !LogTexts().filter(QRegularExpression(" : START$")).size()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    EXPECT_TRUE(stop->isEnabled());
    const QString how = way.how;
    if (how == "button") {
      stop->click();
    } else if (how == "escape") {
      QTest::keyClick(&w, Qt::Key_Escape);
    } else {
      QWidget* panel = Find(way.how);
      QTest::mouseDClick(panel, Qt::LeftButton, {}, QPoint(panel->width() - 3, 3));
    }
    WaitForCommand();
    EXPECT_EQ(LogTexts().filter(QRegularExpression("READ FLASH : STOPPED$")).size(), 1)
        << LogTexts().join("\n").toStdString();
    EXPECT_FALSE(stop->isEnabled());
  }
}

// A Black Card write watched in wall time on a slowed simulator: the bar and the address
// label both move at least every half second.
TEST_F(WindowCommands, ABlackCardWriteMovesTheBarAndTheAddressLabelAllTheWay) {
  TForm1& w = StartOnSimulator("black");
  w.Runner().SetRigFactory(
      [](app::Workspace& ws, port::Operator& op) { return test::SlowSimRig(ws, op, 40); });
  w.show();
  for (uint32_t i = 0; i < 16384; ++i) w.Workspace().flash.SetCell(i, static_cast<uint16_t>(i));
  auto* bar = Find<QProgressBar>("procent");
  auto* label = Find<QLabel>("adr_");
  Item("ProgramujFLASH1")->trigger();

  QElapsedTimer clock;
  clock.start();
  std::vector<qint64> barMoves, labelMoves;
  qint64 started = -1, ended = -1;
  int lastValue = bar->value();
  QString lastText = label->text();
  QString timeShown;
  while (w.Runner().Busy() && clock.elapsed() < 120000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const QStringList log = LogTexts();
    if (started < 0 && log.contains("ATMEL WRITE FLASH : START")) started = clock.elapsed();
    if (ended < 0 && log.contains("ATMEL WRITE FLASH : OK")) ended = clock.elapsed();
    if (started < 0 || ended >= 0) continue;
    if (timeShown.isEmpty()) timeShown = Find<QLabel>("pasek_time")->text();
    if (bar->value() != lastValue) barMoves.push_back(clock.elapsed());
    if (label->text() != lastText) labelMoves.push_back(clock.elapsed());
    lastValue = bar->value();
    lastText = label->text();
  }
  ASSERT_GE(started, 0);
  ASSERT_GT(ended, started) << LogTexts().join("\n").toStdString();
  auto longestGap = [&](std::vector<qint64> moves) {
    moves.insert(moves.begin(), started);
    moves.push_back(ended);
    qint64 longest = 0;
    for (size_t i = 1; i < moves.size(); ++i) longest = std::max(longest, moves[i] - moves[i - 1]);
    return longest;
  };
  std::printf("write took %lld ms; bar moved %zu times, label %zu times\n",
              static_cast<long long>(ended - started), barMoves.size(), labelMoves.size());
  EXPECT_GE(ended - started, 1500) << "slow enough to watch";
  EXPECT_LT(longestGap(barMoves), 500);
  EXPECT_LT(longestGap(labelMoves), 500);
  EXPECT_TRUE(timeShown.contains(" elapsed, ") && timeShown.endsWith(" left (simulated)"))
      << timeShown.toStdString();
  // The command's time stays until the next command starts.
  const QString took = Find<QLabel>("pasek_time")->text();
  EXPECT_TRUE(took.startsWith("took ") && took.endsWith(" (simulated)")) << took.toStdString();
}

TEST_F(WindowCommands, APicReadSetsTheOptionPanelAndTheExternalEepromAsksFirst) {
  TForm1& window = StartOnSimulator("wafer");
  window.Workspace().options.pic.comboBox1 = "HS";
  Item("ProgramujFlashEepromint1")->trigger();
  WaitForCommand();
  EXPECT_TRUE(LogTexts().contains("PIC WRITE : OK")) << LogTexts().join("\n").toStdString();

  // The chip's configuration word comes back into the panel.
  window.Workspace().options.pic.comboBox1 = "LP";
  Item("Odczytajustawienia1")->trigger();
  WaitForCommand();
  EXPECT_EQ(window.Workspace().options.pic.comboBox1, "HS");
  EXPECT_EQ(Find<QComboBox>("ComboBox1")->currentText(), "HS");

  ASSERT_TRUE(Item("ProgramujEEPROMext1")->isEnabled());
  answer = false;
  const qsizetype logLines = LogTexts().size();
  Item("ProgramujEEPROMext1")->trigger();
  WaitForCommand();
  EXPECT_EQ(questions.size(), 1);
  EXPECT_EQ(LogTexts().size(), logLines) << "answered No: nothing runs";
  EXPECT_TRUE(messages.isEmpty());
}

}  // namespace
}  // namespace vexilo::gui
