#include "app/settings.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace vexilo::app {
namespace {

// A settings file as the Windows program leaves it: DOS line ends, no spaces, its own sections.
constexpr char kWindowsFile[] =
    "[port phoenix]\r\nCOM=2\r\n[port avr/pic]\r\nCOM=3\r\n[PHOENIX]\r\nTXDelay=80\r\n"
    "ATRDelay=120\r\n[PIC]\r\nDelay=9\r\n[AVR]\r\nDelay=7\r\n[PIC Speed Clock]\r\nCLK=15\r\n"
    "[AVR Speed Clock]\r\nCLK=5\r\n[Auto mode]\r\nmode=1\r\n[Veryfi]\r\neeprom=0\r\n"
    "[Language]\r\nlang=English\r\n[TYP]\r\nKARTA=Black Card - ATMega128\r\n"
    "[Someone else]\r\nkey=kept\r\n";

TEST(Settings, ReadsAFileTheWindowsProgramWrote) {
  test::TempDir dir;
  Settings s = LoadSettings(dir.Write("config.cfg", kWindowsFile));
  // [port phoenix] holds the " Port Avr/Pic " group, [port avr/pic] the " Port Phoenix " one.
  EXPECT_EQ(s.avrPicCom, 1);
  EXPECT_EQ(s.phoenixCom, 2);
  EXPECT_EQ(s.txDelay, "80");
  EXPECT_EQ(s.atrDelay, "120");
  EXPECT_EQ(s.picDelay, "9");
  EXPECT_EQ(s.avrDelay, "7");
  EXPECT_EQ(s.picClk, 15);
  EXPECT_EQ(s.avrClk, 5);
  EXPECT_TRUE(s.autoMode);
  EXPECT_FALSE(s.verifyEeprom);
  EXPECT_EQ(s.language, "English");
  EXPECT_EQ(s.cardType, "Black Card - ATMega128");
}

TEST(Settings, SaveWritesTheWindowsLayoutAndKeepsOtherKeys) {
  test::TempDir dir;
  std::string path = dir.Write("config.cfg", kWindowsFile);
  Settings s = LoadSettings(path);
  s.avrPicCom = 1;   // COM2 in " Port Avr/Pic "
  s.phoenixCom = 2;  // COM3 in " Port Phoenix "
  ApplyPreset(s, TimingPreset::WinNT);
  s.fastWrite = true;
  s.simCard = "isa";
  s.cardType = "not written by save";
  SaveSettings(path, s);
  std::string text = dir.Read("config.cfg");
  for (const char* line :
       {"[port phoenix]\r\nCOM=2\r\n", "[port avr/pic]\r\nCOM=3\r\n", "TXDelay=150\r\n",
        "ATRDelay=150\r\n", "[AVR]\r\nDelay=10\r\n", "[PIC]\r\nDelay=15\r\n",
        "[PIC Speed Clock]\r\nCLK=25\r\n", "[AVR Speed Clock]\r\nCLK=15\r\n",
        "[Someone else]\r\nkey=kept\r\n", "KARTA=Black Card - ATMega128\r\n",
        "[Fast write]\r\nenabled=1\r\n", "sim card=isa\r\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " missing from\n" << text;
  }
  Settings back = LoadSettings(path);
  EXPECT_EQ(back.avrPicCom, 1);
  EXPECT_EQ(back.phoenixCom, 2);
  EXPECT_EQ(back.cardType, "Black Card - ATMega128");
  s.cardType = back.cardType;
  EXPECT_EQ(back, s);

  SaveCardType(path, "Wafer Card - 16F84 + 24C16");
  EXPECT_EQ(LoadSettings(path).cardType, "Wafer Card - 16F84 + 24C16");
  EXPECT_EQ(LoadSettings(path).avrDelay, "10");
}

TEST(Settings, MissingFileOrKeysGiveTheControlDefaults) {
  test::TempDir dir;
  EXPECT_EQ(LoadSettings(dir.Path("none.cfg")), Settings{});
  // Only a language: every other key takes its own default, not the value read before it.
  Settings s = LoadSettings(dir.Write("c.cfg",
                                      "[Language]\nlang=Polski\n[AVR Speed Clock]\nCLK=x\n"
                                      "[PIC Speed Clock]\nCLK=999\n[port phoenix]\nCOM=7\n"));
  EXPECT_EQ(s.language, "Polski");
  EXPECT_EQ(s.cardType, "Fun Card - 90S8515 + 24Cxx");
  EXPECT_EQ(s.avrClk, 0);
  EXPECT_EQ(s.picClk, 0) << "out of range: the default, and reported";
  EXPECT_EQ(s.avrPicCom, 0);
  EXPECT_EQ(s.atrDelay, "100");
}

TEST(Settings, SavedCardTextThatMatchesNothingStays) {
  test::TempDir dir;
  Settings s = LoadSettings(dir.Write("c.cfg", "[TYP]\nKARTA=Fun Card - 90S8515 + 24C64\n"));
  EXPECT_EQ(s.cardType, "Fun Card - 90S8515 + 24C64");
}

TEST(Settings, PresetsFillTheTimingControls) {
  Settings s;
  ApplyPreset(s, TimingPreset::Win9x);
  EXPECT_EQ(std::tie(s.picDelay, s.avrDelay, s.txDelay, s.atrDelay),
            std::make_tuple("8", "6", "80", "100"));
  EXPECT_EQ(std::make_pair(s.picClk, s.avrClk), std::make_pair(15, 5));
}

TEST(Settings, DefaultPathFollowsTheCurrentDirectory) {
  test::TempDir dir;
  test::ScopedCurrentDir inside(dir.Path());
  EXPECT_EQ(DefaultSettingsPath(), std::filesystem::current_path().string() + "/config.cfg");
  SaveCardType(DefaultSettingsPath(), "Pic Card 2 - 16F876 + 24Cxx");
  EXPECT_NE(dir.Read("config.cfg").find("KARTA=Pic Card 2"), std::string::npos);
}

}  // namespace
}  // namespace vexilo::app
