#include <gtest/gtest.h>

#include "sim/pic/pic_bit_bang.h"
#include "sim/pic/pic_chip.h"

namespace vexilo::sim {
namespace {

using testing::PicBitBang;

class PicMemoryTest : public ::testing::TestWithParam<PicModel> {
 protected:
  std::unique_ptr<SerialProgrammedChip> chip_ = MakePicChip(GetParam());
  PicBitBang pic_{*chip_};
};

TEST_P(PicMemoryTest, ProgramWordsRoundTripThroughIncrement) {
  pic_.Enter();
  const uint16_t words[] = {0x0000, 0x3FFF, 0x1234, 0x2AAA, 0x1555};
  for (uint16_t word : words) {
    pic_.ProgramWord(word);
    pic_.Increment();
  }
  pic_.Leave();
  pic_.Enter();
  for (uint16_t word : words) {
    EXPECT_EQ(pic_.ReadWord(), word);
    pic_.Increment();
  }
  EXPECT_EQ(pic_.ReadWord(), 0x3FFF);
  auto flash = chip_->ProgramMemory();
  EXPECT_EQ(flash[4], 0x34);
  EXPECT_EQ(flash[5], 0x12);
}

TEST_P(PicMemoryTest, DataWordsCarryFourteenBits) {
  pic_.Enter();
  // Start and stop bits set: they are not part of the word.
  pic_.Command(0x02);
  pic_.Frame(0xFFFF);
  pic_.Command(0x08);
  pic_.Wait(20 * kMs);
  EXPECT_EQ(pic_.ReadWord(), 0x3FFF);
  pic_.Command(0x02);
  pic_.Frame(0x8001);
  pic_.Command(0x08);
  pic_.Wait(20 * kMs);
  EXPECT_EQ(pic_.ReadWord(), 0x0000);
  // The data EEPROM keeps the low 8 bits.
  pic_.ProgramData(0xA5);
  pic_.Command(0x03);
  pic_.Load(0x3F5A);
  pic_.Command(0x08);
  pic_.Wait(20 * kMs);
  EXPECT_EQ(pic_.ReadData(), 0x5A);
}

TEST_P(PicMemoryTest, DataMemoryIsAddressedByTheLowCounterBits) {
  const int size = GetParam() == PicModel::PIC16F84 ? 64 : 256;
  pic_.Enter();
  pic_.ProgramData(0x11);
  pic_.Increment();
  pic_.ProgramData(0x22);
  pic_.Increment(size - 1);
  EXPECT_EQ(pic_.ReadData(), 0x11);
  pic_.Increment();
  EXPECT_EQ(pic_.ReadData(), 0x22);
  EXPECT_EQ(chip_->Regions()[1].name, "eeprom");
  EXPECT_EQ(chip_->Regions()[1].bytes.size(), static_cast<size_t>(size));
}

TEST_P(PicMemoryTest, LoadConfigurationReachesIdsAndConfigurationWord) {
  pic_.Enter();
  pic_.GoToConfig(0, 0x0005);
  pic_.Command(0x08);
  pic_.Wait(20 * kMs);
  EXPECT_EQ(pic_.ReadWord(), 0x0005);
  pic_.Increment(7);
  EXPECT_EQ(pic_.ReadWord(), 0x3FFF);
  pic_.Leave();
  pic_.Enter();
  pic_.WriteConfigWord(0x3FF1);
  pic_.Leave();
  pic_.Enter();
  pic_.GoToConfig(7);
  EXPECT_EQ(pic_.ReadWord(), 0x3FF1);
  // User memory is untouched by writes to configuration memory.
  pic_.Leave();
  pic_.Enter();
  EXPECT_EQ(pic_.ReadWord(), 0x3FFF);
  auto config = chip_->Regions()[2];
  EXPECT_EQ(config.name, "config");
  EXPECT_EQ(config.bytes[14], 0xF1);
  EXPECT_EQ(config.bytes[15], 0x3F);
}

INSTANTIATE_TEST_SUITE_P(Models, PicMemoryTest,
                         ::testing::Values(PicModel::PIC16F84, PicModel::PIC16F876));

TEST(PicMemory, Pic16F84ProgramMemoryWrapsAbove1KWords) {
  auto chip = MakePicChip(PicModel::PIC16F84);
  PicBitBang pic(*chip);
  pic.Enter();
  pic.ProgramWord(0x0777);
  pic.Increment(1024);
  EXPECT_EQ(pic.ReadWord(), 0x0777);
  EXPECT_EQ(chip->ProgramMemory().size(), 2048u);
}

TEST(PicMemory, Pic16F876DeviceIdAndUnimplementedConfigBit) {
  auto chip = MakePicChip(PicModel::PIC16F876);
  PicBitBang pic(*chip);
  pic.Enter();
  pic.GoToConfig(6, 0x0000);
  EXPECT_EQ(pic.ReadWord(), 0x09E0);
  pic.Command(0x08);  // the device ID does not program
  pic.Wait(20 * kMs);
  EXPECT_EQ(pic.ReadWord(), 0x09E0);
  pic.Leave();
  pic.Enter();
  pic.WriteConfigWord(0x0000 | 0x3130);  // everything off but the protection bits
  pic.Leave();
  pic.Enter();
  pic.GoToConfig(7);
  EXPECT_EQ(pic.ReadWord(), 0x3530);  // bit 10 is unimplemented and reads 1
}

TEST(PicMemory, Pic16F876ProgrammingOnlyClearsBits) {
  auto chip = MakePicChip(PicModel::PIC16F876);
  PicBitBang pic(*chip);
  pic.Enter();
  pic.ProgramWord(0x0F0F);
  pic.Command(0x02);
  pic.Load(0x33CC);
  pic.Command(0x18);
  pic.Wait(5 * kMs);
  EXPECT_EQ(pic.ReadWord(), 0x030C);
}

}  // namespace
}  // namespace vexilo::sim
