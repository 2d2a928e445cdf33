// The AVR chip model behind the adapter, driven through the UART registers.
#include <gtest/gtest.h>

#include "sim/avr/avr_chip.h"
#include "sim/line_driver.h"

namespace vexilo::sim {
namespace {

class RealAvrBehindAdapter : public ::testing::Test {
 protected:
  RealAvrBehindAdapter()
      : backend_(Options(), std::make_unique<SimCard>(CardType::FunCard, 0,
                                                      MakeAvrChip(AvrModel::AT90S8515), nullptr)),
        line_(backend_) {
    line_.Open();
  }
  static SimOptions Options() {
    SimOptions options;
    options.mode = AdapterMode::Avr;
    return options;
  }
  // Power-up, then RESET held and the programming-enable instruction; returns the third byte.
  uint8_t ProgrammingEnable() {
    line_.SetRts(false);
    line_.SetDtr(false);
    line_.SleepMs(50);
    line_.SetBreak(false);
    line_.SleepMs(100);
    line_.SetBreak(true);
    line_.SleepMs(30);
    line_.SpiByte(0xAC);
    line_.SpiByte(0x53);
    const uint8_t echo = line_.SpiByte(0x00);
    line_.SpiByte(0x00);
    return echo;
  }

  SimBackend backend_;
  testing::LineDriver line_;
};

TEST_F(RealAvrBehindAdapter, ProgrammingEnableIsAnsweredWith0x53) {
  EXPECT_EQ(ProgrammingEnable(), 0x53);
  // Read the signature bytes: 0x1E 0x93 0x01 for an AT90S8515.
  const uint8_t expected[] = {0x1E, 0x93, 0x01};
  for (uint8_t i = 0; i < 3; ++i) {
    line_.SpiByte(0x30);
    line_.SpiByte(0x00);
    line_.SpiByte(i);
    EXPECT_EQ(line_.SpiByte(0x00), expected[i]) << int(i);
  }
}

TEST_F(RealAvrBehindAdapter, NoAnswerInPicMode) {
  backend_.SetModeByHand(AdapterMode::Pic);
  EXPECT_NE(ProgrammingEnable(), 0x53);
}

}  // namespace
}  // namespace vexilo::sim
