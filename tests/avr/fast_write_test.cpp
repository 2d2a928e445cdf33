// Fast write on the simulated chips: whole pages and polling give the same chip contents, log
// lines and error addresses as the writes with fixed delays, in less time.
#include <gtest/gtest.h>

#include "avr/avr_operations.h"
#include "avr/chip_table.h"
#include "avr_test_support.h"
#include "image/hex_to_int.h"

namespace vexilo::avr::testing {
namespace {

using Line = RecordingOperator::Line;
using Texts = std::vector<std::string>;

// The page of the ATmega chips; the AT90S8515 has none and takes the same layout.
uint32_t Page(AvrChip chip) { return ChipRow(chip).pageWords ? ChipRow(chip).pageWords : 32; }

// Page 0 with a hole, a word whose low byte is 0xFF, the values the AT90S8515 cannot poll;
// pages 1 and 2 blank; page 3 with a few words; the last word in the middle of page 5.
image::MemoryImage HoleyFlash(AvrChip chip) {
  image::MemoryImage flash = BlankFlash(chip);
  const uint32_t page = Page(chip);
  const uint16_t first[] = {0xFF34, 0x7F80, 0x807F, 0xFFFF, 0x0C94, 0x1234};
  for (uint32_t w = 0; w < std::size(first); ++w) flash.SetCell(w, first[w]);
  for (uint32_t w = 3 * page + 1; w < 3 * page + 9; ++w) flash.SetCell(w, uint16_t(w * 0x0301));
  flash.SetCell(5 * page + page / 2, 0x5AA5);
  return flash;
}

image::MemoryImage MixedEeprom(AvrChip chip) {
  image::MemoryImage eeprom = BlankEeprom(chip);
  const uint8_t bytes[] = {0x00, 0x7F, 0x80, 0xFF, 0x55, 0xFF, 0x01};
  for (uint32_t a = 0; a < std::size(bytes); ++a) eeprom.SetCell(a, bytes[a]);
  eeprom.SetCell(40, 0xA5);
  return eeprom;
}

TEST(FastWrite, AnImageWithHolesAndBlankPagesRoundTripsFasterThanWithFixedDelays) {
  for (AvrChip chip : kChips) {
    SCOPED_TRACE(ChipRow(chip).name);
    const image::MemoryImage flash = HoleyFlash(chip);
    const image::MemoryImage eeprom = MixedEeprom(chip);
    const std::string delay = chip == AvrChip::ATmega163 ? "16" : "5";
    uint64_t took[2] = {};
    Texts logs[2];
    for (WriteWait wait : {WriteWait::FixedDelay, WriteWait::Polling}) {
      SimRig rig(chip);
      ASSERT_TRUE(rig.SpiOn());
      AvrContext ctx = rig.Context();
      rig.bench.op.Clear();
      const uint64_t start = rig.backend->VirtualTime().NowUs();
      WriteFlash(ctx, chip, flash, delay, wait);
      WriteEepromInt(ctx, chip, eeprom, delay, wait);
      took[int(wait)] = rig.backend->VirtualTime().NowUs() - start;
      logs[int(wait)] = rig.bench.op.Texts();
      EXPECT_EQ(rig.bench.op.address, ":0028");
      EXPECT_EQ(rig.bench.errorFlag, 0);

      VerifyFlash(ctx, chip, flash);
      VerifyEepromInt(ctx, chip, eeprom);
      EXPECT_TRUE(rig.bench.op.Errors().empty()) << rig.bench.op.Errors().front();
      const auto chipFlash = rig.Region("flash");
      for (uint32_t w = 0; w < flash.Cells(); ++w) {
        ASSERT_EQ(chipFlash[2 * w] | chipFlash[2 * w + 1] << 8, flash.Cell(w)) << "word " << w;
      }
    }
    EXPECT_EQ(logs[1], logs[0]);
    EXPECT_EQ(logs[1][1],
              "ATMEL WRITE FLASH : LEN[" + image::ToHex(5 * Page(chip) + Page(chip) / 2, 4) + "]");
    EXPECT_LT(took[1], took[0]);
  }
}

TEST(FastWrite, AStuckBitInTheMiddleOfAPageIsReportedAtItsWord) {
  struct Case {
    AvrChip chip;
    uint32_t word;
  };
  for (const Case& c : {Case{AvrChip::AT90S8515, 0x10}, Case{AvrChip::ATmega8515, 0x10},
                        Case{AvrChip::ATmega163, 0x25}, Case{AvrChip::ATmega128, 0x45}}) {
    SCOPED_TRACE(ChipRow(c.chip).name);
    sim::SimFaults faults;
    faults.chip.stuck = sim::ChipFaults::StuckBit{2 * c.word + 1, 3, true};  // high byte, bit 3
    SimRig rig(c.chip, faults);
    ASSERT_TRUE(rig.SpiOn());
    AvrContext ctx = rig.Context();
    image::MemoryImage flash = BlankFlash(c.chip);
    const uint32_t words = 2 * Page(c.chip);
    for (uint32_t w = 0; w < words; ++w) flash.SetCell(w, 0x0000);
    rig.bench.op.Clear();
    WriteFlash(ctx, c.chip, flash, "16", WriteWait::Polling);
    const std::string at = image::ToHex(c.word, 4);
    EXPECT_EQ(
        rig.bench.op.lines,
        (std::vector<Line>{{"ATMEL WRITE FLASH : START", false},
                           {"ATMEL WRITE FLASH : LEN[" + image::ToHex(words - 1, 4) + "]", false},
                           {"ATMEL WRITE FLASH : ERROR ADR[" + at + "]", true},
                           {"ATMEL WRITE FLASH : STOP", false}}));
    EXPECT_EQ(rig.bench.op.address, ":" + at);
    EXPECT_EQ(rig.bench.errorFlag, 1);
    EXPECT_EQ(rig.Region("flash")[2 * words - 2], 0xFF) << "the next page is not written";
  }
}

TEST(FastWrite, ASlowChipIsWaitedForByPollingNotFailed) {
  sim::SimFaults faults;
  faults.chip.writeTimeFactor = 3.0;
  for (AvrChip chip : kChips) {
    SCOPED_TRACE(ChipRow(chip).name);
    SimRig rig(chip, faults);
    ASSERT_TRUE(rig.SpiOn());
    AvrContext ctx = rig.Context();
    image::MemoryImage flash = BlankFlash(chip);
    for (uint32_t w = 0; w < 3 * Page(chip); ++w) flash.SetCell(w, uint16_t(0x1100 + w));
    image::MemoryImage eeprom = BlankEeprom(chip);
    for (uint32_t a = 0; a < 8; ++a) eeprom.SetCell(a, 0x10 + a);
    WriteFlash(ctx, chip, flash, "5", WriteWait::Polling);
    WriteEepromInt(ctx, chip, eeprom, "5", WriteWait::Polling);
    EXPECT_TRUE(rig.bench.op.Errors().empty()) << rig.bench.op.Errors().front();
    EXPECT_EQ(rig.bench.errorFlag, 0);
  }
}

}  // namespace
}  // namespace vexilo::avr::testing
