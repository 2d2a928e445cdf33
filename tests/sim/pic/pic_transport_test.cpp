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

TEST(PicTransport, UnknownCommandsAreIgnored) {
  auto chip = MakePicChip(PicModel::PIC16F84);
  PicBitBang pic(*chip);
  pic.Enter();
  pic.Command(0x02);
  pic.Load(0x0ABC);
  pic.Command(0x3F);
  pic.Command(0x18);  // Begin Programming Only is not a PIC16F84 command
  pic.Wait(20 * kMs);
  EXPECT_EQ(pic.ReadWord(), 0x3FFF);
  pic.Command(0x08);
  pic.Wait(20 * kMs);
  EXPECT_EQ(pic.ReadWord(), 0x0ABC);
}

}  // namespace
}  // namespace vexilo::sim
