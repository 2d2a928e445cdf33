#include <gtest/gtest.h>

#include "avr/avr_operations.h"
#include "avr/chip_table.h"
#include "avr_test_support.h"
#include "image/hex_to_int.h"

namespace vexilo::avr::testing {
namespace {

using Line = RecordingOperator::Line;
using Texts = std::vector<std::string>;

// The ATmega163 programs a FLASH page in up to 15 ms.
std::string FlashDelayFor(AvrChip chip) { return chip == AvrChip::ATmega163 ? "16" : "5"; }

// Words near both ends of the memory, blank words between them.
image::MemoryImage SampleFlash(AvrChip chip) {
  image::MemoryImage flash = BlankFlash(chip);
  for (uint32_t w = 0; w < 40; ++w) flash.SetCell(w, static_cast<uint16_t>(0x1234 + w * 0x0101));
  flash.SetCell(45, 0xFFFF);
  flash.SetCell(flash.Cells() - 1, 0x0C94);
  return flash;
}

image::MemoryImage SampleEeprom(AvrChip chip) {
  image::MemoryImage eeprom = BlankEeprom(chip);
  for (uint32_t a = 0; a < 24; ++a) eeprom.SetCell(a, static_cast<uint16_t>(a * 7));
  eeprom.SetCell(eeprom.Cells() - 1, 0x5A);
  return eeprom;
}

TEST(AvrMemory, EveryChipWritesVerifiesAndReadsBackItsImages) {
  for (AvrChip chip : kChips) {
    SCOPED_TRACE(ChipRow(chip).name);
    SimRig rig(chip);
    ASSERT_TRUE(rig.SpiOn());
    AvrContext ctx = rig.Context();
    const image::MemoryImage flash = SampleFlash(chip);
    const image::MemoryImage eeprom = SampleEeprom(chip);

    EXPECT_EQ(WriteEepromInt(ctx, chip, eeprom, "5"), eeprom.Cells());
    EXPECT_EQ(WriteFlash(ctx, chip, flash, FlashDelayFor(chip)), flash.Cells());
    EXPECT_EQ(rig.bench.errorFlag, 0);
    VerifyEepromInt(ctx, chip, eeprom);
    VerifyFlash(ctx, chip, flash);
    EXPECT_EQ(rig.bench.errorFlag, 0);
    EXPECT_TRUE(rig.bench.op.Errors().empty()) << rig.bench.op.Errors().front();

    image::MemoryImage readFlash(image::ImageKind::AvrFlash, 8);
    image::MemoryImage readEeprom(image::ImageKind::Eeprom, 16);
    ReadFlash(ctx, chip, readFlash);
    ReadEepromInt(ctx, chip, readEeprom);
    EXPECT_EQ(readFlash, flash);
    EXPECT_EQ(readEeprom, eeprom);
    const auto chipFlash = rig.Region("flash");
    EXPECT_EQ(chipFlash[0], 0x34);
    EXPECT_EQ(chipFlash[1], 0x12);
  }
}

TEST(AvrMemory, OperationsLogTheirLinesAndShowProgress) {
  SimRig rig(AvrChip::AT90S8515);
  ASSERT_TRUE(rig.SpiOn());
  AvrContext ctx = rig.Context();
  RecordingOperator& op = rig.bench.op;
  image::MemoryImage flash = BlankFlash(AvrChip::AT90S8515);
  flash.SetCell(0x11, 0xABCD);

  op.Clear();
  EXPECT_EQ(WriteFlash(ctx, AvrChip::AT90S8515, flash, "5"), 0x12u);
  EXPECT_EQ(op.Texts(), (Texts{"ATMEL WRITE FLASH : START", "ATMEL WRITE FLASH : LEN[0011]",
                               "ATMEL WRITE FLASH : OK", "ATMEL WRITE FLASH : STOP"}));
  EXPECT_EQ(op.address, ":0011");
  EXPECT_EQ(op.progress, 0x12u);
  EXPECT_EQ(op.progressMax, 0x12u);

  op.Clear();
  VerifyFlash(ctx, AvrChip::AT90S8515, flash);
  EXPECT_EQ(op.Texts(), (Texts{"ATMEL VERYFI FLASH : START", "ATMEL VERYFI FLASH : OK",
                               "ATMEL VERYFI FLASH : STOP"}));
  EXPECT_EQ(op.address, ":0FFF");
  EXPECT_EQ(op.progress, 4096u);

  op.Clear();
  ReadEepromInt(ctx, AvrChip::AT90S8515, flash);
  EXPECT_EQ(op.Texts(), (Texts{"ATMEL READ EEPROM INT : START", "ATMEL READ EEPROM INT : STOP"}));
  EXPECT_EQ(op.address, ":01FF");
  EXPECT_EQ(op.progressMax, 512u);
  EXPECT_EQ(flash.Kind(), image::ImageKind::Eeprom) << "a read replaces the whole image";
}

TEST(AvrMemory, BlankImagesWriteNothing) {
  SimRig rig(AvrChip::ATmega8515);
  ASSERT_TRUE(rig.SpiOn());
  AvrContext ctx = rig.Context();
  RecordingOperator& op = rig.bench.op;
  const uint64_t accesses = rig.backend->PortAccesses();
  rig.bench.errorFlag = 1;

  op.Clear();
  EXPECT_EQ(WriteFlash(ctx, AvrChip::ATmega8515, BlankFlash(AvrChip::ATmega8515), "5"), 0u);
  EXPECT_EQ(op.Texts(), (Texts{"ATMEL WRITE FLASH : START"}));
  EXPECT_EQ(rig.bench.errorFlag, 0);

  op.Clear();
  EXPECT_EQ(WriteEepromInt(ctx, AvrChip::ATmega8515, BlankEeprom(AvrChip::ATmega8515), "5"), 0u);
  EXPECT_EQ(op.Texts(), (Texts{"ATMEL WRITE EEPROM INT : START", "ATMEL WRITE EEPROM INT : STOP"}));
  EXPECT_EQ(rig.backend->PortAccesses(), accesses) << "nothing sent";
}

TEST(AvrMemory, LengthRunsToTheLastProgrammedWord) {
  SimRig rig(AvrChip::AT90S8515);
  ASSERT_TRUE(rig.SpiOn());
  AvrContext ctx = rig.Context();
  image::MemoryImage flash = BlankFlash(AvrChip::AT90S8515);
  flash.SetCell(0, 0x00FF);
  rig.bench.op.Clear();
  EXPECT_EQ(WriteFlash(ctx, AvrChip::AT90S8515, flash, "5"), 1u);
  EXPECT_EQ(rig.bench.op.Texts()[1], "ATMEL WRITE FLASH : LEN[0000]");

  // Blank words inside the length are written too: an FFFF over a programmed word fails.
  rig.bench.op.Clear();
  flash.SetCell(4095, 0x1111);
  EXPECT_EQ(WriteFlash(ctx, AvrChip::AT90S8515, flash, "5"), 4096u);
  EXPECT_EQ(rig.bench.op.Texts()[1], "ATMEL WRITE FLASH : LEN[0FFF]");
  EXPECT_EQ(rig.bench.op.Texts()[2], "ATMEL WRITE FLASH : OK");
  EXPECT_EQ(rig.Region("flash")[2 * 4095], 0x11);
}

TEST(AvrMemory, VerifyStopsAtTheFirstDifference) {
  SimRig rig(AvrChip::ATmega163);
  ASSERT_TRUE(rig.SpiOn());
  rig.bench.op.Clear();
  AvrContext ctx = rig.Context();
  image::MemoryImage flash = BlankFlash(AvrChip::ATmega163);
  flash.SetCell(0x0123, 0x7FFF);  // the high byte differs from the blank chip
  flash.SetCell(0x0200, 0x0000);
  VerifyFlash(ctx, AvrChip::ATmega163, flash);
  EXPECT_EQ(rig.bench.op.lines, (std::vector<Line>{{"ATMEL VERYFI FLASH : START", false},
                                                   {"ATMEL VERYFI FLASH : ERROR ADR[0123]", true},
                                                   {"ATMEL VERYFI FLASH : STOP", false}}));
  EXPECT_EQ(rig.bench.errorFlag, 1);

  // The EEPROM verify reports by its red line alone.
  rig.bench.op.Clear();
  rig.bench.errorFlag = 0;
  image::MemoryImage eeprom = BlankEeprom(AvrChip::ATmega163);
  eeprom.SetCell(0x1FF, 0x00);
  VerifyEepromInt(ctx, AvrChip::ATmega163, eeprom);
  EXPECT_EQ(rig.bench.op.Errors(), (Texts{"ATMEL VERYFI EEPROM INT : ERROR ADR[01FF]"}));
  EXPECT_EQ(rig.bench.errorFlag, 0);
}

TEST(AvrMemory, VerifyCoversTheChipsWholeMemory) {
  SimRig rig(AvrChip::ATmega163);
  ASSERT_TRUE(rig.SpiOn());
  AvrContext ctx = rig.Context();
  rig.Region("flash")[2 * 8191 + 1] = 0x00;                      // the chip's last word
  image::MemoryImage shortImage(image::ImageKind::AvrFlash, 8);  // the rest counts as blank
  VerifyFlash(ctx, AvrChip::ATmega163, shortImage);
  EXPECT_EQ(rig.bench.op.Errors(), (Texts{"ATMEL VERYFI FLASH : ERROR ADR[1FFF]"}));
}

TEST(AvrMemory, SlowChipNeedsALongerWriteDelay) {
  sim::SimFaults faults;
  faults.chip.writeTimeFactor = 3.0;
  for (AvrChip chip : {AvrChip::AT90S8515, AvrChip::ATmega128}) {
    SCOPED_TRACE(ChipRow(chip).name);
    SimRig rig(chip, faults);
    ASSERT_TRUE(rig.SpiOn());
    AvrContext ctx = rig.Context();
    image::MemoryImage flash = BlankFlash(chip);
    for (uint32_t w = 0; w < 4; ++w) flash.SetCell(w, 0x1100 + w);
    WriteFlash(ctx, chip, flash, "5");
    EXPECT_EQ(rig.bench.op.Errors(), (Texts{"ATMEL WRITE FLASH : ERROR ADR[0000]"}));
    EXPECT_EQ(rig.bench.errorFlag, 1);

    image::MemoryImage eeprom = BlankEeprom(chip);
    eeprom.SetCell(0, 0x42);
    ChipErase(ctx, ChipRow(chip).erase);
    ASSERT_TRUE(rig.SpiOn());
    rig.bench.op.Clear();
    WriteFlash(ctx, chip, flash, "15");
    EXPECT_EQ(WriteEepromInt(ctx, chip, eeprom, "30"), 1u);
    EXPECT_TRUE(rig.bench.op.Errors().empty());
    EXPECT_EQ(rig.bench.errorFlag, 0);
  }
}

TEST(AvrMemory, StuckBitIsFoundByVerifyAndWrite) {
  sim::SimFaults faults;
  faults.chip.stuck = sim::ChipFaults::StuckBit{2 * 0x10 + 1, 3, false};  // word 0x10 high bit 3
  SimRig rig(AvrChip::ATmega8515, faults);
  ASSERT_TRUE(rig.SpiOn());
  AvrContext ctx = rig.Context();
  image::MemoryImage flash = BlankFlash(AvrChip::ATmega8515);
  VerifyFlash(ctx, AvrChip::ATmega8515, flash);
  EXPECT_EQ(rig.bench.op.Errors(), (Texts{"ATMEL VERYFI FLASH : ERROR ADR[0010]"}));

  flash.SetCell(0x0F, 0x1234);
  flash.SetCell(0x10, 0xFF00);
  rig.bench.op.Clear();
  WriteFlash(ctx, AvrChip::ATmega8515, flash, "5");
  EXPECT_EQ(rig.bench.op.Errors(), (Texts{"ATMEL WRITE FLASH : ERROR ADR[0010]"}));
  EXPECT_EQ(rig.bench.op.Texts().back(), "ATMEL WRITE FLASH : STOP");
}

TEST(AvrMemory, EepromWriteFailsAtTheFirstByteThatDoesNotTake) {
  SimRig rig(AvrChip::AT90S8515);
  ASSERT_TRUE(rig.SpiOn());
  rig.bench.op.Clear();
  AvrContext ctx = rig.Context();
  image::MemoryImage eeprom = BlankEeprom(AvrChip::AT90S8515);
  eeprom.SetCell(0, 0x12);
  eeprom.SetCell(1, 0x34);
  EXPECT_EQ(WriteEepromInt(ctx, AvrChip::AT90S8515, eeprom, "1"), 2u);  // the chip needs 4 ms
  EXPECT_EQ(rig.bench.op.lines,
            (std::vector<Line>{{"ATMEL WRITE EEPROM INT : START", false},
                               {"ATMEL WRITE EEPROM INT : LEN[0001]", false},
                               {"ATMEL WRITE EEPROM INT : ERROR ADR[0000]", true},
                               {"ATMEL WRITE EEPROM INT : STOP", false}}));
  EXPECT_EQ(rig.bench.errorFlag, 1);
}

TEST(AvrMemory, BadDelayTextThrowsBeforeAnythingIsSent) {
  SimRig rig(AvrChip::ATmega128);
  ASSERT_TRUE(rig.SpiOn());
  AvrContext ctx = rig.Context();
  rig.bench.op.Clear();
  const uint64_t accesses = rig.backend->PortAccesses();
  const image::MemoryImage flash = SampleFlash(AvrChip::ATmega128);
  EXPECT_THROW(WriteFlash(ctx, AvrChip::ATmega128, flash, "5ms"), image::ConversionError);
  EXPECT_THROW(WriteEepromInt(ctx, AvrChip::ATmega128, SampleEeprom(AvrChip::ATmega128), ""),
               image::ConversionError);
  EXPECT_TRUE(rig.bench.op.lines.empty());
  EXPECT_EQ(rig.backend->PortAccesses(), accesses);
}

// The fake answers every read with 0x00, so a byte written as 0x00 reads back at once and the
// time an EEPROM write takes is its two 50 ms pauses plus the write delay.
uint64_t EepromWriteMs(AvrChip chip, const std::string& delay) {
  FakeRig rig;
  AvrContext ctx = rig.Context();
  image::MemoryImage eeprom = BlankEeprom(chip);
  eeprom.SetCell(0, 0x00);
  const uint64_t start = rig.backend.clock.NowUs();
  WriteEepromInt(ctx, chip, eeprom, delay);
  EXPECT_EQ(rig.bench.op.Texts()[2], "ATMEL WRITE EEPROM INT : OK");
  return (rig.backend.clock.NowUs() - start) / 1000 - 100;
}

uint64_t FlashWriteMs(AvrChip chip, const std::string& delay) {
  FakeRig rig;
  AvrContext ctx = rig.Context();
  image::MemoryImage flash = BlankFlash(chip);
  flash.SetCell(0, 0x0000);
  const uint64_t start = rig.backend.clock.NowUs();
  WriteFlash(ctx, chip, flash, delay);
  return (rig.backend.clock.NowUs() - start) / 1000;
}

TEST(AvrMemory, WriteDelayIsHeldInEightBitsWithTheAtmegaFloors) {
  EXPECT_EQ(EepromWriteMs(AvrChip::AT90S8515, "3"), 3u);
  EXPECT_EQ(EepromWriteMs(AvrChip::ATmega8515, "3"), 9u);
  EXPECT_EQ(EepromWriteMs(AvrChip::ATmega128, "12"), 12u);
  EXPECT_EQ(EepromWriteMs(AvrChip::AT90S8515, "260"), 4u);
  EXPECT_EQ(EepromWriteMs(AvrChip::ATmega163, "260"), 9u);
  EXPECT_EQ(FlashWriteMs(AvrChip::AT90S8515, "3"), 6u) << "after each byte";
  EXPECT_EQ(FlashWriteMs(AvrChip::ATmega8515, "3"), 3u) << "after each page";
  EXPECT_EQ(FlashWriteMs(AvrChip::ATmega163, "3"), 16u) << "its page write time";
  EXPECT_EQ(FlashWriteMs(AvrChip::ATmega163, "20"), 20u);
  EXPECT_EQ(FlashWriteMs(AvrChip::ATmega128, "260"), 4u);
}

TEST(AvrMemory, UnusableSessionReadsNothingAndReportsIt) {
  FakeRig rig;
  rig.bench.session.ClosePort();
  AvrContext ctx = rig.Context();
  image::MemoryImage flash = SampleFlash(AvrChip::AT90S8515);
  const image::MemoryImage before = flash;
  ReadFlash(ctx, AvrChip::AT90S8515, flash);
  EXPECT_EQ(flash, before);
  VerifyFlash(ctx, AvrChip::AT90S8515, BlankFlash(AvrChip::AT90S8515));
  EXPECT_EQ(rig.bench.op.Errors(),
            (Texts{"ATMEL READ FLASH : ERROR PORT", "ATMEL VERYFI FLASH : ERROR PORT"}));
  EXPECT_EQ(rig.bench.op.Texts().back(), "ATMEL VERYFI FLASH : STOP");
  EXPECT_EQ(rig.bench.errorFlag, 1);
}

// Runs `operation` with a stop request raised once the progress bar reaches 5.
Texts StoppedAtFive(const std::function<void(AvrContext&)>& operation, SimRig& rig) {
  AvrContext ctx = rig.Context();
  rig.bench.op.Clear();
  rig.bench.errorFlag = 0;
  rig.bench.op.stopAtProgress = 5;
  operation(ctx);
  EXPECT_FALSE(rig.bench.op.stop) << "the request is cleared";
  EXPECT_EQ(rig.bench.errorFlag, 1);
  return rig.bench.op.Texts();
}

TEST(AvrMemory, StopRequestEndsEveryLongOperation) {
  constexpr AvrChip kChip = AvrChip::ATmega8515;
  SimRig rig(kChip);
  ASSERT_TRUE(rig.SpiOn());
  const image::MemoryImage flash = SampleFlash(kChip);
  const image::MemoryImage eeprom = SampleEeprom(kChip);
  image::MemoryImage kept = flash;

  EXPECT_EQ(StoppedAtFive([&](AvrContext& c) { WriteFlash(c, kChip, flash, "5"); }, rig),
            (Texts{"ATMEL WRITE FLASH : START", "ATMEL WRITE FLASH : LEN[0FFF]",
                   "ATMEL WRITE FLASH : STOPPED", "ATMEL WRITE FLASH : STOP"}));
  // The FLASH write shows its progress per row of 8 words.
  EXPECT_EQ(rig.Region("flash")[2 * 7], 0x3B) << "word 7 written";
  EXPECT_EQ(rig.Region("flash")[2 * 8], 0xFF) << "word 8 not";
  EXPECT_EQ(StoppedAtFive([&](AvrContext& c) { WriteEepromInt(c, kChip, eeprom, "5"); }, rig),
            (Texts{"ATMEL WRITE EEPROM INT : START", "ATMEL WRITE EEPROM INT : LEN[01FF]",
                   "ATMEL WRITE EEPROM INT : STOPPED", "ATMEL WRITE EEPROM INT : STOP"}));
  EXPECT_EQ(StoppedAtFive([&](AvrContext& c) { VerifyFlash(c, kChip, flash); }, rig),
            (Texts{"ATMEL VERYFI FLASH : START", "ATMEL VERYFI FLASH : STOPPED",
                   "ATMEL VERYFI FLASH : STOP"}));
  EXPECT_EQ(StoppedAtFive([&](AvrContext& c) { VerifyEepromInt(c, kChip, eeprom); }, rig),
            (Texts{"ATMEL VERYFI EEPROM INT : START", "ATMEL VERYFI EEPROM INT : STOPPED",
                   "ATMEL VERYFI EEPROM INT : STOP"}));
  EXPECT_EQ(
      StoppedAtFive([&](AvrContext& c) { ReadFlash(c, kChip, kept); }, rig),
      (Texts{"ATMEL READ FLASH : START", "ATMEL READ FLASH : STOPPED", "ATMEL READ FLASH : STOP"}));
  EXPECT_EQ(kept, flash) << "a stopped read keeps the image";
  image::MemoryImage keptEeprom = eeprom;
  StoppedAtFive([&](AvrContext& c) { ReadEepromInt(c, kChip, keptEeprom); }, rig);
  EXPECT_EQ(keptEeprom, eeprom);
  EXPECT_EQ(rig.bench.op.Errors(), (Texts{"ATMEL READ EEPROM INT : STOPPED"}));
}

TEST(AvrMemory, Atmega128FlashReadCoversAllSixtyFourKiloWords) {
  SimRig rig(AvrChip::ATmega128);
  ASSERT_TRUE(rig.SpiOn());
  AvrContext ctx = rig.Context();
  image::MemoryImage flash;
  ReadFlash(ctx, AvrChip::ATmega128, flash);
  EXPECT_EQ(flash, BlankFlash(AvrChip::ATmega128));
  EXPECT_EQ(rig.bench.op.addressUpdates, 65536u);
}

}  // namespace
}  // namespace vexilo::avr::testing
