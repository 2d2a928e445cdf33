#include <gtest/gtest.h>

#include "sim/pic/pic_bit_bang.h"
#include "sim/pic/pic_chip.h"

namespace vexilo::sim {
namespace {

using testing::PicBitBang;

TEST(PicTransport, ReadFrameDrivesRb7FromSecondToSixteenthRisingEdge) {
  auto chip = MakePicChip(PicModel::PIC16F84);
  PicBitBang pic(*chip);
  pic.Enter();
  pic.ProgramWord(0x0000);
  pic.Command(0x04);
  // The programmer holds RB7 high; a driven 0 shows only while the chip drives the line.
  bool drivenAfterRise[16];
  for (int clock = 0; clock < 16; ++clock) {
    pic.SetClock(true);
    pic.SetData(true);
    drivenAfterRise[clock] = !pic.DataOut();
    pic.SetClock(false);
  }
  EXPECT_FALSE(drivenAfterRise[0]);
  for (int clock = 1; clock < 15; ++clock) EXPECT_TRUE(drivenAfterRise[clock]) << clock;
  EXPECT_FALSE(drivenAfterRise[15]);
  EXPECT_TRUE(pic.DataOut());
}

TEST(PicTransport, EnteringProgramModeResetsTheAddressCounter) {
  auto chip = MakePicChip(PicModel::PIC16F876);
  PicBitBang pic(*chip);
  pic.Enter();
  pic.ProgramWord(0x1111);
  pic.Increment();
  pic.ProgramWord(0x2222);
  EXPECT_EQ(pic.ReadWord(), 0x2222);
  pic.Leave();
  pic.Enter();
  EXPECT_EQ(pic.ReadWord(), 0x1111);
  // Load Configuration is left only by leaving the mode.
  pic.GoToConfig(0);
  pic.Leave();
  pic.Enter();
  EXPECT_EQ(pic.ReadWord(), 0x1111);
}

TEST(PicTransport, MclrRaisedWithRb7HighDoesNotEnterProgramMode) {
  auto chip = MakePicChip(PicModel::PIC16F84);
  PicBitBang pic(*chip);
  pic.Leave();
  pic.SetData(true);
  // MCLR up with RB7 high: the chip runs its program and ignores the clock.
  pic.SetMclr(true);
  pic.SetData(false);
  pic.ProgramWord(0x0000);
  pic.Leave();
  pic.Enter();
  EXPECT_EQ(pic.ReadWord(), 0x3FFF);
  pic.ProgramWord(0x0000);
  EXPECT_EQ(pic.ReadWord(), 0x0000);
}

TEST(PicTransport, MclrLowAbortsFramesAndCycles) {
  auto chip = MakePicChip(PicModel::PIC16F84);
  PicBitBang pic(*chip);
  pic.Enter();
  // Half a data frame, then MCLR falls: nothing is loaded and the shifter starts afresh.
  pic.Command(0x02);
  for (int i = 0; i < 8; ++i) pic.Clock(false);
  pic.Leave();
  pic.Enter();
  pic.Command(0x08);
  pic.Wait(20 * kMs);
  EXPECT_EQ(pic.ReadWord(), 0x3FFF);
  // A programming cycle cut short by MCLR leaves the old word.
  pic.Command(0x02);
  pic.Load(0x0123);
  pic.Command(0x08);
  pic.Wait(2 * kMs);
  pic.Leave();
  pic.Wait(20 * kMs);
  pic.Enter();
  EXPECT_EQ(pic.ReadWord(), 0x3FFF);
}

// Each chip takes the commands its programming specification lists and ignores the others:
// 0x3F on neither, Bulk Erase Program Memory (9) not on the PIC16F876, whose set-up pair is its
// erase, Begin Programming Only (0x18) on both (listed for the PIC16F84A the cards carry).
TEST(PicTransport, EachChipTakesOnlyItsOwnCommands) {
  auto f84 = MakePicChip(PicModel::PIC16F84);
  PicBitBang a(*f84);
  a.Enter();
  a.Command(0x02);
  a.Load(0x0ABC);
  a.Command(0x3F);
  a.Command(0x18);
  a.Wait(20 * kMs);
  EXPECT_EQ(a.ReadWord(), 0x0ABC);

  auto f876 = MakePicChip(PicModel::PIC16F876);
  PicBitBang b(*f876);
  b.Enter();
  b.Command(0x02);
  b.Load(0x0ABC);
  b.Command(0x09);  // would arm a bulk erase for the next Begin
  b.Command(0x08);
  b.Wait(20 * kMs);
  EXPECT_EQ(b.ReadWord(), 0x0ABC);
}

// What Microchip's programming documents decide: the address counter stays in configuration
// memory until programming mode is left; the set-up pair is the chip erase only at 0x2007;
// the PIC16F84 data EEPROM cycle takes the 10 ms its programming document gives, so the default
// Write Delay of 10 ms is just enough and 9 ms reads the old byte back.
TEST(PicTransport, ConfigCounterChipEraseAddressAndEepromCycle) {
  auto chip = MakePicChip(PicModel::PIC16F84);
  PicBitBang pic(*chip);
  pic.Enter();
  pic.WriteConfigWord(0x3FE5);  // CP on: code protected
  pic.Leave();
  pic.Enter();
  pic.GoToConfig(0);
  pic.Increment(0x2000);  // round the 8K configuration space, never back to user memory
  pic.Increment(7);
  EXPECT_EQ(pic.ReadWord(), 0x3FE5);

  pic.Leave();
  pic.Enter();
  pic.GoToConfig(6);  // the set-up pair at 0x2006 is no chip erase
  pic.Command(0x01);
  pic.Command(0x07);
  pic.Command(0x08);
  pic.Wait(20 * kMs);
  pic.Increment();
  EXPECT_EQ(pic.ReadWord(), 0x3FE5);
  pic.Leave();
  pic.Enter();
  pic.ChipErase();
  pic.Leave();

  for (SimTime wait : {10 * kMs, 9 * kMs}) {
    pic.Enter();
    pic.ProgramData(wait == 10 * kMs ? 0x5A : 0xA5, wait);
    EXPECT_EQ(pic.ReadData(), 0x5A) << wait;
    pic.Leave();
    pic.Wait(20 * kMs);
  }
}

}  // namespace
}  // namespace vexilo::sim
