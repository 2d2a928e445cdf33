#include <gtest/gtest.h>

#include <memory>

#include "avr_bit_bang.h"
#include "sim/avr/avr_chip.h"

namespace vexilo::sim {
namespace {

using testing::AvrBitBang;

struct SignatureCase {
  AvrModel model;
  uint8_t family;
  uint8_t part;
};

class AvrSignatureTest : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(AvrSignatureTest, EchoesEnableAndReadsSignature) {
  auto chip = MakeAvrChip(GetParam().model);
  AvrBitBang isp(*chip);
  ASSERT_EQ(isp.Enter(), 0x53);
  EXPECT_EQ(isp.Signature(0), 0x1E);
  EXPECT_EQ(isp.Signature(1), GetParam().family);
  EXPECT_EQ(isp.Signature(2), GetParam().part);
}

INSTANTIATE_TEST_SUITE_P(AllChips, AvrSignatureTest,
                         ::testing::Values(SignatureCase{AvrModel::AT90S8515, 0x93, 0x01},
                                           SignatureCase{AvrModel::ATmega8515, 0x93, 0x06},
                                           SignatureCase{AvrModel::ATmega163, 0x94, 0x02},
                                           SignatureCase{AvrModel::ATmega128, 0x97, 0x02}));

TEST(AvrTransport, EnableEchoComesOnlyInTheThirdByte) {
  auto chip = MakeAvrChip(AvrModel::ATmega8515);
  AvrBitBang isp(*chip);
  isp.SetReset(false);
  auto reply = isp.Instruction(0xAC, 0x53, 0x00, 0x00);
  EXPECT_EQ(reply[0], 0x00);
  EXPECT_EQ(reply[1], 0x00);
  EXPECT_EQ(reply[2], 0x53);
}

TEST(AvrTransport, NothingAnswersWhileResetIsHigh) {
  auto chip = MakeAvrChip(AvrModel::AT90S8515);
  AvrBitBang isp(*chip);
  auto reply = isp.Instruction(0xAC, 0x53, 0x00, 0x00);
  EXPECT_EQ(reply[2], 0x00);
  // Nor did that enable anything: with RESET low a read still needs the enable first.
  isp.SetReset(false);
  EXPECT_EQ(isp.Signature(0), 0x00);
}

TEST(AvrTransport, InstructionsNeedProgrammingEnable) {
  auto chip = MakeAvrChip(AvrModel::ATmega163);
  AvrBitBang isp(*chip);
  isp.SetReset(false);
  isp.Instruction(0xC0, 0x00, 0x10, 0x42);
  isp.Wait(10 * kMs);
  ASSERT_EQ(isp.Enable(), 0x53);
  EXPECT_EQ(isp.ReadEeprom(0x10), 0xFF);
}

TEST(AvrTransport, StraySckEdgeLosesSyncUntilResetPulse) {
  for (AvrModel model : {AvrModel::AT90S8515, AvrModel::ATmega128}) {
    auto chip = MakeAvrChip(model);
    AvrBitBang isp(*chip);
    isp.SetReset(false);
    isp.ClockPulse();
    EXPECT_NE(isp.Enable(), 0x53) << chip->Name();
    EXPECT_NE(isp.Enable(), 0x53) << chip->Name();  // every later frame is off too
    isp.ResetPulse();
    EXPECT_EQ(isp.Enable(), 0x53) << chip->Name();
    EXPECT_EQ(isp.Signature(0), 0x1E) << chip->Name();
  }
}

TEST(AvrTransport, ResetTakenLowWithSckHighIsOutOfStep) {
  auto chip = MakeAvrChip(AvrModel::ATmega8515);
  AvrBitBang isp(*chip);
  isp.SetClock(true);
  isp.SetReset(false);
  isp.SetClock(false);
  EXPECT_NE(isp.Enable(), 0x53);
  isp.ResetPulse();
  EXPECT_EQ(isp.Enable(), 0x53);
}

// AT90S8515 data sheet: if 0x53 is not echoed give SCK a positive pulse and try again; within
// 32 attempts a working chip answers.
TEST(AvrTransport, SckPulsesBringTheChipBackIntoStep) {
  for (int stray = 1; stray < 32; stray += 5) {
    auto chip = MakeAvrChip(AvrModel::AT90S8515);
    AvrBitBang isp(*chip);
    isp.SetReset(false);
    for (int i = 0; i < stray; ++i) isp.ClockPulse();
    int attempts = 1;
    while (isp.Enable() != 0x53 && attempts < 32) {
      isp.ClockPulse();
      ++attempts;
    }
    EXPECT_EQ(attempts, 32 - stray + 1) << stray;
    EXPECT_EQ(isp.Signature(2), 0x01) << stray;
  }
}

TEST(AvrTransport, MisoChangesOnTheFallingEdge) {
  auto chip = MakeAvrChip(AvrModel::ATmega8515);
  AvrBitBang isp(*chip);
  isp.SetReset(false);
  isp.Byte(0xAC);
  isp.Byte(0x53);
  // The echo's first bit (0) is out after the last falling edge of byte 2; bit 6 (1) follows
  // the first falling edge of byte 3, not its rising edge.
  EXPECT_FALSE(chip->DataOut(isp.Now()));
  isp.SetClock(true);
  EXPECT_FALSE(chip->DataOut(isp.Now()));
  isp.SetClock(false);
  EXPECT_TRUE(chip->DataOut(isp.Now()));
}

TEST(AvrTransport, ReleasingResetEndsProgrammingMode) {
  auto chip = MakeAvrChip(AvrModel::ATmega128);
  AvrBitBang isp(*chip);
  ASSERT_EQ(isp.Enter(), 0x53);
  isp.Leave();
  EXPECT_FALSE(chip->DataOut(isp.Now()));
  isp.SetReset(false);
  EXPECT_EQ(isp.Signature(0), 0x00);  // not enabled again yet
  EXPECT_EQ(isp.Enable(), 0x53);
  EXPECT_EQ(isp.Signature(0), 0x1E);
}

TEST(AvrTransport, NamesAndRegions) {
  auto chip = MakeAvrChip(AvrModel::ATmega128);
  EXPECT_EQ(chip->Name(), "ATmega128");
  auto regions = chip->Regions();
  ASSERT_EQ(regions.size(), 3u);
  EXPECT_EQ(regions[0].name, "flash");
  EXPECT_EQ(regions[0].bytes.size(), 131072u);
  EXPECT_EQ(regions[1].name, "eeprom");
  EXPECT_EQ(regions[1].bytes.size(), 4096u);
  EXPECT_EQ(regions[2].name, "fuses");
  EXPECT_EQ(regions[2].bytes.size(), 4u);  // low, high, extended, lock
  EXPECT_EQ(MakeAvrChip(AvrModel::ATmega163)->Regions()[2].bytes.size(), 3u);
  EXPECT_EQ(MakeAvrChip(AvrModel::AT90S8515)->Regions()[2].bytes.size(), 1u);
  EXPECT_EQ(MakeAvrChip(AvrModel::AT90S8515)->ProgramMemory().size(), 8192u);
}

TEST(AvrTransport, LoadedRegionsAreWhatTheChipReads) {
  auto chip = MakeAvrChip(AvrModel::ATmega8515);
  auto regions = chip->Regions();
  regions[0].bytes[0x20] = 0x12;
  regions[0].bytes[0x21] = 0x34;
  regions[1].bytes[5] = 0x77;
  AvrBitBang isp(*chip);
  ASSERT_EQ(isp.Enter(), 0x53);
  EXPECT_EQ(isp.ReadWord(0x10), 0x3412);
  EXPECT_EQ(isp.ReadEeprom(5), 0x77);
}

}  // namespace
}  // namespace vexilo::sim
