#include <gtest/gtest.h>

#include "avr/avr_operations.h"
#include "avr_test_support.h"

namespace vexilo::avr::testing {
namespace {

using Line = RecordingOperator::Line;

TEST(SpiByte, ShiftsMostSignificantBitFirstBothWays) {
  FakeRig rig;
  rig.backend.io.reply = [](const std::vector<uint8_t>&) { return uint8_t{0x96}; };
  const uint8_t got = SpiByte(rig.bench.session, 0xA5);
  EXPECT_EQ(rig.backend.io.mosiOnRisingEdges,
            (std::vector<bool>{true, false, true, false, false, true, false, true}));
  EXPECT_EQ(got, 0x96);
  // SCK idles low, MOSI keeps the last bit.
  EXPECT_EQ(rig.bench.session.McrShadow() & (kMcrRts | kMcrDtr), kMcrDtr);
}

TEST(SpiByte, CostsTwentyFiveClockDelays) {
  FakeRig rig(3);  // the fake's port accesses take no time; only the Sleep(0) runs count
  const uint64_t start = rig.backend.clock.NowNs();
  SpiByte(rig.bench.session, 0x5A);
  EXPECT_EQ(rig.backend.clock.NowNs() - start, 25u * 3u * 1000u);
}

TEST(AtmelSpiOn, ChipAnsweringAtOnceGivesOneAckLine) {
  SimRig rig(AvrChip::AT90S8515);
  AvrContext ctx = rig.Context();
  EXPECT_EQ(AtmelSpiOn(ctx), 1);
  EXPECT_EQ(rig.bench.op.lines, (std::vector<Line>{{"ATMEL SPI : TX[00] -> ACK = 53", false},
                                                   {"ATMEL SPI : ON", false}}));
  EXPECT_NE(rig.bench.session.LcrShadow() & kLcrBreak, 0) << "RESET stays on";
  AtmelSpiOff(ctx);
  EXPECT_EQ(rig.bench.op.Texts().back(), "ATMEL SPI : OFF");
  EXPECT_EQ(rig.bench.session.LcrShadow() & kLcrBreak, 0);
}

TEST(AtmelSpiOn, EveryChipEntersProgrammingModeAgainAfterAnErase) {
  for (AvrChip chip :
       {AvrChip::AT90S8515, AvrChip::ATmega8515, AvrChip::ATmega163, AvrChip::ATmega128}) {
    SimRig rig(chip);
    AvrContext ctx = rig.Context();
    ASSERT_EQ(AtmelSpiOn(ctx), 1) << static_cast<int>(chip);
    ChipErase(ctx, chip == AvrChip::AT90S8515 ? EraseVariant::Pause10Ms : EraseVariant::Pause20Ms);
    EXPECT_EQ(AtmelSpiOn(ctx), 1) << static_cast<int>(chip);
  }
}

TEST(AtmelSpiOn, NoCardFailsAfterThirtyTwoAttemptsWithResetOff) {
  sim::SimFaults faults;
  faults.noCard = true;
  SimRig rig(AvrChip::ATmega163, faults);
  AvrContext ctx = rig.Context();
  const uint64_t start = rig.backend->VirtualTime().NowUs();
  EXPECT_EQ(AtmelSpiOn(ctx), 0);
  EXPECT_EQ(rig.bench.op.lines, (std::vector<Line>{{"ATMEL SPI : ERROR", true}}));
  EXPECT_EQ(rig.bench.session.LcrShadow() & kLcrBreak, 0) << "RESET off";
  // 250 ms before the first attempt, 30 ms per attempt.
  EXPECT_GE(rig.backend->VirtualTime().NowUs() - start, (250u + 32u * 30u) * 1000u);
}

TEST(AtmelSpiOn, AttemptNumberShowsInTheAckLine) {
  FakeRig rig;
  // The chip echoes 0x53 in the third byte of the third attempt only.
  rig.backend.io.reply = [](const std::vector<uint8_t>& got) {
    return uint8_t(got.size() == 2 * 4 + 2 ? 0x53 : 0x00);
  };
  AvrContext ctx = rig.Context();
  EXPECT_EQ(AtmelSpiOn(ctx), 1);
  EXPECT_EQ(rig.bench.op.Texts(),
            (std::vector<std::string>{"ATMEL SPI : TX[02] -> ACK = 53", "ATMEL SPI : ON"}));
  EXPECT_EQ(rig.backend.io.received.size(), 12u);
  EXPECT_TRUE(rig.backend.io.resetOn);
}

}  // namespace
}  // namespace vexilo::avr::testing
