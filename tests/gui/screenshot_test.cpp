// Renders the window for each card type into build-tree PNG files (screenshots/<card>.png
// beside the test program), for the README and for looking at the layout.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QTabWidget>
#include <filesystem>

#include "gui/command_runner.h"
#include "gui/fuse_form.h"
#include "gui/main_window.h"
#include "support/temp_dir.h"

namespace vexilo::gui {
namespace {

TEST(Screenshots, EveryCardTypeRendersIntoAPicture) {
  const QString out = QDir(QCoreApplication::applicationDirPath()).filePath("../screenshots");
  ASSERT_TRUE(QDir().mkpath(out));
  test::TempDir dir;
  test::ScopedCurrentDir here(dir.Path());
  for (const app::CardType& card : app::CardTypes()) {
    // The Setup page is shown with the FTDI backend chosen.
    const std::string port =
        card.alias == "fun" ? "[Port backend]\r\nbackend=ftdi\r\n[FTDI]\r\ndevice=sim\r\n" : "";
    dir.Write("config.cfg", "[TYP]\r\nKARTA=" + std::string(card.text) + "\r\n" + port);
    TForm1 window;
    window.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(kFlashPage);
    window.show();
    const QImage picture = window.grab().toImage();
    EXPECT_EQ(picture.size(), window.size());
    EXPECT_TRUE(picture.save(QDir(out).filePath(
        QString::fromUtf8(card.alias.data(), qsizetype(card.alias.size())) + ".png")));
    if (card.alias == "fun") {
      const std::pair<int, const char*> pages[] = {{kEepromExtPage, "fun-eeprom-ext.png"},
                                                   {kSetupPage, "setup.png"},
                                                   {kInfoPage, "info.png"}};
      for (auto [page, file] : pages) {
        window.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(page);
        EXPECT_TRUE(window.grab().save(QDir(out).filePath(file)));
      }
    }
  }
}

// The ATmega163 dialog has the most bits without a box: its boxes still stand under their bits.
TEST(Screenshots, TheFuseDialogsKeepTheirBitColumns) {
  const QString out = QDir(QCoreApplication::applicationDirPath()).filePath("../screenshots");
  ASSERT_TRUE(QDir().mkpath(out));
  avr::FuseDialog model = avr::FuseDialog::ForChip(avr::AvrChip::ATmega163);
  FuseForm form(model);
  form.show();
  EXPECT_TRUE(form.grab().save(QDir(out).filePath("fuse-atmega163.png")));
}

// The README's picture: the shipped example programmed into a simulated Fun Card and verified.
TEST(Screenshots, AProgrammingSessionOnTheSimulator) {
  const QString out = QDir(QCoreApplication::applicationDirPath()).filePath("../screenshots");
  ASSERT_TRUE(QDir().mkpath(out));
  test::TempDir dir;
  test::ScopedCurrentDir here(dir.Path());
  // Loaded from the current folder, as a user would, so the picture shows no build path.
  const std::string example = "fun_card_demo.hex";
  std::filesystem::copy_file(
      QDir::cleanPath(QT_TESTCASE_SOURCEDIR "/../examples/fun_card_demo.hex").toStdString(),
      dir.Path(example));
  dir.Write("config.cfg", "[Auto mode]\r\nmode=1\r\n[TYP]\r\nKARTA=Fun Card - 90S8515 + 24Cxx\r\n");
  TForm1 window;
  window.move(200, 150);  // away from the pointer, which would light up a tool button
  window.SetFileDialog(
      [&](QWidget*, const FileDialogRequest&) { return QString::fromStdString(example); });
  window.show();
  window.findChild<QAction*>("WczytajFLASH1")->trigger();
  ASSERT_EQ(window.Workspace().flashFile, example);
  window.findChild<QAction*>("ProgramujFLASH1")->trigger();
  window.Runner().WaitForIdle();
  window.findChild<QAction*>("W1")->trigger();
  window.Runner().WaitForIdle();
  EXPECT_TRUE(window.grab().save(QDir(out).filePath("fun-session.png")));
  // Made larger, the grids and the log take the room.
  window.resize(760, 700);
  EXPECT_TRUE(window.grab().save(QDir(out).filePath("fun-session-large.png")));
}

}  // namespace
}  // namespace vexilo::gui
