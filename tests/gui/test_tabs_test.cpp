#include "gui/test_tabs.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "gui/command_runner.h"
#include "sim/backend/sim_backend.h"

namespace vexilo::gui {
namespace {

struct Bench {
  Bench() {
    ws.SetCardTypeText(std::string(app::FindCardTypeByName("pic2")->text));
    ws.settings.portBackend = "sim";
    runner = std::make_unique<CommandRunner>(ws, dialogs);
    QObject::connect(&runner->Operator(), &GuiOperator::StatusPanelChanged, runner.get(),
                     [this](int index, const QString& text) {
                       if (index == 0) portPanel = text;
                     });
  }
  void Click(QWidget& page, const QString& name) {
    auto* button = page.findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << name.toStdString();
    button->click();
  }
  sim::SimBackend& Sim() { return *runner->CurrentRig()->Simulator(); }

  app::Workspace ws;
  Dialogs dialogs;
  std::unique_ptr<CommandRunner> runner;
  QString portPanel;
};

TEST(TestTabs, LinesAreSwitchedAndReadByHand) {
  Bench bench;
  TestKoVad2Page modes(*bench.runner);
  TestKoVadPage lines(*bench.runner);
  bench.Click(modes, "Button36");  // PIC mode burst
  EXPECT_EQ(bench.Sim().CardAdapter().Mode(), sim::AdapterMode::Pic);

  // The PH tab opens the AVR/PIC port too.
  bench.Click(lines, "PH_open");
  EXPECT_TRUE(bench.runner->CurrentRig()->Session().IsOpen());
  EXPECT_EQ(bench.portPanel, "Port[3F8]:Open");

  // With MCLR off the PIC does not drive RB7, so the state reads the programmer's own level.
  auto* edit = lines.findChild<QLineEdit*>("Edit2");
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->text(), "0");
  bench.Click(lines, "PIC_RB7_on");
  bench.Click(lines, "PIC_state");
  EXPECT_EQ(edit->text(), "1");
  bench.Click(lines, "PIC_RB7_off");
  bench.Click(lines, "PIC_state");
  EXPECT_EQ(edit->text(), "0");

  bench.Click(lines, "RS_close");
  EXPECT_FALSE(bench.runner->CurrentRig()->Session().IsOpen());
  bench.Click(modes, "Button35");
  EXPECT_EQ(bench.Sim().CardAdapter().Mode(), sim::AdapterMode::Avr);
}

TEST(TestTabs, EveryTabHasItsButtons) {
  Bench bench;
  TestKoVadPage lines(*bench.runner);
  for (const char* name : {"RS_TX_on", "RS_RTS_off", "RS_DTR_on", "RS_state", "PH_IO_on",
                           "PH_RESET_off", "AVR_RESET_on", "AVR_SCK_on", "AVR_MOSI_off",
                           "AVR_state", "PIC_MCLR_on", "PIC_RB6_on", "PIC_close"}) {
    EXPECT_NE(lines.findChild<QPushButton*>(name), nullptr) << name;
  }
  EXPECT_EQ(lines.findChild<QPushButton*>("PIC_MCLR_on")->text(), "+12v");
  EXPECT_EQ(lines.findChild<QPushButton*>("RS_TX_on")->text(), "Break");
  EXPECT_NE(lines.findChild<QLineEdit*>("Edit1"), nullptr);
  EXPECT_NE(lines.findChild<QLineEdit*>("Edit3"), nullptr);
}

}  // namespace
}  // namespace vexilo::gui
