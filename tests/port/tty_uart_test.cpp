#include "port/tty_uart.h"

#include <gtest/gtest.h>

#include "port/fake_serial.h"
#include "port/port_session.h"
#include "port/tty_backend.h"
#include "port/virtual_clock.h"

namespace vexilo::port::testing {
namespace {

using Calls = std::vector<std::string>;

class TtyUartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(uart_.Attach(0x3F8));
    fake_.calls.clear();
  }
  FakeSerialSyscalls fake_;
  TtyUart uart_{fake_, "/dev/ttyUSB0"};
};

TEST_F(TtyUartTest, AttachTakesTheDeviceAndLowersWhatTheKernelRaised) {
  EXPECT_NE(fake_.openFlags & O_NONBLOCK, 0);
  EXPECT_EQ(fake_.modemOut, 0);
  EXPECT_FALSE(fake_.inBreak);
  TtyUart other(fake_, "/dev/ttyUSB1");
  EXPECT_FALSE(other.Attach(0x3F8));
  EXPECT_EQ(other.In(0x3FD), 0xFF);  // no device: an absent UART
}

TEST_F(TtyUartTest, ModemControlDrivesDtrAndRts) {
  uart_.Out(0x3FC, 0x01);
  EXPECT_EQ(fake_.modemOut, TIOCM_DTR);
  uart_.Out(0x3FC, 0x03);
  EXPECT_EQ(fake_.modemOut, TIOCM_DTR | TIOCM_RTS);
  uart_.Out(0x3FC, 0x02);
  EXPECT_EQ(fake_.modemOut, TIOCM_RTS);
  uart_.Out(0x3FC, 0x02);  // unchanged: no call
  EXPECT_EQ(fake_.calls,
            (Calls{"mbis " + std::to_string(TIOCM_DTR), "mbis " + std::to_string(TIOCM_RTS),
                   "mbic " + std::to_string(TIOCM_DTR)}));
  EXPECT_EQ(uart_.In(0x3FC), 0x02);
}

TEST_F(TtyUartTest, LineControlBitSixHoldsBreak) {
  uart_.Out(0x3FB, 0x03 | 0x40);
  EXPECT_TRUE(fake_.inBreak);
  uart_.Out(0x3FB, 0x03);
  EXPECT_FALSE(fake_.inBreak);
  EXPECT_EQ(fake_.calls, (Calls{"sbrk", "cbrk"}));  // the word format stayed: no tcsetattr
}

TEST_F(TtyUartTest, ModemStatusFollowsCtsWithChangeBit) {
  EXPECT_EQ(uart_.In(0x3FE) & 0x11, 0x00);
  fake_.modemIn = TIOCM_CTS;
  EXPECT_EQ(uart_.In(0x3FE) & 0x11, 0x11);
  EXPECT_EQ(uart_.In(0x3FE) & 0x11, 0x10);
  fake_.modemIn = TIOCM_CAR;
  EXPECT_EQ(uart_.In(0x3FE), 0x80 | 0x08 | 0x01);
}

TEST_F(TtyUartTest, DivisorAndWordFormatBecomeLineSettingsWhenLatchCloses) {
  uart_.Out(0x3FB, 0x9F);
  uart_.Out(0x3F8, 12);
  uart_.Out(0x3F9, 0);
  EXPECT_TRUE(fake_.calls.empty());  // nothing applied while the latch is open
  EXPECT_EQ(uart_.In(0x3F8), 12);
  uart_.Out(0x3FB, 0x1F);
  EXPECT_EQ(fake_.calls, (Calls{"tcsetattr"}));
  EXPECT_EQ(cfgetospeed(&fake_.attrs), B9600);
  EXPECT_EQ(fake_.attrs.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB),
            tcflag_t{CS8 | PARENB | CSTOPB});

  uart_.Out(0x3FB, 0x80);
  uart_.Out(0x3F8, 1);
  uart_.Out(0x3FB, 0x0A);  // 7 data bits, odd parity, 1 stop bit
  EXPECT_EQ(cfgetospeed(&fake_.attrs), B115200);
  EXPECT_EQ(fake_.attrs.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB),
            tcflag_t{CS7 | PARENB | PARODD});
}

TEST_F(TtyUartTest, DataAndLineStatusGoThroughTheQueues) {
  uart_.Out(0x3FB, 0x1F);
  EXPECT_EQ(uart_.In(0x3FD), 0x60);  // nothing waiting, output queue empty
  uart_.Out(0x3F8, 0xC1);
  EXPECT_EQ(fake_.written, (std::vector<unsigned char>{0xC1}));
  fake_.outputQueued = 1;
  fake_.input = {0x3B};
  EXPECT_EQ(uart_.In(0x3FD), 0x01);
  EXPECT_EQ(uart_.In(0x3F8), 0x3B);
  EXPECT_EQ(uart_.In(0x3F8), 0x3B);  // the receive register keeps the last byte
  uart_.Out(0x3FF, 0x5A);
  EXPECT_EQ(uart_.In(0x3FF), 0x5A);
  EXPECT_EQ(uart_.In(0x2F8), 0xFF);
  EXPECT_EQ(uart_.In(0x3FA), 0x01);
  uart_.Out(0x3FA, 0xC7);
  EXPECT_EQ(uart_.In(0x3FA), 0xC1);
}

TEST(TtyBackendTest, SessionAndModeBurstShareTheDevice) {
  FakeSerialSyscalls fake;
  VirtualClock clock;
  TtyBackend backend("/dev/ttyUSB0", fake, clock);
  SilentSessionReporter reporter;
  PortSession session(backend, reporter, [] {
    SessionSettings settings;
    settings.avrPicCom = 1;
    return settings;
  });

  ASSERT_TRUE(session.OpenPort("avr/pic"));
  EXPECT_EQ(backend.Uart().Base(), 0x2F8);
  EXPECT_EQ(cfgetospeed(&fake.attrs), B9600);
  EXPECT_NE(fake.attrs.c_cflag & PARENB, 0u);
  session.SetRTS(1);
  session.ClosePort();
  EXPECT_EQ(fake.attrs.c_cflag & PARENB, 0u);  // back to the 8N1 found at open
  EXPECT_EQ(fake.modemOut, TIOCM_RTS);         // lines stay as left

  CommPort& comm = backend.Comm();
  comm.CommSetPortName(backend.DeviceForCom(1));
  ASSERT_TRUE(comm.CommConnect());  // takes the device from the UART
  EXPECT_FALSE(backend.Uart().DeviceOpen());
  EXPECT_TRUE(comm.CommSendByte(0x97));
  ASSERT_TRUE(session.OpenPort("avr/pic"));  // and back
  EXPECT_FALSE(comm.CommConnected());
  EXPECT_TRUE(backend.Uart().DeviceOpen());
}

}  // namespace
}  // namespace vexilo::port::testing
