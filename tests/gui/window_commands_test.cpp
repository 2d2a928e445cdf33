// Whole commands from the window's menus on the simulated adapter and card.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "gui/grid_model.h"
#include "gui/option_panel_widgets.h"
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
  EXPECT_TRUE(Find<QLabel>("pasek_panel0")->text().endsWith("]:Close"));

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

TEST_F(WindowCommands, EraseAnsweredNoDoesNothing) {
  StartOnSimulator("neoo");
  answer = false;
  Find<QToolButton>("ToolButton7")->click();
  WaitForCommand();
  EXPECT_EQ(questions, QStringList{"Czy napewno chcesz wykasować FLASH ?"});
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
