#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <filesystem>

#include "gui/grid_model.h"
#include "gui/option_panel_widgets.h"
#include "window_fixture.h"

namespace vexilo::gui {
namespace {

using test::Config;
using test::WindowFixture;

std::string CardText(const char* alias) {
  return std::string(app::FindCardTypeByName(alias)->text);
}

std::string TypConfig(const char* alias) { return Config({"[TYP]", "KARTA=" + CardText(alias)}); }

constexpr const char* kExtItems[] = {"WczytajEEPROMext1",     "ZapiszEEPROMext1",
                                     "ProgramujFULL1",        "ProgramujEEPROMext1",
                                     "WeryfikacjaEEPROMext1", "OdczytEEPROMext1"};

class Window : public ::testing::Test, public WindowFixture {
 protected:
  void ChooseCard(const char* alias) {
    Find<QComboBox>("typ")->setCurrentText(QString::fromStdString(CardText(alias)));
  }
  bool Shown(const char* name) const { return Find(name)->isVisibleTo(window.get()); }
  int Rows(const char* grid) const { return Find<ImageGrid>(grid)->model()->rowCount(); }
};

TEST_F(Window, StartsWithTheSavedBlackCardWithoutWritingTheSettings) {
  const std::string config = TypConfig("black");
  TForm1& w = Start(config);
  EXPECT_EQ(w.windowTitle(), "VEXILO2001 by ZELTIX 18.04.2003 - VIP");
  EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentIndex(), kInfoPage);
  EXPECT_TRUE(Shown("gfun"));
  EXPECT_EQ(Find("gfun")->pos(), QPoint(0, 464));
  EXPECT_TRUE(Shown("fuse"));
  EXPECT_EQ(Find("fuse")->x(), 10);
  for (const char* hidden : {"c64", "c128", "c256", "C512", "CheckBox1", "CheckBox2", "Button39",
                             "Button40", "gpic", "gpic2"}) {
    EXPECT_FALSE(Shown(hidden)) << hidden;
  }
  for (const char* item : kExtItems) EXPECT_FALSE(Item(item)->isEnabled()) << item;
  EXPECT_TRUE(Item("Odczytajustawienia1")->isEnabled());
  EXPECT_TRUE(Item("WczytajEEPROMint1")->isEnabled());
  EXPECT_EQ(Rows("flash"), 8192);
  EXPECT_EQ(Rows("eeprom_int"), 256);
  EXPECT_EQ(dir.Read("config.cfg"), config) << "start leaves config.cfg alone";
  EXPECT_FALSE(Find<QTabWidget>("PageControl1")->isTabVisible(kTestKoVadPage));
  EXPECT_FALSE(Find<QTabWidget>("PageControl1")->isTabVisible(kTestKoVad2Page));
}

TEST_F(Window, ACardChangeKeepsTheLogSwitchesPanelsAndSavesTheCardType) {
  Start(TypConfig("black"));
  emit window->Runner().Operator().LogLine("ATMEL SPI : ON", false);
  ASSERT_EQ(LogTexts().size(), 1);

  ChooseCard("fun");
  EXPECT_EQ(LogTexts(),
            (QStringList{"ATMEL SPI : ON", "Card type changed: Fun Card - 90S8515 + 24Cxx"}));
  for (const char* item : kExtItems) EXPECT_TRUE(Item(item)->isEnabled()) << item;
  EXPECT_FALSE(Item("Odczytajustawienia1")->isEnabled());
  EXPECT_FALSE(Shown("fuse"));
  for (const char* shown : {"c64", "c128", "c256", "C512", "CheckBox1", "CheckBox2"}) {
    EXPECT_TRUE(Shown(shown)) << shown;
  }
  EXPECT_EQ(Rows("flash"), 512);
  EXPECT_NE(dir.Read("config.cfg").find("KARTA=" + CardText("fun")), std::string::npos);

  ChooseCard("wafer");
  EXPECT_TRUE(Shown("gpic"));
  EXPECT_EQ(Find("gpic")->pos(), QPoint(0, 464));
  EXPECT_FALSE(Shown("gfun"));
  EXPECT_FALSE(Item("WczytajEEPROMint1")->isEnabled());
  EXPECT_FALSE(Item("ZapiszEEPROMint1")->isEnabled());
  EXPECT_TRUE(Item("Odczytajustawienia1")->isEnabled());
  EXPECT_TRUE(Item("WczytajEEPROMext1")->isEnabled());
  EXPECT_EQ(Rows("eeprom_ext"), 128);
  EXPECT_EQ(Find<ImageGrid>("flash")->model()->index(0, 1).data().toString(), "3FFF");

  ChooseCard("neoo");
  EXPECT_TRUE(Shown("Button40"));
  EXPECT_EQ(Find("Button40")->pos(), QPoint(6, 6));
  EXPECT_TRUE(Shown("CheckBox1"));
  EXPECT_FALSE(Shown("Button39"));
  ChooseCard("atmega");
  EXPECT_TRUE(Shown("Button39"));
  EXPECT_FALSE(Shown("Button40"));
  EXPECT_FALSE(Shown("CheckBox1"));
  ChooseCard("pic2");
  EXPECT_TRUE(Shown("gpic2"));
  EXPECT_FALSE(Shown("gpic"));
}

TEST_F(Window, ATypedTextThatNamesNoCardChangesNothingAndSaysSo) {
  Start(TypConfig("black"));
  window->Workspace().flash.SetCell(5, 0x1234);
  auto* systemLine = Find<QLabel>("pasek_panel1");
  const QString systemText = systemLine->text();
  Find<QComboBox>("typ")->setEditText("Black Card");
  EXPECT_EQ(systemLine->text(), "Unknown card type \"Black Card\": choose one from the list");
  EXPECT_EQ(window->Workspace().CardTypeText(), "Black Card");
  EXPECT_EQ(window->Workspace().flash.Cell(5), 0x1234);
  EXPECT_EQ(Rows("flash"), 8192);
  EXPECT_TRUE(Shown("fuse"));
  EXPECT_FALSE(Shown("c64"));
  for (const char* item : kExtItems) EXPECT_FALSE(Item(item)->isEnabled()) << item;
  // Every command does nothing for it, and says so in one red line.
  Item("OdczytajFLASH1")->trigger();
  window->Runner().WaitForIdle();
  Find<QToolButton>("ToolButton7")->click();
  Item("WczytajFLASH1")->trigger();
  Item("ZapiszFLASH1")->trigger();
  const auto log = Log();
  ASSERT_EQ(log.size(), 4u);
  for (const test::LogLine& line : log) {
    EXPECT_EQ(line.text,
              "Unknown card type \"Black Card\": nothing was done; choose a card type "
              "from the list");
    EXPECT_EQ(line.colour, QColor(255, 0, 0));
  }
  EXPECT_TRUE(requests.empty()) << "no file dialog";
  EXPECT_TRUE(questions.isEmpty());
  ChooseCard("fun");
  EXPECT_EQ(systemLine->text(), systemText);
}

TEST_F(Window, AnErrorLineIsRedAndTheNextLineBlack) {
  Start();
  GuiOperator& op = window->Runner().Operator();
  emit op.LogLine("ATMEL VERYFI FLASH : START", false);
  emit op.LogLine("ATMEL VERYFI FLASH : ERROR ADR[0003]", true);
  emit op.LogLine("ATMEL VERYFI FLASH : STOP", false);
  auto log = Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].colour, QColor(0, 0, 0));
  EXPECT_EQ(log[1].text, "ATMEL VERYFI FLASH : ERROR ADR[0003]");
  EXPECT_EQ(log[1].colour, QColor(255, 0, 0));
  EXPECT_EQ(log[2].colour, QColor(0, 0, 0));
}

TEST_F(Window, SizeButtonsResizeTheExternalEepromAndFuseButtonsOpenTheirDialog) {
  Start(TypConfig("fun"));
  EXPECT_EQ(Rows("eeprom_ext"), 512);
  Find<QRadioButton>("c256")->click();
  EXPECT_EQ(Rows("eeprom_ext"), 2048);
  EXPECT_EQ(window->Workspace().eepromExt.Rows(), 2048u);
  Find<QRadioButton>("C512")->click();
  EXPECT_EQ(Rows("eeprom_ext"), 4096);

  ChooseCard("pic2");
  Find<QRadioButton>("c128_")->click();
  EXPECT_EQ(Rows("eeprom_ext"), 1024);

  ChooseCard("black");
  QString opened;
  QTimer::singleShot(0, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal) {
      opened = modal->windowTitle();
      modal->close();
    }
  });
  Find<QPushButton>("fuse")->click();
  EXPECT_EQ(opened, "FUSE ATMega128");
}

TEST_F(Window, ADoubleClickOnTheStatusBarShowsBothTestTabs) {
  Start();
  window->show();
  auto* pages = Find<QTabWidget>("PageControl1");
  QTest::mouseDClick(Find<QStatusBar>("pasek"), Qt::LeftButton);
  EXPECT_TRUE(pages->isTabVisible(kTestKoVadPage));
  EXPECT_TRUE(pages->isTabVisible(kTestKoVad2Page));
  EXPECT_EQ(pages->tabText(kTestKoVadPage), "Test KO-VAD");
  EXPECT_EQ(pages->tabText(kTestKoVad2Page), "Test KO-VAD2");
}

TEST_F(Window, PortGroupsComeBackToTheirOwnButtons) {
  Start();
  window->show();
  EXPECT_TRUE(Find<QRadioButton>("com1_")->isChecked());
  Find<QRadioButton>("com2_")->click();
  Find<QRadioButton>("comm3_")->click();
  window->close();
  const std::string file = dir.Read("config.cfg");
  EXPECT_NE(file.find("[port phoenix]\r\nCOM=2"), std::string::npos) << file;
  EXPECT_NE(file.find("[port avr/pic]\r\nCOM=3"), std::string::npos) << file;

  Start();
  EXPECT_TRUE(Find<QRadioButton>("com2_")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>("comm3_")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>("com1_")->isChecked());
}

TEST_F(Window, PresetsFillTheControlsAndAreWrittenAtClose) {
  Start();
  window->show();
  Find<QPushButton>("Button37")->click();
  EXPECT_EQ(Find<QLineEdit>("delay_ext")->text(), "80");
  EXPECT_EQ(Find<QSlider>("pic_clk_")->value(), 15);
  Find<QPushButton>("Button38")->click();
  EXPECT_EQ(Find<QLabel>("pic_clk_label")->text(), "25");
  EXPECT_EQ(Find<QLabel>("avr_clk_label")->text(), "15");
  EXPECT_FALSE(dir.Read("config.cfg").find("TXDelay") != std::string::npos)
      << "nothing is written before the window closes";
  window->close();
  const std::string file = dir.Read("config.cfg");
  for (const char* expected :
       {"[PHOENIX]\r\nTXDelay=150\r\nATRDelay=150", "[AVR]\r\nDelay=10", "[PIC]\r\nDelay=15",
        "[PIC Speed Clock]\r\nCLK=25", "[AVR Speed Clock]\r\nCLK=15"}) {
    EXPECT_NE(file.find(expected), std::string::npos) << expected << "\n" << file;
  }
}

TEST_F(Window, TheSimulatorIsTheDefaultAndTheBackendChoiceIsSaved) {
  Start();
  window->show();
  auto* backend = Find<QComboBox>("port_backend");
  EXPECT_EQ(backend->currentText(), "Simulator");
  EXPECT_EQ(Find<QLabel>("pasek_panel1")->text(), "System : Linux (simulator)");
  EXPECT_FALSE(Find<QLineEdit>("device_path")->isEnabled());
  auto* simCard = Find<QComboBox>("sim_card");
  EXPECT_EQ(simCard->currentText(), "Simulated card: loader model");
  simCard->setCurrentIndex(1);  // the ISA card, kept with the rest

  backend->setCurrentIndex(2);  // serial device
  EXPECT_FALSE(simCard->isEnabled());
  auto* path = Find<QLineEdit>("device_path");
  ASSERT_TRUE(path->isEnabled());
  path->selectAll();
  QTest::keyClicks(path, "/dev/ttyUSB0");
  EXPECT_EQ(Find<QLabel>("pasek_panel1")->text(), "System : Linux (/dev/ttyUSB0)");
  Find<QComboBox>("device_com")->setCurrentIndex(1);
  EXPECT_EQ(path->text(), "/dev/ttyS1");
  window->close();
  const std::string file = dir.Read("config.cfg");
  EXPECT_NE(file.find("backend=tty"), std::string::npos) << file;
  EXPECT_NE(file.find("COM1=/dev/ttyUSB0"), std::string::npos) << file;
  EXPECT_NE(file.find("sim card=isa"), std::string::npos) << file;

  Start();
  EXPECT_EQ(Find<QComboBox>("port_backend")->currentText(), "Serial device");
  EXPECT_EQ(Find<QLineEdit>("device_path")->text(), "/dev/ttyUSB0");
}

TEST_F(Window, FileDialogsLeaveTheCurrentDirectoryAsItWas) {
  Start(TypConfig("fun"));
  window->show();
  const std::string other = dir.Path("images");
  const std::string hex =
      dir.Write("images/demo.hex", ":020000000CC032\r\n:02200000ABCD66\r\n:00000001FF\r\n");
  // A dialog that wanders into another folder, as the Windows one does.
  fileAnswer = [&](const FileDialogRequest&) {
    QDir::setCurrent(QString::fromStdString(other));
    return QString::fromStdString(hex);
  };
  Item("WczytajFLASH1")->trigger();
  EXPECT_EQ(QDir::currentPath().toStdString(), dir.Path());
  EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentIndex(), kFlashPage);
  EXPECT_EQ(Find<QGroupBox>("GroupBox1")->title().toStdString(), " FLASH : " + hex + " ");
  EXPECT_EQ(Find<ImageGrid>("flash")->model()->index(0, 1).data().toString(), "0CC0");
  EXPECT_EQ(Find<ImageGrid>("eeprom_int")->model()->index(0, 1).data().toString(), "AB");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].filters, QStringList({"HEX files (*.hex)", "All files (*)"}));
  EXPECT_EQ(requests[0].startFolder.toStdString(), dir.Path());

  // The next load starts in the folder of the last one; a save in the current directory.
  fileAnswer = {};
  Item("WczytajEEPROMint1")->trigger();
  EXPECT_EQ(requests[1].startFolder.toStdString(), other);
  EXPECT_EQ(requests[1].filters,
            QStringList({"HEX files (*.hex)", "BIN files (*.bin)", "All files (*)"}));
  Item("ZapiszFLASH1")->trigger();
  EXPECT_TRUE(requests[2].save);
  EXPECT_EQ(requests[2].startFolder.toStdString(), dir.Path());

  window->close();
  EXPECT_TRUE(std::filesystem::exists(dir.Path("config.cfg")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("images/config.cfg")));
}

TEST_F(Window, AFileThatDoesNotLoadIsShownAndChangesNoImage) {
  Start(TypConfig("fun"));
  window->Workspace().eepromInt.SetCell(0, 0x42);
  const std::string bad = dir.Write("bad.hex", ":10000000ZZ\r\n");
  fileAnswer = [&](const FileDialogRequest&) { return QString::fromStdString(bad); };
  Item("WczytajEEPROMint1")->trigger();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(window->Workspace().eepromInt.Cell(0), 0x42);
  EXPECT_EQ(Find<QGroupBox>("GroupBox2")->title(), " EEPROM int ");

  const std::string saved = dir.Path("out");
  fileAnswer = [&](const FileDialogRequest&) { return QString::fromStdString(saved); };
  Item("ZapiszEEPROMint1")->trigger();
  EXPECT_TRUE(std::filesystem::exists(saved + ".hex"));
  EXPECT_EQ(Find<QGroupBox>("GroupBox2")->title().toStdString(),
            " EEPROM int : " + saved + ".hex ");
}

TEST_F(Window, TheChosenFilterDecidesHowAnEepromFileIsRead) {
  Start(TypConfig("fun"));
  // Raw bytes in a file whose name says nothing: the BIN filter reads them as they are.
  const std::string raw = dir.Write("dump.dat", std::string("\x12\x34", 2));
  fileAnswer = [&](const FileDialogRequest& request) {
    EXPECT_EQ(request.filters.value(1), "BIN files (*.bin)");
    return FileDialogAnswer(QString::fromStdString(raw), 1);
  };
  Item("WczytajEEPROMint1")->trigger();
  EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
  EXPECT_EQ(window->Workspace().eepromInt.Cell(0), 0x12);
  EXPECT_EQ(window->Workspace().eepromInt.Cell(1), 0x34);

  // With the HEX filter the same file holds no record: refused, the image kept.
  fileAnswer = [&](const FileDialogRequest&) {
    return FileDialogAnswer(QString::fromStdString(raw), 0);
  };
  Item("WczytajEEPROMint1")->trigger();
  EXPECT_TRUE(messages.join("\n").contains("no data")) << messages.join("\n").toStdString();
  EXPECT_EQ(window->Workspace().eepromInt.Cell(0), 0x12);
}

// A pack whose every text names its pack and key ("Alpha 8"); `skip` is left out.
std::string Pack(const std::string& name, int skip = 0) {
  std::string text = "[LANG]\r\nNAME=" + name + "\r\n[TXT]\r\n";
  for (int key : app::kLanguageKeys) {
    if (key != skip) text += std::to_string(key) + "=" + name + " " + std::to_string(key) + "\r\n";
  }
  return text;
}

TEST_F(Window, ASettingTheControlCannotTakeIsLoggedAndTheDefaultKept) {
  Start(Config({"[Auto mode]", "mode=2", "[AVR Speed Clock]", "CLK=7"}));
  const std::vector<test::LogLine> log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(log.back().text.endsWith("config.cfg: [Auto mode] mode: '2' is not one of 0, 1"))
      << log.back().text.toStdString();
  EXPECT_EQ(log.back().colour, QColor(255, 0, 0));
  EXPECT_EQ(log.size(), 1u) << "the good value is taken without a word";
  EXPECT_FALSE(Find<QCheckBox>("auto_mode")->isChecked());
}

TEST_F(Window, ALanguagePackSetsEveryCaptionMessageAndDialogTitle) {
  dir.Write("lang/a.ini", Pack("Alpha"));
  dir.Write("lang/b.ini", Pack("Beta", 9));
  Start(Config({"[Language]", "lang=Alpha"}));
  EXPECT_EQ(window->LanguageDir().toStdString(), dir.Path("lang"));
  auto* lang = Find<QComboBox>("lang");
  ASSERT_EQ(lang->count(), 2);
  EXPECT_EQ(lang->currentText(), "Alpha");

  const char* buttons[] = {"ToolButton1", "ToolButton2", "ToolButton4", "ToolButton5",
                           "ToolButton6", "ToolButton7", "ToolButton10"};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(Find<QToolButton>(buttons[i])->text(), QStringLiteral("Alpha %1").arg(i + 1));
  }
  int key = 8;
  for (int m = 1; m <= 5; ++m) {
    auto* menu = Find<QMenu>(QStringLiteral("PopupMenu%1").arg(m).toUtf8().constData());
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions()) {
      if (action->isSeparator()) break;  // the recent files follow
      EXPECT_EQ(action->text(), QStringLiteral("Alpha %1").arg(key))
          << action->objectName().toStdString();
      ++key;
    }
  }
  EXPECT_EQ(key, 28);
  for (int k : {28, 29, 30, 31})
    EXPECT_EQ(window->Workspace().texts[k], "Alpha " + std::to_string(k));

  for (const char* item : {"WczytajFLASH1", "WczytajEEPROMint1", "WczytajEEPROMext1",
                           "ZapiszFLASH1", "ZapiszEEPROMint1", "ZapiszEEPROMext1"}) {
    Item(item)->trigger();
  }
  ASSERT_EQ(requests.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(requests[i].title, QStringLiteral("Alpha %1").arg(100 + i));

  // Another pack applies at once; its missing key 9 takes the text of key 8.
  lang->setCurrentIndex(1);
  emit lang->textActivated("Beta");
  EXPECT_EQ(Item("WczytajEEPROMint1")->text(), "Beta 8");
  Item("WczytajFLASH1")->trigger();
  EXPECT_EQ(requests.back().title, "Beta 100");
  window->close();
  EXPECT_NE(dir.Read("config.cfg").find("lang=Beta"), std::string::npos);
}

TEST_F(Window, WithoutALangFolderHereTheShippedPacksAreFound) {
  WindowOptions options;
  options.locale = "en_GB";
  // A saved name that no pack has counts as none saved: the desktop's language.
  Start(Config({"[Language]", "lang=lang"}), options);
  EXPECT_FALSE(window->LanguageDir().isEmpty());
  auto* lang = Find<QComboBox>("lang");
  EXPECT_EQ(lang->currentText(), "English");
  EXPECT_EQ(Find<QToolButton>("ToolButton1")->text(), "&Load File");
  EXPECT_EQ(Item("W1")->text(), "Verify &FLASH");
}

// The Alt keys of the buttons (`names`) or of the fixed items of a menu, in order.
QStringList AltKeys(const QList<QAction*>& actions) {
  QStringList keys;
  for (QAction* action : actions) {
    if (action->isSeparator()) break;
    keys << QKeySequence::mnemonic(action->text()).toString();
  }
  return keys;
}

bool Distinct(const QStringList& keys) {
  return !keys.contains(QString()) && QSet<QString>(keys.begin(), keys.end()).size() == keys.size();
}

TEST_F(Window, EveryShippedPackHasDistinctAltKeysAndAsksWhetherTheCardIsInTheReader) {
  Start();
  auto* lang = Find<QComboBox>("lang");
  ASSERT_GE(lang->count(), 2);
  for (int i = 0; i < lang->count(); ++i) {
    const QString pack = lang->itemText(i);
    SCOPED_TRACE(pack.toStdString());
    emit lang->textActivated(pack);
    QStringList buttons;
    for (const char* name : {"ToolButton1", "ToolButton2", "ToolButton4", "ToolButton5",
                             "ToolButton6", "ToolButton7", "ToolButton10", "ToolButtonStop"}) {
      buttons << QKeySequence::mnemonic(Find<QToolButton>(name)->text()).toString();
    }
    EXPECT_TRUE(Distinct(buttons)) << buttons.join(' ').toStdString();
    for (int m = 1; m <= 5; ++m) {
      const QStringList keys = AltKeys(
          Find<QMenu>(QStringLiteral("PopupMenu%1").arg(m).toUtf8().constData())->actions());
      EXPECT_TRUE(Distinct(keys)) << "menu " << m << ": " << keys.join(' ').toStdString();
    }
    // Text 28 comes before every external EEPROM read, verify and write: no loader is
    // installed by those, the question is about the card and the adapter.
    const QString question = QString::fromStdString(window->Workspace().texts[28]);
    EXPECT_FALSE(question.contains("loader", Qt::CaseInsensitive)) << question.toStdString();
    EXPECT_TRUE(question.contains(QRegularExpression("card|kart"))) << question.toStdString();
  }
}

TEST_F(Window, AFirstStartTakesTheDesktopsLanguageForThePackAndQtsOwnTexts) {
  struct Case {
    const char* locale;
    const char* pack;
    const char* load;
    const char* yes;
    const char* fastWrite;  // a Setup tab text
  };
  for (const Case& c : {Case{"pl_PL", "Polski", "&Wczytaj Plik", "&Tak", "Szybki zapis"},
                        Case{"de_DE.UTF-8", "English", "&Load File", "&Yes", "Fast write"}}) {
    SCOPED_TRACE(c.locale);
    WindowOptions options;
    options.locale = c.locale;
    Start({}, options);
    EXPECT_EQ(Find<QComboBox>("lang")->currentText(), c.pack);
    EXPECT_EQ(Find<QToolButton>("ToolButton1")->text(), c.load);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), c.yes);
    EXPECT_EQ(Find<QCheckBox>("fast_write")->text(), c.fastWrite);
    window->close();
    EXPECT_NE(dir.Read("config.cfg").find(std::string("lang=") + c.pack), std::string::npos);
    std::filesystem::remove(dir.Path("config.cfg"));
  }
}

// A file dropped on a grid loads as the load items load it; the load menu lists the files
// loaded last after its three items.
TEST_F(Window, DroppedFilesLoadIntoTheirGridAndJoinTheRecentFiles) {
  Start(TypConfig("fun"));
  const std::string hex = dir.Write("a.hex", ":02000000ABCD86\r\n:00000001FF\r\n");
  const std::string bin = dir.Write("b.bin", std::string("\x12\x34", 2));
  auto drop = [&](const char* grid, const std::string& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    // As a drag does it: the enter makes the grid the drop target.
    QWidget* target = Find<ImageGrid>(grid)->viewport();
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
  };
  struct Case {
    const char* card;  // null: the card as it is
    const char* grid;
    std::string file;
    const char* image;  // the image that changes, null: refused with a message
    uint32_t cell;
    uint16_t value;
  };
  const Case cases[] = {
      {nullptr, "flash", hex, "flash", 0, 0xCDAB},
      {nullptr, "eeprom_int", bin, "eeprom_int", 1, 0x34},
      {nullptr, "eeprom_ext", bin, "eeprom_ext", 0, 0x12},
      {"wafer", "eeprom_int", hex, nullptr, 0, 0},
      {"black", "eeprom_ext", bin, nullptr, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.card ? c.card : "fun") + " " + c.grid);
    if (c.card) ChooseCard(c.card);
    messages.clear();
    drop(c.grid, c.file);
    if (!c.image) {
      EXPECT_EQ(messages.size(), 1);
      continue;
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
    const app::Workspace& ws = window->Workspace();
    const image::MemoryImage& image = std::string(c.image) == "flash"        ? ws.flash
                                      : std::string(c.image) == "eeprom_int" ? ws.eepromInt
                                                                             : ws.eepromExt;
    EXPECT_EQ(image.Cell(c.cell), c.value);
  }
  EXPECT_TRUE(requests.empty()) << "no file dialog";

  // Three loads went well: the newest is first, after the three items and a separator.
  ChooseCard("fun");
  auto* menu = Find<QMenu>("PopupMenu1");
  QStringList names, texts;
  for (QAction* action : menu->actions()) {
    names << action->objectName();
    texts << action->text();
  }
  EXPECT_EQ(names.mid(0, 3),
            QStringList({"WczytajFLASH1", "WczytajEEPROMint1", "WczytajEEPROMext1"}));
  EXPECT_TRUE(menu->actions()[3]->isSeparator());
  EXPECT_EQ(texts.mid(4),
            QStringList({"&1 EEPROM ext: b.bin", "&2 EEPROM int: b.bin", "&3 FLASH: a.hex"}));
  // A recent file loads again; five at most, kept in config.cfg for the next start.
  Item("RecentFile3")->trigger();
  EXPECT_EQ(window->Workspace().flash.Cell(0), 0xCDAB);
  for (int i = 0; i < 4; ++i) {
    drop("eeprom_int", dir.Write("n" + std::to_string(i) + ".bin", "x"));
  }
  Start();
  texts.clear();
  for (QAction* action : Find<QMenu>("PopupMenu1")->actions()) texts << action->text();
  EXPECT_EQ(texts.mid(4),
            QStringList({"&1 EEPROM int: n3.bin", "&2 EEPROM int: n2.bin", "&3 EEPROM int: n1.bin",
                         "&4 EEPROM int: n0.bin", "&5 FLASH: a.hex"}));
}

}  // namespace
}  // namespace vexilo::gui
