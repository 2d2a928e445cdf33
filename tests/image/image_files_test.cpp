#include "image/image_files.h"

#include <gtest/gtest.h>

#include <vector>

#include "image/intel_hex.h"
#include "support/temp_dir.h"

namespace vexilo::image {
namespace {

constexpr ImageLayout kFun{ImageKind::AvrFlash, 4096, 512, true};
constexpr ImageLayout kBlack{ImageKind::AvrFlash, 65536, 4096, false};
constexpr ImageLayout kWafer{ImageKind::PicFlash, 1024, 64, false};
constexpr ImageLayout kPic2{ImageKind::PicFlash, 8192, 256, false};

std::string Record(uint16_t address, std::vector<uint8_t> data, uint8_t type = kHexData) {
  return MakeHexRecord(address, type, data) + "\r\n";
}

TEST(LoadFlashHex, AvrBytesAboveFlashGoToTheInternalEeprom) {
  test::TempDir dir;
  std::string path =
      dir.Write("f.hex", Record(0x0000, {0x0C, 0x94, 0x2A, 0x00}) + Record(0x2000, {0x11, 0x22}) +
                             Record(0x1FF8, std::vector<uint8_t>(16, 0xAB)) +
                             Record(0x2200, {0x99}) +  // past the 512 bytes
                             std::string(kHexEndRecord));
  FlashFile file = LoadFlashHex(path, kFun);
  EXPECT_EQ(file.flash.CellText(0), "0C94");
  EXPECT_EQ(file.flash.CellText(1), "2A00");
  // The record at 1FF8 is FLASH as a whole; its bytes past 1FFF are dropped, not EEPROM.
  EXPECT_EQ(file.flash.CellText(4095), "ABAB");
  EXPECT_EQ(file.eepromInt.Byte(0), 0x11);
  EXPECT_EQ(file.eepromInt.Byte(1), 0x22);
  EXPECT_EQ(file.eepromInt.Byte(2), 0xFF);
  EXPECT_EQ(file.eepromInt.Byte(8), 0xFF);
}

TEST(LoadFlashHex, BlackCardUpperHalfThroughExtendedAddressesAndNoEeprom) {
  test::TempDir dir;
  std::string path =
      dir.Write("b.hex", Record(0xFFFE, {0x01, 0x02}) + Record(0, {0, 1}, kHexExtendedLinear) +
                             Record(0xFFFE, {0x03, 0x04}) + Record(0, {0, 2}, kHexExtendedLinear) +
                             Record(0x0000, {0x55}) + std::string(kHexEndRecord));
  FlashFile file = LoadFlashHex(path, kBlack);
  EXPECT_EQ(file.flash.CellText(0x7FFF), "0102");
  EXPECT_EQ(file.flash.CellText(0xFFFF), "0304");
  EXPECT_EQ(file.eepromInt.Rows(), 256u);
  EXPECT_EQ(file.eepromInt.Byte(0), 0xFF);
}

TEST(LoadFlashHex, PicFileCarriesEepromAndConfiguration) {
  test::TempDir dir;
  std::string path =
      dir.Write("p.hex", Record(0x0000, {0x05, 0x28}) + Record(0x400E, {0x3F, 0x3F}) +
                             Record(0x4200, {0xAA, 0x00, 0xBB, 0x00}) + std::string(kHexEndRecord));
  FlashFile file = LoadFlashHex(path, kPic2);
  EXPECT_EQ(file.flash.CellText(0), "2805");
  EXPECT_EQ(file.flash.CellText(1), "3FFF");
  EXPECT_EQ(file.eepromInt.Byte(0), 0xAA);
  EXPECT_EQ(file.eepromInt.Byte(1), 0xBB);
  EXPECT_EQ(file.eepromInt.Byte(2), 0xFF);
  EXPECT_EQ(file.configLow, 0x3F);
  EXPECT_EQ(file.configHigh, 0x3F);
}

TEST(LoadFlashHex, PicConfigurationInsideAnIdLocationRecord) {
  // Toolchains write the ID locations and the configuration word as one record from 0x4000.
  test::TempDir dir;
  std::vector<uint8_t> ids(16, 0x00);
  ids[14] = 0xF1;
  ids[15] = 0x3F;
  FlashFile file = LoadFlashHex(dir.Write("p.hex", Record(0x4000, ids)), kWafer);
  EXPECT_EQ(file.configLow, 0xF1);
  EXPECT_EQ(file.configHigh, 0x3F);
  FlashFile none = LoadFlashHex(dir.Write("q.hex", Record(0, {0x05, 0x28})), kWafer);
  EXPECT_EQ(none.configLow, 0xFF);
  EXPECT_EQ(none.configHigh, 0xFF);
}

TEST(LoadEepromIntHex, StopsAtTheFirstRecordPastTheImage) {
  test::TempDir dir;
  std::string path = dir.Write("e.hex", Record(0x01F8, std::vector<uint8_t>(16, 0x12)) +
                                            Record(0x0200, {0x34}) + Record(0x0000, {0x56}));
  MemoryImage image = LoadEepromIntHex(path, 512);
  EXPECT_EQ(image.Byte(0x1FF), 0x12);
  EXPECT_EQ(image.Byte(0), 0xFF);  // the low record after the stop is not read
}

TEST(LoadEepromExtHex, ReadsEveryLineAndDropsBytesPastTheSize) {
  test::TempDir dir;
  std::string path = dir.Write("x.hex", Record(0x1FFF, {0x01, 0x02}) + Record(0x0000, {0x03}));
  MemoryImage image = LoadEepromExtHex(path, 8192);
  EXPECT_EQ(image.Byte(0x1FFF), 0x01);
  EXPECT_EQ(image.Byte(0), 0x03);
}

TEST(LoadEepromBin, ShortFileLeavesTheRestBlankLongFileIsCut) {
  test::TempDir dir;
  MemoryImage shortImage = LoadEepromBin(dir.Write("s.bin", "AB"), 512);
  EXPECT_EQ(shortImage.Byte(1), 'B');
  EXPECT_EQ(shortImage.Byte(2), 0xFF);
  MemoryImage longImage = LoadEepromBin(dir.Write("l.bin", std::string(600, 'x')), 512);
  EXPECT_EQ(longImage.SizeBytes(), 512u);
}

TEST(SaveFlashHex, BlankWaferImageHasConfigurationAndEepromRecords) {
  FlashFile file{MemoryImage(ImageKind::PicFlash, 1024), MemoryImage(ImageKind::Eeprom, 64), 0x15,
                 0x3F};
  std::string text = FlashHexText(file);
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find("\r\n", pos);
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  ASSERT_EQ(lines.size(), 128u + 1 + 8 + 1);
  std::vector<uint8_t> blankWords;
  for (int i = 0; i < 8; ++i) blankWords.insert(blankWords.end(), {0xFF, 0x3F});
  EXPECT_EQ(lines[0], MakeHexRecord(0, kHexData, blankWords));
  EXPECT_EQ(lines[127].substr(0, 9), ":1007F000");
  EXPECT_EQ(lines[128], ":02400E00153F5C");
  EXPECT_EQ(lines[129].substr(0, 41), ":10420000FF00FF00FF00FF00FF00FF00FF00FF00");
  EXPECT_EQ(lines[136].substr(0, 9), ":10427000");
  EXPECT_EQ(lines[137], ":00000001FF");
}

TEST(ImageFiles, EveryLayoutRoundTrips) {
  test::TempDir dir;
  for (const ImageLayout& layout : {kFun, kBlack, kWafer, kPic2}) {
    FlashFile file{MemoryImage(layout.flashKind, layout.flashWords),
                   MemoryImage(ImageKind::Eeprom, layout.eepromIntBytes), 0x7A, 0x3F};
    for (uint32_t w = 0; w < layout.flashWords; w += 7) {
      file.flash.SetCell(
          w, static_cast<uint16_t>((w * 2654435761u) &
                                   (layout.flashKind == ImageKind::PicFlash ? 0x3FFF : 0xFFFF)));
    }
    for (uint32_t a = 0; a < layout.eepromIntBytes; a += 3)
      file.eepromInt.SetByte(a, static_cast<uint8_t>(a));
    SaveFlashHex(dir.Path("f.hex"), file);
    FlashFile back = LoadFlashHex(dir.Path("f.hex"), layout);
    EXPECT_EQ(back.flash, file.flash);
    if (layout.flashKind == ImageKind::PicFlash) {
      EXPECT_EQ(back.eepromInt, file.eepromInt);
      EXPECT_EQ(back.configLow, 0x7A);
    }
  }
  MemoryImage ext(ImageKind::Eeprom, 64 * 1024);
  for (uint32_t a = 0; a < ext.SizeBytes(); a += 5) ext.SetByte(a, static_cast<uint8_t>(a >> 3));
  SaveEepromHex(dir.Path("x.hex"), ext);
  EXPECT_EQ(LoadEepromExtHex(dir.Path("x.hex"), ext.SizeBytes()), ext);
  std::string text = dir.Read("x.hex");
  // 64 KB fits the 16-bit record addresses: the last record is at FFF0, with no upper address.
  EXPECT_NE(text.find("\r\n:10FFF000"), std::string::npos);
  EXPECT_EQ(text.find(":02000004"), std::string::npos);
}

TEST(ImageFiles, BlackCardFlashWritesAnUpperAddressBeforeRow4097) {
  FlashFile file{MemoryImage(ImageKind::AvrFlash, 65536), MemoryImage(ImageKind::Eeprom, 4096)};
  std::string text = FlashHexText(file);
  size_t upper = text.find(":020000040001F9\r\n");
  ASSERT_NE(upper, std::string::npos);
  EXPECT_EQ(upper, 4096u * 45);  // after 4096 data records of 43 characters and CR LF
  EXPECT_EQ(text.substr(upper + 17, 9), ":10000000");
}

TEST(HexFileName, AddsHexUnlessThereIsAThreeLetterExtension) {
  EXPECT_EQ(HexFileName("image"), "image.hex");
  EXPECT_EQ(HexFileName("image.bin"), "image.bin");
  EXPECT_EQ(HexFileName("image.he"), "image.he.hex");
  EXPECT_EQ(HexFileName("a"), "a.hex");
  EXPECT_TRUE(IsBinFileName("dump.BIN"));
  EXPECT_FALSE(IsBinFileName("dump.hex"));
}

}  // namespace
}  // namespace vexilo::image
