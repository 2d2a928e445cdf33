#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "avr/avr_operations.h"
#include "avr/chip_table.h"
#include "avr/fuse_dialog.h"
#include "avr_test_support.h"

namespace vexilo::avr::testing {
namespace {

using Texts = std::vector<std::string>;

// Sim "fuses" region: low, high, extended (the fuses a chip has), then the lock byte.
constexpr size_t kSimLow = 0;
constexpr size_t kSimHigh = 1;

TEST(FuseDialog, StartStatesMakeTheDefaultBytes) {
  const FuseDialog mega8515 = FuseDialog::ForChip(AvrChip::ATmega8515);
  EXPECT_EQ(mega8515.Byte(FuseByte::High), 0xC9);
  EXPECT_EQ(mega8515.Byte(FuseByte::Low), 0xEE);
  EXPECT_EQ(mega8515.Byte(FuseByte::Lock), 0x3F);
  EXPECT_FALSE(mega8515.HasByte(FuseByte::Extended));

  const FuseDialog mega128 = FuseDialog::ForChip(AvrChip::ATmega128);
  EXPECT_EQ(mega128.Byte(FuseByte::High), 0x89);
  EXPECT_EQ(mega128.Byte(FuseByte::Low), 0xEE);
  EXPECT_EQ(mega128.Byte(FuseByte::Extended), 0x03);
  EXPECT_EQ(mega128.Byte(FuseByte::Lock), 0x3F);

  const FuseDialog mega163 = FuseDialog::ForChip(AvrChip::ATmega163);
  EXPECT_EQ(mega163.Byte(FuseByte::High), 0x01);
  EXPECT_EQ(mega163.Byte(FuseByte::Low), 0xCE);
  EXPECT_EQ(mega163.Byte(FuseByte::Lock), 0x3F);
  EXPECT_FALSE(mega163.HasByte(FuseByte::Extended));
}

TEST(FuseDialog, DialogsAreNamedAndCaptionedAsTheWindowShowsThem) {
  const FuseDialog mega128 = FuseDialog::ForChip(AvrChip::ATmega128);
  const FuseDialog mega163 = FuseDialog::ForChip(AvrChip::ATmega163);
  const FuseDialog mega8515 = FuseDialog::ForChip(AvrChip::ATmega8515);
  EXPECT_EQ(mega128.FormName(), "TForm2");
  EXPECT_EQ(mega128.Caption(), "FUSE ATMega128");
  EXPECT_EQ(mega163.FormName(), "TForm3");
  EXPECT_EQ(mega163.Caption(), "FUSE ATMega163");
  EXPECT_EQ(mega8515.FormName(), "TForm4");
  EXPECT_EQ(mega8515.Caption(), "FUSE ATMega8515");
  EXPECT_THROW(FuseDialog::ForChip(AvrChip::AT90S8515), std::invalid_argument);

  // The ATmega8515 boxes of fuse high bits 7 and 6 keep the ATmega128 component names.
  for (const FuseBox& box : mega8515.Boxes()) {
    if (box.component == "ocden") {
      EXPECT_EQ(box.caption, "S8515C");
    } else if (box.component == "jtagen") {
      EXPECT_EQ(box.caption, "WDTON");
    }
  }
  for (const FuseDialog* dialog : {&mega128, &mega163, &mega8515}) {
    std::set<std::string_view> names;
    std::set<std::pair<FuseByte, uint8_t>> bits;
    for (const FuseBox& box : dialog->Boxes()) {
      EXPECT_TRUE(names.insert(box.component).second) << box.component;
      EXPECT_TRUE(bits.insert({box.byte, box.bit}).second) << box.component;
      EXPECT_LT(box.bit, 8);
    }
  }
}

TEST(FuseDialog, BoxesAndBytesFollowEachOther) {
  FuseDialog dialog = FuseDialog::ForChip(AvrChip::ATmega163);
  dialog.SetChecked("cksel0", false);
  dialog.SetChecked("cksel2", true);
  EXPECT_EQ(dialog.Byte(FuseByte::Low), 0xCB);
  EXPECT_THROW(dialog.SetChecked("sut0", true), std::invalid_argument);
  EXPECT_THROW((void)dialog.Checked("ocden"), std::invalid_argument);

  FuseDialog mega128 = FuseDialog::ForChip(AvrChip::ATmega128);
  mega128.SetChecked("cksel2", true);
  EXPECT_EQ(mega128.Byte(FuseByte::Low), 0xEA) << "only bit 2 cleared";

  mega128.SetFromByte(FuseByte::Lock, 0xFC);
  EXPECT_TRUE(mega128.Checked("lb2"));
  EXPECT_TRUE(mega128.Checked("lb1"));
  for (const char* boot : {"blb12", "blb11", "blb02", "blb01"}) {
    EXPECT_FALSE(mega128.Checked(boot)) << boot;
  }
  EXPECT_EQ(mega128.Byte(FuseByte::Lock), 0x3C) << "bits without a box are 0";
  EXPECT_EQ(mega128.Byte(FuseByte::High), 0x89) << "other bytes untouched";
}

TEST(ConfigBits, StartStatesReachTheChipAndReadBack) {
  struct Case {
    AvrChip chip;
    Texts writeLines;
  };
  const Case cases[] = {
      {AvrChip::ATmega8515,
       {"Fuse High Byte = C9", "Fuse Low Byte = EE", "Fuse Lock Bit Byte = 3F"}},
      {AvrChip::ATmega163,
       {"Fuse High Byte = 01", "Fuse Low Byte = CE", "Fuse Lock Bit Byte = 3F"}},
      {AvrChip::ATmega128,
       {"Fuse High Byte = 89", "Fuse Low Byte = EE", "Fuse Extended Byte = 03",
        "Fuse Lock Bit Byte = 3F"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ChipRow(c.chip).name);
    SimRig rig(c.chip);
    ASSERT_TRUE(rig.SpiOn());
    AvrContext ctx = rig.Context();
    const FuseDialog written = FuseDialog::ForChip(c.chip);
    rig.bench.op.Clear();
    WriteConfig(ctx, written);
    Texts expected{"ATMEL WRITE CONFIG BIT : START"};
    expected.insert(expected.end(), c.writeLines.begin(), c.writeLines.end());
    expected.push_back("ATMEL WRITE CONFIG BIT : STOP");
    EXPECT_EQ(rig.bench.op.Texts(), expected);

    // Bits the chip has reach it; bits without a box are the chip's business.
    const auto fuses = rig.Region("fuses");
    const uint8_t lowMask = c.chip == AvrChip::ATmega163 ? 0xCF : 0xFF;
    const uint8_t highMask = c.chip == AvrChip::ATmega163 ? 0x07 : 0xDF;
    EXPECT_EQ(fuses[kSimLow] & lowMask, written.Byte(FuseByte::Low) & lowMask);
    EXPECT_EQ(fuses[kSimHigh] & highMask, written.Byte(FuseByte::High) & highMask);
    EXPECT_EQ(fuses.back() & 0x3F, 0x3F);

    FuseDialog read = FuseDialog::ForChip(c.chip);
    for (const FuseBox& box : read.Boxes()) read.SetChecked(box.component, !box.checkedAtStart);
    rig.bench.op.Clear();
    ReadConfig(ctx, read);
    EXPECT_EQ(rig.bench.op.Texts().front(), "ATMEL READ CONFIG BIT : START");
    EXPECT_EQ(rig.bench.op.Texts().back(), "ATMEL READ CONFIG BIT : STOP");
    for (const FuseBox& box : read.Boxes()) {
      EXPECT_EQ(read.Checked(box.component), written.Checked(box.component)) << box.component;
    }
  }
}

TEST(ConfigBits, ReadLogsTheBytesTheChipHolds) {
  SimRig rig(AvrChip::ATmega128);
  ASSERT_TRUE(rig.SpiOn());
  AvrContext ctx = rig.Context();
  FuseDialog dialog = FuseDialog::ForChip(AvrChip::ATmega128);
  dialog.SetChecked("lb1", true);
  dialog.SetChecked("lb2", true);
  WriteConfig(ctx, dialog);
  FuseDialog read = FuseDialog::ForChip(AvrChip::ATmega128);
  rig.bench.op.Clear();
  ReadConfig(ctx, read);
  EXPECT_EQ(rig.bench.op.Texts(),
            (Texts{"ATMEL READ CONFIG BIT : START", "Fuse High Byte = 89", "Fuse Low Byte = EE",
                   "Fuse Extended Byte = FF", "Fuse Lock Bit Byte = FC",
                   "ATMEL READ CONFIG BIT : STOP"}));
  EXPECT_TRUE(read.Checked("lb1"));
  EXPECT_TRUE(read.Checked("lb2"));
  EXPECT_FALSE(read.Checked("blb01"));
}

TEST(ConfigBits, ReadWithoutAUsableSessionKeepsTheBoxes) {
  FakeRig rig;
  rig.bench.session.ClosePort();
  AvrContext ctx = rig.Context();
  FuseDialog dialog = FuseDialog::ForChip(AvrChip::ATmega8515);
  ReadConfig(ctx, dialog);
  EXPECT_EQ(dialog.Byte(FuseByte::High), 0xC9);
  EXPECT_EQ(rig.bench.op.Errors(), (Texts{"ATMEL READ CONFIG BIT : ERROR PORT"}));
  EXPECT_EQ(rig.bench.errorFlag, 1);
}

// Lock bits and erase are checked on the byte level: the instruction bytes are the interface.
TEST(ConfigBits, At90s8515LockBitsFromTheTwoBoxes) {
  const std::pair<bool, bool> boxes[] = {{true, true}, {false, false}, {true, false}};
  const uint8_t codes[] = {0xE0, 0xE6, 0xE4};
  for (size_t i = 0; i < 3; ++i) {
    FakeRig rig;
    AvrContext ctx = rig.Context();
    const uint64_t start = rig.backend.clock.NowUs();
    WriteLockBits(ctx, boxes[i].first, boxes[i].second);
    EXPECT_EQ(rig.backend.io.received, (std::vector<uint8_t>{0xAC, codes[i], 0x00, 0x00}));
    EXPECT_EQ(rig.backend.clock.NowUs() - start, 66000u);
    EXPECT_EQ(rig.bench.op.Texts(),
              (Texts{"ATMEL WRITE CONFIG BIT : START", "ATMEL WRITE CONFIG BIT : STOP"}));
  }
}

TEST(ConfigBits, At90s8515LockBitsReachTheSimulatedChip) {
  SimRig rig(AvrChip::AT90S8515);
  ASSERT_TRUE(rig.SpiOn());
  AvrContext ctx = rig.Context();
  WriteLockBits(ctx, true, false);  // LB1 programmed
  EXPECT_EQ(rig.Region("fuses").back() & 0x06, 0x04);
}

TEST(ConfigBits, ChipEraseEndsWithAResetPulse) {
  for (EraseVariant variant : {EraseVariant::Pause10Ms, EraseVariant::Pause20Ms}) {
    FakeRig rig;
    AvrContext ctx = rig.Context();
    rig.bench.session.SetTXLevel(0);
    const uint64_t start = rig.backend.clock.NowUs();
    ChipErase(ctx, variant);
    EXPECT_EQ(rig.backend.io.received, (std::vector<uint8_t>{0xAC, 0x80, 0x00, 0x00}));
    const uint64_t pause = variant == EraseVariant::Pause10Ms ? 10 : 20;
    EXPECT_EQ(rig.backend.clock.NowUs() - start, (50 + pause + 20) * 1000);
    EXPECT_TRUE(rig.backend.io.resetOn);
    EXPECT_EQ(rig.bench.op.Texts(), (Texts{"ATMEL ERASE : START", "ATMEL ERASE : STOP"}));
  }
}

TEST(ConfigBits, EraseClearsTheSimulatedChip) {
  for (AvrChip chip : {AvrChip::AT90S8515, AvrChip::ATmega163}) {
    SimRig rig(chip);
    ASSERT_TRUE(rig.SpiOn());
    AvrContext ctx = rig.Context();
    image::MemoryImage flash = BlankFlash(chip);
    flash.SetCell(3, 0x0000);
    WriteFlash(ctx, chip, flash, "16");
    ASSERT_EQ(rig.bench.errorFlag, 0);
    ChipErase(ctx, ChipRow(chip).erase, ChipRow(chip).eraseTimeMs);
    ASSERT_TRUE(rig.SpiOn());
    VerifyFlash(ctx, chip, BlankFlash(chip));
    EXPECT_EQ(rig.bench.errorFlag, 0) << ChipRow(chip).name;
  }
}

}  // namespace
}  // namespace vexilo::avr::testing
