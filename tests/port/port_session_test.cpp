#include "port/port_session.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "port/fake_backend.h"

namespace vexilo::port::testing {
namespace {

using Access = RecordingPortIo::Access;
using Events = std::vector<std::string>;

class SessionTest : public ::testing::Test {
 protected:
  explicit SessionTest(SessionMode mode = SessionMode::Direct)
      : backend_(mode), session_(backend_, reporter_, [this] { return settings_; }) {}

  // What a 16550 left at 8N1 by the operating system shows.
  void ScriptUartAt(uint16_t base) {
    backend_.io.script[base + 3] = {0x03};
    backend_.io.script[base + 0] = {0x30};
    backend_.io.script[base + 1] = {0x01};
    backend_.io.script[base + 2] = {0xC1};
  }
  void Forget() {
    backend_.io.log.clear();
    reporter_.events.clear();
  }

  FakeBackend backend_;
  RecordingReporter reporter_;
  SessionSettings settings_;
  PortSession session_;
};

class OsHeldSessionTest : public SessionTest {
 protected:
  OsHeldSessionTest() : SessionTest(SessionMode::OsHeld) {}
};

TEST_F(SessionTest, DirectOpenSetsUpUartInOrderAndCloseRestoresIt) {
  ScriptUartAt(0x3F8);
  ASSERT_TRUE(session_.OpenPort("avr/pic"));
  EXPECT_EQ(
      backend_.io.log,
      (std::vector<Access>{Out(0x3F9, 0x00), In(0x3FB, 0x03), Out(0x3FB, 0x9F), In(0x3F8, 0x30),
                           In(0x3F9, 0x01), Out(0x3F8, 0x0C), Out(0x3F9, 0x00), Out(0x3FB, 0x1F),
                           In(0x3FA, 0xC1), Out(0x3FA, 0xC7), Out(0x3FC, 0x00)}));
  EXPECT_EQ(reporter_.events, (Events{"busy", "panel0 Port[3F8]:Open", "panel2 Port: Com:OK"}));
  EXPECT_EQ(session_.LcrShadow(), 0x1F);
  EXPECT_EQ(session_.McrShadow(), 0);
  EXPECT_EQ(backend_.comm.portName, "/dev/ttyS0");
  EXPECT_FALSE(backend_.comm.connected);  // the registers are ours: no device held

  session_.SetRTS(1);
  Forget();
  session_.ClosePort();
  // Divisor low, divisor high, +2, line control; DTR and RTS stay as they were.
  EXPECT_EQ(backend_.io.log,
            (std::vector<Access>{Out(0x3FB, 0x80), Out(0x3F8, 0x30), Out(0x3F9, 0x01),
                                 Out(0x3FA, 0xC1), Out(0x3FB, 0x03)}));
  EXPECT_EQ(reporter_.events, (Events{"panel0 Port[3F8]:Close", "panel2 Port: Com:Free", "idle"}));
}

TEST_F(SessionTest, PortSelectionAndDelaysAreReadAtEveryOpen) {
  settings_.avrPicCom = 3;
  settings_.phoenixCom = 1;
  settings_.avrClk = 0x105;  // low byte of the position
  settings_.picClk = 200;
  settings_.atrDelay = "150";
  ASSERT_TRUE(session_.OpenPort("phoenix"));
  EXPECT_EQ(session_.PortBase(), 0x2F8);
  EXPECT_EQ(backend_.comm.portName, "/dev/ttyS1");
  EXPECT_EQ(session_.AvrClockDelay(), 5);
  EXPECT_EQ(session_.PicClockDelay(), 200);
  EXPECT_EQ(session_.RxPollLimit(), 150000);
  session_.ClosePort();

  settings_.atrDelay = "7";
  ASSERT_TRUE(session_.OpenPort("avr/pic"));
  EXPECT_EQ(session_.PortBase(), 0x2E8);
  EXPECT_EQ(session_.RxPollLimit(), 7000);
  EXPECT_EQ(reporter_.events.end()[-2], "panel0 Port[2E8]:Open");
}

TEST_F(SessionTest, BadSettingsFailBeforeAnyPortAccess) {
  settings_.atrDelay = "1o0";
  try {
    session_.OpenPort("avr/pic");
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "'1o0' is not a valid integer value");
  }
  settings_.atrDelay = "100";
  EXPECT_THROW(session_.OpenPort("jtag"), std::invalid_argument);
  settings_.avrPicCom = 4;
  EXPECT_THROW(session_.OpenPort("avr/pic"), std::invalid_argument);
  EXPECT_TRUE(backend_.io.log.empty());
  EXPECT_TRUE(reporter_.events.empty());  // not even the hourglass
  EXPECT_FALSE(session_.InSession());
}

TEST(DecimalSettingTest, AcceptsSignedDecimalsOnly) {
  EXPECT_EQ(ParseDecimalInteger("100"), 100);
  EXPECT_EQ(ParseDecimalInteger(" -5"), -5);
  EXPECT_EQ(ParseDecimalInteger("-2147483648"), INT32_MIN);
  for (const char* bad : {"", " ", "-", "12 ", "0x10", "$10", "2147483648", "1e3"}) {
    EXPECT_THROW(ParseDecimalInteger(bad), std::invalid_argument) << bad;
  }
  EXPECT_EQ(RxPollLimitFromText("100"), 100000);
  EXPECT_EQ(RxPollLimitFromText("9999999"), INT32_MAX);  // x 1000 would overflow
}

TEST_F(SessionTest, LineOperationsWriteOneRegisterEachFromTheShadows) {
  ASSERT_TRUE(session_.OpenPort("avr/pic"));
  Forget();
  session_.SetDTR(0x80);
  session_.SetRTS(1);
  session_.SetDTR(2);  // off: only 1 and 0x80 assert DTR
  session_.SetDTR(1);
  session_.SetDTR(0x40);
  session_.SetRTS(0x80);  // off: only 1 asserts RTS
  session_.SetTXLevel(0);
  session_.SetTXLevel(5);
  session_.SetTX(1);
  session_.SetTX(0);
  EXPECT_EQ(
      backend_.io.log,
      (std::vector<Access>{Out(0x3FC, 0x01), Out(0x3FC, 0x03), Out(0x3FC, 0x02), Out(0x3FC, 0x03),
                           Out(0x3FC, 0x02), Out(0x3FC, 0x00), Out(0x3FB, 0x5F), Out(0x3FB, 0x1F),
                           Out(0x3FB, 0x5F), Out(0x3FB, 0x1F)}));

  session_.SetRTS(1);
  session_.SetTXLevel(0);
  session_.ClosePort();
  ASSERT_TRUE(session_.OpenPort("avr/pic"));  // open clears both shadows
  EXPECT_EQ(session_.McrShadow(), 0);
  EXPECT_EQ(session_.LcrShadow(), 0x1F);
}

TEST_F(SessionTest, GetCtsReadsModemStatusEveryTime) {
  ASSERT_TRUE(session_.OpenPort("avr/pic"));
  backend_.io.script[0x3FE] = {0x10, 0xEF, 0xFF};
  EXPECT_EQ(session_.GetCTS(), 1);
  EXPECT_EQ(session_.GetCTS(), 0);
  EXPECT_EQ(session_.GetCTS(), 1);
  EXPECT_EQ(backend_.io.reads[0x3FE], 3u);
}

TEST_F(SessionTest, SetMclrDropsClockAndDataThenWaits) {
  ASSERT_TRUE(session_.OpenPort("avr/pic"));
  session_.SetRTS(1);
  session_.SetDTR(1);
  Forget();
  const uint64_t before = backend_.clock.NowUs();
  session_.SetMCLR(1);
  EXPECT_EQ(backend_.io.log,
            (std::vector<Access>{Out(0x3FC, 0x01), Out(0x3FC, 0x00), Out(0x3FB, 0x5F)}));
  EXPECT_EQ(backend_.clock.NowUs() - before, 200000u);
  session_.SetMCLR(0);
  EXPECT_EQ(backend_.io.log.back(), Out(0x3FB, 0x1F));
}

TEST_F(SessionTest, ClockDelayYieldsCountTimes) {
  ASSERT_TRUE(session_.OpenPort("avr/pic"));
  const uint64_t before = backend_.clock.NowNs();
  session_.ClockDelay(0);
  EXPECT_EQ(backend_.clock.NowNs(), before);
  session_.ClockDelay(15);
  EXPECT_EQ(backend_.clock.NowNs() - before, 15u * 1000);
}

TEST_F(SessionTest, SendByteWaitsForTransmitterThenEcho) {
  ASSERT_TRUE(session_.OpenPort("phoenix"));
  Forget();
  backend_.io.script[0x3FD] = {0x00, 0x60, 0x60, 0x61};
  backend_.io.script[0x3F8] = {0x3B};
  EXPECT_EQ(session_.SendByte(0xC1), 0x3B);
  EXPECT_EQ(backend_.io.log,
            (std::vector<Access>{In(0x3FD, 0x00), In(0x3FD, 0x60), Out(0x3F8, 0xC1),
                                 In(0x3FD, 0x60), In(0x3FD, 0x61), In(0x3F8, 0x3B)}));
  EXPECT_FALSE(session_.TimedOut());
}

TEST_F(SessionTest, MissingEchoEndsByClockTime) {
  ASSERT_TRUE(session_.OpenPort("phoenix"));
  backend_.io.record = false;
  backend_.io.fixed[0x3FD] = 0x60;      // transmitter empty, nothing ever received
  backend_.io.clock = &backend_.clock;  // 1 us per register read
  const uint64_t before = backend_.clock.NowUs();
  session_.SendByte(0x55);
  const uint64_t waited = backend_.clock.NowUs() - before;
  EXPECT_GE(waited, PortSession::kByteWaitUs);
  EXPECT_LT(waited, PortSession::kByteWaitUs + 1000);
  EXPECT_EQ(session_.TimeOutCount(), 1u);
  session_.ClearTimedOut();
  EXPECT_FALSE(session_.TimedOut());
}

TEST_F(SessionTest, SilentCardEndsByPollCountOnAStoppedClock) {
  ASSERT_TRUE(session_.OpenPort("phoenix"));
  backend_.io.record = false;
  backend_.io.fixed[0x3FD] = 0x00;  // the clock is not moved by reads here
  session_.ReceiveByte();
  EXPECT_EQ(backend_.io.reads[0x3FD], PortSession::kByteWaitPolls);
  EXPECT_TRUE(session_.TimedOut());
}

TEST_F(SessionTest, ReceiveByteTimedPollsLimitMinusOneTimes) {
  ASSERT_TRUE(session_.OpenPort("phoenix"));  // atr_delay 100
  backend_.io.reads.clear();
  backend_.io.record = false;
  backend_.io.fixed[0x3F8] = 0x42;
  EXPECT_EQ(session_.ReceiveByteTimed(), 0x42);
  EXPECT_EQ(backend_.io.reads[0x3FD], 99999u);
  EXPECT_EQ(backend_.io.reads[0x3F8], 1u);
  EXPECT_TRUE(session_.TimedReceiveExpired());
  EXPECT_FALSE(session_.TimedOut());  // an ATR ending is no fault

  backend_.io.reads.clear();
  backend_.io.script[0x3FD] = {0x00, 0x00, 0x01};
  session_.ReceiveByteTimed();
  EXPECT_EQ(backend_.io.reads[0x3FD], 3u);
  EXPECT_FALSE(session_.TimedReceiveExpired());
}

TEST_F(SessionTest, ReceiveByteTimedWithZeroDelayDoesNotSpin) {
  settings_.atrDelay = "0";
  ASSERT_TRUE(session_.OpenPort("phoenix"));
  session_.ReceiveByteTimed();
  EXPECT_EQ(backend_.io.reads[0x3FD], 0u);
  EXPECT_TRUE(session_.TimedReceiveExpired());
}

TEST_F(SessionTest, NestedOpenIsRefusedAndKeepsTheFirstSession) {
  ScriptUartAt(0x3F8);
  ASSERT_TRUE(session_.OpenPort("avr/pic"));
  Forget();
  EXPECT_FALSE(session_.OpenPort("phoenix"));
  EXPECT_TRUE(backend_.io.log.empty());
  EXPECT_EQ(reporter_.events, (Events{"message Port already open"}));
  EXPECT_TRUE(session_.IsOpen());
  session_.ClosePort();
  EXPECT_EQ(backend_.io.Outs()[1], Out(0x3F8, 0x30));  // restores what the first open found
}

TEST_F(SessionTest, DeviceThatWillNotOpenLeavesRegistersAlone) {
  backend_.deviceAvailable = false;
  EXPECT_FALSE(session_.OpenPort("avr/pic"));
  EXPECT_EQ(reporter_.events, (Events{"busy", "message Error Open COM"}));
  session_.SetDTR(1);
  session_.SendByte(0x00);
  EXPECT_TRUE(backend_.io.log.empty());
  session_.ClosePort();
  EXPECT_TRUE(backend_.io.log.empty());
  EXPECT_EQ(reporter_.events.back(), "idle");
}

TEST_F(SessionTest, CloseWithoutOpenTouchesNothing) {
  session_.ClosePort();
  session_.SetRTS(1);
  EXPECT_EQ(session_.GetCTS(), 1);  // an absent UART reads all ones
  EXPECT_TRUE(backend_.io.log.empty());
  EXPECT_TRUE(reporter_.events.empty());
}

TEST_F(OsHeldSessionTest, HoldsDeviceAndPortsAndWritesOnlyModemControl) {
  settings_.avrPicCom = 1;
  ASSERT_TRUE(session_.OpenPort("avr/pic"));
  EXPECT_EQ(backend_.permission.calls, (std::vector<std::string>{"enable 760"}));
  EXPECT_TRUE(backend_.comm.connected);
  EXPECT_EQ(backend_.comm.portName, "/dev/ttyS1");
  EXPECT_EQ(backend_.io.log, (std::vector<Access>{Out(0x2FC, 0x00)}));
  EXPECT_EQ(reporter_.events, (Events{"busy", "panel2 Port: Mask:OK Com:OK"}));

  Forget();
  session_.ClosePort();
  EXPECT_FALSE(backend_.comm.connected);
  EXPECT_EQ(backend_.permission.calls.back(), "disable 760");
  EXPECT_TRUE(backend_.io.log.empty());
  EXPECT_EQ(reporter_.events, (Events{"panel2 Port: Com:Free Mask:Free", "idle"}));
}

TEST_F(OsHeldSessionTest, RefusedPermissionLeavesRegistersAlone) {
  backend_.permission.grant = false;
  EXPECT_FALSE(session_.OpenPort("avr/pic"));
  EXPECT_EQ(reporter_.events, (Events{"busy", "panel2 Port: Mask:BAD"}));
  EXPECT_FALSE(backend_.comm.connected);
  session_.SetDTR(1);
  session_.SetTXLevel(0);
  session_.SetMCLR(1);
  session_.SendByte(0x12);
  session_.ReceiveByte();
  session_.ReceiveByteTimed();
  session_.ReadRxRegister();
  EXPECT_TRUE(backend_.io.log.empty());
  EXPECT_FALSE(session_.TimedOut());
  session_.ClosePort();
  EXPECT_TRUE(backend_.io.log.empty());
  EXPECT_FALSE(session_.InSession());
}

TEST_F(OsHeldSessionTest, ComDeviceThatWillNotOpen) {
  backend_.comm.connectResult = false;
  EXPECT_FALSE(session_.OpenPort("avr/pic"));
  EXPECT_EQ(reporter_.events, (Events{"busy", "message Error Open COM"}));
  EXPECT_TRUE(backend_.io.log.empty());
  session_.ClosePort();
  EXPECT_EQ(reporter_.events.back(), "idle");
  EXPECT_EQ(backend_.permission.calls.back(), "disable 1016");
}

TEST_F(SessionTest, GuardClosesOnExceptionButNotAnotherOnesSession) {
  try {
    SessionGuard guard(session_, "avr/pic");
    ASSERT_TRUE(guard.Usable());
    throw std::runtime_error("card removed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(session_.InSession());

  ASSERT_TRUE(session_.OpenPort("avr/pic"));
  {
    SessionGuard nested(session_, "phoenix");
    EXPECT_FALSE(nested.Usable());
  }
  EXPECT_TRUE(session_.IsOpen());
}

}  // namespace
}  // namespace vexilo::port::testing
