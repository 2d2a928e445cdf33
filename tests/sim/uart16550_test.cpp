#include "sim/adapter/uart16550.h"

#include <gtest/gtest.h>

#include "sim/fakes.h"

namespace vexilo::sim {
namespace {

using testing::FakeWiring;

class UartTest : public ::testing::Test {
 protected:
  // 9600 baud 8E2, as a port session sets it up.
  void Setup9600_8E2(SimTime at = 0) {
    uart_.Write(kLcr, 0x9F, at);
    uart_.Write(kRbrThrDll, 12, at);
    uart_.Write(kIerDlm, 0, at);
    uart_.Write(kLcr, 0x1F, at);
  }

  FakeWiring wiring_;
  Uart16550 uart_{&wiring_};
};

TEST_F(UartTest, DivisorLatchIsReachedOnlyWithDlab) {
  uart_.Write(kLcr, 0x83, 0);
  uart_.Write(kRbrThrDll, 0x34, 0);
  uart_.Write(kIerDlm, 0x12, 0);
  EXPECT_EQ(uart_.Read(kRbrThrDll, 0), 0x34);
  EXPECT_EQ(uart_.Read(kIerDlm, 0), 0x12);
  EXPECT_TRUE(wiring_.sent.empty()) << "a divisor write is not a character";

  uart_.Write(kLcr, 0x03, 0);
  EXPECT_EQ(uart_.Format().divisor, 0x1234);
  uart_.Write(kIerDlm, 0xFF, 0);
  EXPECT_EQ(uart_.Read(kIerDlm, 0), 0x0F) << "IER has four bits";
  uart_.Write(kLcr, 0x83, 0);
  EXPECT_EQ(uart_.Read(kIerDlm, 0), 0x12) << "IER write left the divisor alone";
}

TEST(CharFormat, FrameTimeFollowsDivisorAndWordFormat) {
  EXPECT_EQ((CharFormat{12, 0x1F}.FrameNs()), 1250 * kUs);  // 9600 8E2: 12 bits
  EXPECT_EQ((CharFormat{12, 0x03}.FrameNs()), 1041666u);    // 9600 8N1: 10 bits
  EXPECT_EQ((CharFormat{1, 0x03}.FrameNs()), 86805u);       // 115200 8N1
  EXPECT_EQ((CharFormat{12, 0x04}.FrameNs()), 781250u);     // 5 data bits, 1.5 stop: 7.5 bits
  EXPECT_EQ((CharFormat{12, 0x0B}.FrameNs()), 1145833u);    // 8 data, odd parity, 1 stop
  EXPECT_GT((CharFormat{0, 0x03}.FrameNs()), (CharFormat{65535, 0x03}.FrameNs()));
}

TEST_F(UartTest, TransmitterStatusFollowsCharacterTimes) {
  Setup9600_8E2();
  EXPECT_EQ(uart_.Read(kLsr, 0) & 0x61, 0x60) << "idle: THRE and TEMT, no data";

  const SimTime t0 = 1000;
  uart_.Write(kRbrThrDll, 0xA5, t0);
  // The byte moves straight into the shift register; the holding register is free again.
  EXPECT_EQ(uart_.Read(kLsr, t0) & 0x60, 0x20);
  uart_.Write(kRbrThrDll, 0x5A, t0);
  EXPECT_EQ(uart_.Read(kLsr, t0) & 0x60, 0x00) << "holding register full";

  const SimTime frame = 1250 * kUs;
  EXPECT_EQ(uart_.Read(kLsr, t0 + frame - 1) & 0x60, 0x00);
  EXPECT_EQ(uart_.Read(kLsr, t0 + frame) & 0x60, 0x20) << "second byte in the shift register";
  EXPECT_EQ(uart_.Read(kLsr, t0 + 2 * frame) & 0x60, 0x60);

  ASSERT_EQ(wiring_.sent.size(), 2u);
  EXPECT_EQ(wiring_.sent[0], std::make_pair(uint8_t{0xA5}, t0 + frame));
  EXPECT_EQ(wiring_.sent[1], std::make_pair(uint8_t{0x5A}, t0 + 2 * frame));
}

TEST_F(UartTest, FullHoldingRegisterWithoutFifoIsOverwritten) {
  Setup9600_8E2();
  for (uint8_t v : {1, 2, 3}) uart_.Write(kRbrThrDll, v, 0);
  uart_.CatchUp(10 * kMs);
  ASSERT_EQ(wiring_.sent.size(), 2u);
  EXPECT_EQ(wiring_.sent[1].first, 3);
}

TEST_F(UartTest, TransmitFifoTakesSixteenPlusShiftRegister) {
  Setup9600_8E2();
  uart_.Write(kIirFcr, 0x07, 0);
  for (int i = 0; i < 20; ++i) uart_.Write(kRbrThrDll, uint8_t(i), 0);
  uart_.CatchUp(100 * kMs);
  ASSERT_EQ(wiring_.sent.size(), 17u);
  EXPECT_EQ(wiring_.sent.back().first, 16);
}

TEST_F(UartTest, FifoClearDropsWaitingBytesButNotTheShiftRegister) {
  Setup9600_8E2();
  uart_.Write(kIirFcr, 0x01, 0);
  for (int i = 0; i < 5; ++i) uart_.Write(kRbrThrDll, uint8_t(i), 0);
  wiring_.incoming.push_back({{0x11}, 0});
  wiring_.incoming.push_back({{0x22}, 0});
  EXPECT_EQ(uart_.Read(kLsr, 1) & 0x01, 0x01);

  uart_.Write(kIirFcr, 0x07, 2);
  EXPECT_EQ(uart_.Read(kLsr, 3) & 0x61, 0x20) << "receiver empty, only the shift register busy";
  uart_.CatchUp(100 * kMs);
  ASSERT_EQ(wiring_.sent.size(), 1u);
  EXPECT_EQ(wiring_.sent[0].first, 0);
}

TEST_F(UartTest, FcrBitsAreIgnoredUnlessFifoEnableIsWritten) {
  Setup9600_8E2();
  uart_.Write(kIirFcr, 0x01, 0);
  wiring_.incoming.push_back({{0x11}, 0});
  EXPECT_EQ(uart_.Read(kLsr, 1) & 0x01, 0x01);
  uart_.Write(kIirFcr, 0x03, 2);  // clear RX, FIFOs stay on
  EXPECT_EQ(uart_.Read(kLsr, 3) & 0x01, 0x00);

  wiring_.incoming.push_back({{0x22}, 3});
  uart_.Write(kIirFcr, 0x01, 4);
  EXPECT_EQ(uart_.Read(kRbrThrDll, 5), 0x22);
  EXPECT_EQ(uart_.Read(kIirFcr, 5) & 0xC0, 0xC0);
  uart_.Write(kIirFcr, 0x00, 6);
  EXPECT_EQ(uart_.Read(kIirFcr, 6), 0x01) << "16450 mode, no interrupt pending";
}

TEST_F(UartTest, ReceiverOverrunsAtSixteenWithFifoAndReplacesWithout) {
  Setup9600_8E2();
  uart_.Write(kIirFcr, 0xC7, 0);
  for (int i = 0; i < 20; ++i) wiring_.incoming.push_back({{uint8_t(i)}, 0});
  EXPECT_EQ(uart_.Read(kLsr, 1) & 0x03, 0x03) << "data ready and overrun";
  EXPECT_EQ(uart_.Read(kLsr, 1) & 0x02, 0x00) << "reading LSR clears overrun";
  int count = 0;
  while (uart_.Read(kLsr, 2) & 0x01) EXPECT_EQ(uart_.Read(kRbrThrDll, 2), count++);
  EXPECT_EQ(count, 16);
  EXPECT_EQ(uart_.Read(kRbrThrDll, 2), 15) << "empty receiver repeats the last byte";

  uart_.Write(kIirFcr, 0x00, 3);
  wiring_.incoming.push_back({{0x41}, 3});
  wiring_.incoming.push_back({{0x42}, 3});
  EXPECT_EQ(uart_.Read(kLsr, 4) & 0x03, 0x03);
  EXPECT_EQ(uart_.Read(kRbrThrDll, 4), 0x42);
}

TEST_F(UartTest, ReceiveErrorsShowForTheByteAtTheTop) {
  Setup9600_8E2();
  uart_.Write(kIirFcr, 0x01, 0);
  wiring_.incoming.push_back({{0x10, 0}, 0});
  wiring_.incoming.push_back({{0x20, kLsrFramingError}, 0});
  EXPECT_EQ(uart_.Read(kLsr, 1), kLsrDataReady | kLsrThrEmpty | kLsrTxEmpty | kLsrFifoError);
  uart_.Read(kRbrThrDll, 1);
  EXPECT_EQ(uart_.Read(kLsr, 1) & 0x8F, kLsrDataReady | kLsrFramingError | kLsrFifoError);
}

TEST_F(UartTest, LinesFollowMcrAndBreakBit) {
  uart_.Write(kMcr, 0x01, 10);
  uart_.Write(kMcr, 0x03, 20);
  uart_.Write(kMcr, 0x03, 30);  // no change, no call
  uart_.Write(kLcr, 0x5F, 40);
  uart_.Write(kMcr, 0x0C, 50);  // OUT1/OUT2 are not adapter lines
  const std::vector<std::pair<uint8_t, SimTime>> expected{{kLineDtr, 10},
                                                          {kLineDtr | kLineRts, 20},
                                                          {kLineDtr | kLineRts | kLineBreak, 40},
                                                          {kLineBreak, 50}};
  EXPECT_EQ(wiring_.lines, expected);
  EXPECT_EQ(uart_.Read(kMcr, 60), 0x0C);
  EXPECT_EQ(uart_.Read(kLcr, 60), 0x5F);
}

TEST_F(UartTest, BreakDoesNotStopTheTransmitterLogic) {
  Setup9600_8E2();
  uart_.Write(kLcr, 0x5F, 0);
  uart_.Write(kRbrThrDll, 0x33, 0);
  EXPECT_EQ(uart_.Read(kLsr, 2 * kMs) & 0x60, 0x60);
  EXPECT_EQ(wiring_.sent.size(), 1u) << "the adapter decides what a break does to the line";
}

TEST_F(UartTest, ModemStatusShowsCts) {
  EXPECT_EQ(uart_.Read(kMsr, 0), 0x00);
  wiring_.cts = true;
  EXPECT_EQ(uart_.Read(kMsr, 0), kMsrCts);
}

TEST_F(UartTest, LoopBackTurnsOutputsIntoInputs) {
  Setup9600_8E2();
  uart_.Write(kMcr, 0x03, 0);
  uart_.Write(kMcr, 0x13, 1);
  EXPECT_EQ(wiring_.lines.back(), std::make_pair(uint8_t{0}, SimTime{1}));
  EXPECT_EQ(uart_.Read(kMsr, 1), kMsrCts | kMsrDsr);
  uart_.Write(kMcr, 0x1C, 2);
  EXPECT_EQ(uart_.Read(kMsr, 2), kMsrRi | kMsrDcd);

  uart_.Write(kRbrThrDll, 0x77, 3);
  EXPECT_EQ(uart_.Read(kLsr, 3 + 1250 * kUs) & 0x01, 0x01);
  EXPECT_EQ(uart_.Read(kRbrThrDll, 3 + 1250 * kUs), 0x77);
  EXPECT_TRUE(wiring_.sent.empty());
}

TEST_F(UartTest, TransmitterEmptyInterruptIsClearedByReadingIir) {
  EXPECT_EQ(uart_.Read(kIirFcr, 0), 0x01);
  uart_.Write(kIerDlm, 0x02, 0);
  EXPECT_EQ(uart_.Read(kIirFcr, 0), 0x02);
  EXPECT_EQ(uart_.Read(kIirFcr, 0), 0x01);
  uart_.Write(kIerDlm, 0x03, 0);
  wiring_.incoming.push_back({{0x01}, 0});
  EXPECT_EQ(uart_.Read(kIirFcr, 1), 0x04) << "received data outranks the transmitter";
}

TEST_F(UartTest, ScratchRegisterHoldsAByte) {
  uart_.Write(kScr, 0x5A, 0);
  EXPECT_EQ(uart_.Read(kScr, 0), 0x5A);
}

}  // namespace
}  // namespace vexilo::sim
