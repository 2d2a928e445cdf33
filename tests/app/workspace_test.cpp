#include "app/workspace.h"

#include <gtest/gtest.h>

#include "image/intel_hex.h"
#include "support/temp_dir.h"

namespace vexilo::app {
namespace {

TEST(Workspace, CardTypeSwitchSizesAndBlanksTheImages) {
  Workspace ws;
  ws.SetCardTypeText("Wafer Card - 16F84 + 24C16");
  EXPECT_EQ(ws.flash.Rows(), 128u);
  EXPECT_EQ(ws.flash.Text(128, 0), "03F8");
  EXPECT_EQ(ws.flash.CellText(5), "3FFF");
  EXPECT_EQ(ws.eepromInt.Rows(), 4u);
  EXPECT_EQ(ws.eepromInt.Text(4, 0), "0030");
  EXPECT_EQ(ws.eepromExt.Rows(), 128u);
  EXPECT_EQ(ws.eepromExt.Text(128, 0), "07F0");

  ws.SetCardTypeText("Fun Card - 90S8515 + 24Cxx");
  EXPECT_EQ(ws.flash.CellText(5), "FFFF");
  EXPECT_EQ(ws.eepromExt.Rows(), 512u);
  ws.SelectExtSize(3);
  EXPECT_EQ(ws.eepromExt.Rows(), 4096u);
  EXPECT_EQ(ws.eepromExt.Text(4096, 0), "FFF0");
}

TEST(Workspace, TextNamingNoCardTypeKeepsEverything) {
  Workspace ws;
  ws.SetCardTypeText("Fun Card - 90S8515 + 24Cxx");
  ws.flash.SetCell(0, 0x1234);
  ws.SetCardTypeText("Fun Card - 90S8515 + 24C64");
  EXPECT_EQ(ws.Card(), nullptr);
  EXPECT_EQ(ws.flash.Rows(), 512u);
  EXPECT_EQ(ws.flash.Cell(0), 0x1234);
  EXPECT_THROW(LoadImageFile(ws, ImageId::Flash, "x.hex"), std::invalid_argument);
}

class WorkspaceFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ws.SetCardTypeText("Fun Card - 90S8515 + 24Cxx");
    ws.flash.SetCell(3, 0xBEEF);
    ws.eepromInt.SetByte(7, 0x42);
    ws.eepromExt.SetByte(9, 0x99);
  }
  void ExpectUnchanged() {
    EXPECT_EQ(ws.flash.Cell(3), 0xBEEF);
    EXPECT_EQ(ws.eepromInt.Byte(7), 0x42);
    EXPECT_EQ(ws.eepromExt.Byte(9), 0x99);
  }
  test::TempDir dir;
  Workspace ws;
};

TEST_F(WorkspaceFiles, FailedLoadsLeaveAllThreeImages) {
  const std::string good = ":0400000012345678E8\r\n";
  for (const std::string& bad : {good + ":04001000123456\r\n",         // short line
                                 good + ":0400100012345678D9\r\n",     // wrong checksum
                                 good + ":04001000123G5678D8\r\n"}) {  // not hex
    std::string path = dir.Write("bad.hex", bad);
    for (ImageId id : {ImageId::Flash, ImageId::EepromInt, ImageId::EepromExt}) {
      try {
        LoadImageFile(ws, id, path);
        ADD_FAILURE() << "loaded " << bad;
      } catch (const image::FileError& e) {
        EXPECT_NE(std::string(e.what()).find("bad.hex:2:"), std::string::npos) << e.what();
      }
      ExpectUnchanged();
    }
  }
  EXPECT_THROW(LoadImageFile(ws, ImageId::Flash, dir.Path("none.hex")), image::FileError);
  ExpectUnchanged();
}

TEST_F(WorkspaceFiles, ImagesTheCardDoesNotHaveAreRefused) {
  ws.SetCardTypeText("Black Card - ATMega128");
  EXPECT_THROW(SaveImageFile(ws, ImageId::EepromExt, dir.Path("x")), std::invalid_argument);
  ws.SetCardTypeText("Pic Card 2 - 16F876 + 24Cxx");
  EXPECT_THROW(LoadImageFile(ws, ImageId::EepromInt, dir.Path("x.hex")), std::invalid_argument);
}

TEST_F(WorkspaceFiles, EveryImageOfEveryCardRoundTrips) {
  for (const CardType& card : CardTypes()) {
    SCOPED_TRACE(std::string(card.text));
    ws.SetCardTypeText(std::string(card.text));
    for (uint32_t i = 0; i < ws.flash.Cells(); i += 5)
      ws.flash.SetCell(i, static_cast<uint16_t>(i * 7 & 0x3FFF));
    for (uint32_t a = 0; a < ws.eepromInt.SizeBytes(); a += 3)
      ws.eepromInt.SetByte(a, static_cast<uint8_t>(a));
    for (uint32_t a = 0; a < ws.eepromExt.SizeBytes(); a += 11)
      ws.eepromExt.SetByte(a, static_cast<uint8_t>(a ^ 0x5A));
    if (card.family == Family::Pic)
      SetOptionValue(card, ws.options, card.panel == OptionPanel::Pic ? "ComboBox1" : "ComboBox2",
                     "XT");
    Workspace saved = {};
    saved.SetCardTypeText(std::string(card.text));
    saved.flash = ws.flash;
    saved.eepromInt = ws.eepromInt;
    saved.eepromExt = ws.eepromExt;
    auto options = OptionValues(card, ws.options);

    std::string flashName = SaveImageFile(ws, ImageId::Flash, dir.Path("flash"));
    EXPECT_EQ(flashName, dir.Path("flash.hex"));
    bool separateEeprom = card.family == Family::Avr;
    if (separateEeprom) SaveImageFile(ws, ImageId::EepromInt, dir.Path("int.hex"));
    if (card.HasExternalEeprom()) SaveImageFile(ws, ImageId::EepromExt, dir.Path("ext.hex"));

    ws.SetCardTypeText(std::string(card.text));  // blanks everything
    ws.options = {};
    LoadImageFile(ws, ImageId::Flash, flashName);
    if (separateEeprom) LoadImageFile(ws, ImageId::EepromInt, dir.Path("int.hex"));
    if (card.HasExternalEeprom()) LoadImageFile(ws, ImageId::EepromExt, dir.Path("ext.hex"));
    EXPECT_EQ(ws.flash, saved.flash);
    EXPECT_EQ(ws.eepromInt, saved.eepromInt);
    if (card.HasExternalEeprom()) {
      EXPECT_EQ(ws.eepromExt, saved.eepromExt);
    }
    if (card.family == Family::Pic) {
      EXPECT_EQ(OptionValues(card, ws.options), options);
    }
  }
}

TEST_F(WorkspaceFiles, BinFilesForTheEepromImages) {
  std::string path = dir.Write("dump.bin", std::string("\x01\x02\x03", 3));
  LoadImageFile(ws, ImageId::EepromExt, path);
  EXPECT_EQ(ws.eepromExt.Byte(2), 0x03);
  EXPECT_EQ(ws.eepromExt.Byte(3), 0xFF);
  EXPECT_EQ(ws.eepromExtFile, path);
}

}  // namespace
}  // namespace vexilo::app
