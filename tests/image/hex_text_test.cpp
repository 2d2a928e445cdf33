#include <gtest/gtest.h>

#include "image/hex_to_int.h"
#include "image/memory_image.h"

namespace vexilo::image {
namespace {

TEST(HexToInt, ReadsHexadecimalOfAnyCase) {
  EXPECT_EQ(HexToInt("0C"), 0x0C);
  EXPECT_EQ(HexToInt("ff"), 0xFF);
  EXPECT_EQ(HexToInt("3FFF"), 0x3FFF);
  EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
}

TEST(HexToInt, RejectsWhatIsNotHexWithTheConversionMessage) {
  for (const char* bad : {"", "G0", " 1", "0x1", "123456789"}) {
    try {
      HexToInt(bad);
      ADD_FAILURE() << "accepted \"" << bad << "\"";
    } catch (const ConversionError& e) {
      EXPECT_EQ(e.what(), "'$" + std::string(bad) + "' is not a valid integer value");
    }
  }
}

TEST(DecimalToInt, AcceptsSignedDecimalOnly) {
  EXPECT_EQ(DecimalToInt("150"), 150);
  EXPECT_EQ(DecimalToInt("-3"), -3);
  EXPECT_THROW(DecimalToInt(""), ConversionError);
  EXPECT_THROW(DecimalToInt("12a"), ConversionError);
  EXPECT_THROW(DecimalToInt("99999999999"), ConversionError);
}

TEST(MemoryImage, AvrFlashCellsAreLowByteThenHighByte) {
  MemoryImage flash(ImageKind::AvrFlash, 4096);
  EXPECT_EQ(flash.Rows(), 512u);
  EXPECT_EQ(flash.CellText(0), "FFFF");
  flash.SetByte(0, 0x0C);
  flash.SetByte(1, 0x94);
  EXPECT_EQ(flash.CellText(0), "0C94");
  EXPECT_EQ(flash.Cell(0), 0x940C);
  // 0C and 94 are both outside 0x21 .. 0x7E.
  EXPECT_EQ(flash.AsciiText(1), "................");
  flash.SetCell(1, 0x4241);  // bytes 41 'A', 42 'B'
  EXPECT_EQ(flash.CellText(1), "4142");
  EXPECT_EQ(flash.AsciiText(1), "..AB............");
}

TEST(MemoryImage, PicFlashCellsAreTheWordValue) {
  MemoryImage flash(ImageKind::PicFlash, 1024);
  EXPECT_EQ(flash.Rows(), 128u);
  EXPECT_EQ(flash.CellText(1023), "3FFF");
  EXPECT_EQ(flash.Byte(0), 0xFF);
  EXPECT_EQ(flash.Byte(1), 0x3F);
  flash.SetCell(0, 0x2805);
  EXPECT_EQ(flash.CellText(0), "2805");
  EXPECT_EQ(flash.Byte(0), 0x05);
  // The ASCII pairs come in the order of the cell text: 28 '(' then 05.
  EXPECT_EQ(flash.AsciiText(1).substr(0, 4), "(.?.");
}

TEST(MemoryImage, EepromRowShowsPrintableBytesOnly) {
  MemoryImage eeprom(ImageKind::Eeprom, 512);
  const std::string hello = "Hello world!";
  for (size_t i = 0; i < hello.size(); ++i) eeprom.SetByte(static_cast<uint32_t>(i), hello[i]);
  EXPECT_EQ(eeprom.AsciiText(1), "Hello.world!....");
  eeprom.SetByte(16, 0x7F);
  eeprom.SetByte(17, 0x80);
  eeprom.SetByte(18, 0x21);
  eeprom.SetByte(19, 0x20);
  // DEL (7F) is a control character: no glyph to show.
  EXPECT_EQ(eeprom.AsciiText(2), "..!.............");
  EXPECT_EQ(eeprom.CellText(16), "7F");
}

TEST(MemoryImage, GridTextsOfHeaderAddressAndLastRows) {
  MemoryImage flash(ImageKind::AvrFlash, 65536);
  EXPECT_EQ(RowLine(flash, 0), "Adres\t+0\t+1\t+2\t+3\t+4\t+5\t+6\t+7\tASCII");
  EXPECT_EQ(flash.Text(flash.Rows(), 0), "FFF8");
  MemoryImage eeprom(ImageKind::Eeprom, 4096);
  EXPECT_EQ(eeprom.HeaderText(16), "+F");
  EXPECT_EQ(eeprom.Text(256, 0), "0FF0");
  EXPECT_EQ(RowLine(eeprom, 1, ' '),
            "0000 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF ................");
  MemoryImage ext(ImageKind::Eeprom, 64 * 1024);
  EXPECT_EQ(ext.Rows(), 4096u);
  EXPECT_EQ(ext.AddressText(4096), "FFF0");
}

}  // namespace
}  // namespace vexilo::image
