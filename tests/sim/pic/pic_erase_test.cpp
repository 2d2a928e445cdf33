#include <gtest/gtest.h>

#include "sim/pic/pic_bit_bang.h"
#include "sim/pic/pic_chip.h"

namespace vexilo::sim {
namespace {

using testing::PicBitBang;

// Fills word 0 and data byte 0, then sets the configuration word.
void Fill(PicBitBang& pic, uint16_t config) {
  pic.Enter();
  pic.ProgramWord(0x1234);
  pic.ProgramData(0x42);
  pic.Leave();
  pic.Enter();
  pic.WriteConfigWord(config);
  pic.Leave();
}

struct Contents {
  uint16_t word;
  uint8_t data;
  uint16_t config;
};

Contents ReadBack(PicBitBang& pic) {
  Contents contents{};
  pic.Enter();
  contents.word = pic.ReadWord();
  contents.data = pic.ReadData();
  pic.GoToConfig(7);
  contents.config = pic.ReadWord();
  pic.Leave();
  return contents;
}

// The bulk erase of one memory: Load Data (all 1s), erase command(s), Begin, wait.
void BulkErase(PicBitBang& pic, PicModel model, bool dataMemory) {
  pic.Enter();
  pic.Command(dataMemory ? 0x03 : 0x02);
  pic.Load(0x3FFF);
  if (model == PicModel::PIC16F84) {
    pic.Command(dataMemory ? 0x0B : 0x09);
    pic.Command(0x08);
    pic.Wait(20 * kMs);
  } else {
    pic.Command(0x01);
    pic.Command(0x07);
    pic.Command(0x08);
    pic.Wait(20 * kMs);
    pic.Command(0x01);
    pic.Command(0x07);
  }
  pic.Leave();
}

class PicEraseTest : public ::testing::TestWithParam<PicModel> {
 protected:
  PicModel model_ = GetParam();
  std::unique_ptr<SerialProgrammedChip> chip_ = MakePicChip(model_);
  PicBitBang pic_{*chip_};
  uint16_t configOff_ = 0x3FF1;
  uint16_t configAllProtected_ = model_ == PicModel::PIC16F84 ? 0x000F : 0x0ECF;
};

TEST_P(PicEraseTest, BulkEraseTakesOneMemoryOnly) {
  Fill(pic_, configOff_);
  BulkErase(pic_, model_, /*dataMemory=*/false);
  Contents after = ReadBack(pic_);
  EXPECT_EQ(after.word, 0x3FFF);
  EXPECT_EQ(after.data, 0x42);
  EXPECT_EQ(after.config, configOff_);
  BulkErase(pic_, model_, /*dataMemory=*/true);
  EXPECT_EQ(ReadBack(pic_).data, 0xFF);
}

TEST_P(PicEraseTest, CodeProtectionHidesMemoriesButNotConfiguration) {
  Fill(pic_, configAllProtected_);
  Contents seen = ReadBack(pic_);
  EXPECT_EQ(seen.word, 0x0000);
  EXPECT_EQ(seen.data, 0x00);
  EXPECT_EQ(seen.config & 0x3FFF, model_ == PicModel::PIC16F84 ? 0x000F : 0x0ECF | 0x0400);
  // The contents are still there, only hidden.
  EXPECT_EQ(chip_->ProgramMemory()[0], 0x34);
}

TEST_P(PicEraseTest, ProtectionSurvivesBulkEraseAndConfigRewrite) {
  Fill(pic_, configAllProtected_);
  BulkErase(pic_, model_, false);
  BulkErase(pic_, model_, true);
  pic_.Enter();
  pic_.WriteConfigWord(0x3FFF);
  pic_.Leave();
  Contents seen = ReadBack(pic_);
  EXPECT_EQ(seen.word, 0x0000);
  EXPECT_EQ(seen.data, 0x00);
  EXPECT_EQ(chip_->ProgramMemory()[0], 0x34);
}

TEST_P(PicEraseTest, ChipEraseClearsEverythingAndTheProtection) {
  Fill(pic_, configAllProtected_);
  pic_.Enter();
  pic_.GoToConfig(0, 0x0007);
  pic_.Command(0x08);
  pic_.Wait(20 * kMs);
  pic_.Leave();
  pic_.Enter();
  pic_.ChipErase();
  pic_.Leave();
  Contents after = ReadBack(pic_);
  EXPECT_EQ(after.word, 0x3FFF);
  EXPECT_EQ(after.data, 0xFF);
  EXPECT_EQ(after.config, 0x3FFF);
  pic_.Enter();
  pic_.GoToConfig(0);
  EXPECT_EQ(pic_.ReadWord(), 0x3FFF);  // ID locations too
  pic_.Leave();
  // Unprotected again: programming works.
  pic_.Enter();
  pic_.ProgramWord(0x0042);
  EXPECT_EQ(pic_.ReadWord(), 0x0042);
}

INSTANTIATE_TEST_SUITE_P(Models, PicEraseTest,
                         ::testing::Values(PicModel::PIC16F84, PicModel::PIC16F876));

TEST(PicErase, Pic16F876ProtectsTheChosenSegmentAndCpdTheData) {
  auto chip = MakePicChip(PicModel::PIC16F876);
  PicBitBang pic(*chip);
  pic.Enter();
  pic.Increment(0x1EFF);
  pic.ProgramWord(0x0111);
  pic.Increment();
  pic.ProgramWord(0x0222);
  pic.ProgramData(0x33);
  pic.Leave();
  pic.Enter();
  pic.WriteConfigWord(0x2EEF);  // CP1:CP0 = 10 twice (1F00-1FFF), CPD = 0
  pic.Leave();
  pic.Enter();
  pic.Increment(0x1EFF);
  EXPECT_EQ(pic.ReadWord(), 0x0111);
  pic.Increment();
  EXPECT_EQ(pic.ReadWord(), 0x0000);
  EXPECT_EQ(pic.ReadData(), 0x00);
}

}  // namespace
}  // namespace vexilo::sim
