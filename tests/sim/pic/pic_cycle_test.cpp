#include <gtest/gtest.h>

#include "sim/pic/pic_bit_bang.h"
#include "sim/pic/pic_chip.h"

namespace vexilo::sim {
namespace {

using testing::PicBitBang;

// Starts programming 0x0155 into word 0 and reads it back `after` the Begin command.
uint16_t ReadAfter(SerialProgrammedChip& chip, SimTime after, uint8_t begin = 0x08) {
  PicBitBang pic(chip);
  pic.Enter();
  pic.Command(0x02);
  pic.Load(0x0155);
  pic.Command(begin);
  pic.Wait(after);
  uint16_t word = pic.ReadWord();
  pic.Leave();
  return word;
}

TEST(PicCycle, ReadsReturnTheOldWordUntilTheCycleEnds) {
  auto f84 = MakePicChip(PicModel::PIC16F84);
  EXPECT_EQ(ReadAfter(*f84, 9 * kMs), 0x3FFF);
  EXPECT_EQ(ReadAfter(*f84, 10 * kMs), 0x0155);
  auto f876 = MakePicChip(PicModel::PIC16F876);
  EXPECT_EQ(ReadAfter(*f876, 7 * kMs), 0x3FFF);
  EXPECT_EQ(ReadAfter(*f876, 8 * kMs), 0x0155);
  auto f876ProgramOnly = MakePicChip(PicModel::PIC16F876);
  EXPECT_EQ(ReadAfter(*f876ProgramOnly, 3 * kMs, 0x18), 0x3FFF);
  EXPECT_EQ(ReadAfter(*f876ProgramOnly, 4 * kMs, 0x18), 0x0155);
}

TEST(PicCycle, ASlowChipNeedsLongerDelays) {
  ChipFaults slow;
  slow.writeTimeFactor = 2.5;
  auto chip = MakePicChip(PicModel::PIC16F84, slow);
  EXPECT_EQ(ReadAfter(*chip, 20 * kMs), 0x3FFF);
  EXPECT_EQ(ReadAfter(*chip, 25 * kMs), 0x0155);
}

TEST(PicCycle, BeginDuringACycleIsIgnored) {
  auto chip = MakePicChip(PicModel::PIC16F84);
  PicBitBang pic(*chip);
  pic.Enter();
  pic.Command(0x02);
  pic.Load(0x0001);
  pic.Command(0x08);
  pic.Wait(kMs);
  pic.Command(0x02);
  pic.Load(0x0002);
  pic.Command(0x08);
  pic.Wait(20 * kMs);
  EXPECT_EQ(pic.ReadWord(), 0x0001);
}

TEST(PicCycle, StuckBitReadsItsValueWhateverIsProgrammed) {
  ChipFaults faults;
  faults.stuck = ChipFaults::StuckBit{.byteAddress = 2 * 3 + 1, .bit = 2, .stuckValue = true};
  auto chip = MakePicChip(PicModel::PIC16F876, faults);
  PicBitBang pic(*chip);
  pic.Enter();
  pic.Increment(3);
  pic.ProgramWord(0x0000);
  EXPECT_EQ(pic.ReadWord(), 0x0400);
  pic.Increment();
  pic.ProgramWord(0x0000);
  EXPECT_EQ(pic.ReadWord(), 0x0000);
  EXPECT_EQ(chip->ProgramMemory()[7], 0x04);
}

}  // namespace
}  // namespace vexilo::sim
