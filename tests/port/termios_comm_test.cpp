#include "port/termios_comm.h"

#include <gtest/gtest.h>

#include "port/fake_serial.h"
#include "port/virtual_clock.h"

namespace vexilo::port::testing {
namespace {

using Calls = std::vector<std::string>;

class TermiosCommTest : public ::testing::Test {
 protected:
  FakeSerialSyscalls fake_;
  VirtualClock clock_;
  TermiosComm comm_{fake_, clock_, "/dev/ttyUSB0"};
};

TEST_F(TermiosCommTest, OpensExclusivelyAt9600EvenTwoStopWithoutHandshake) {
  ASSERT_TRUE(comm_.CommConnect());
  EXPECT_TRUE(comm_.CommConnected());
  EXPECT_NE(fake_.calls.front().find("open"), std::string::npos);
  EXPECT_EQ(fake_.calls, (Calls{"open /dev/ttyUSB0", "excl", "setfl block", "tcsetattr",
                                "mbic " + std::to_string(TIOCM_DTR | TIOCM_RTS),
                                "flush " + std::to_string(TCIOFLUSH)}));
  EXPECT_NE(fake_.openFlags & O_NOCTTY, 0);
  EXPECT_EQ(fake_.modemOut, 0);  // DTR and RTS down again right after the open

  const termios& t = fake_.attrs;
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_EQ(cfgetispeed(&t), B9600);
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
  EXPECT_NE(t.c_cflag & PARENB, 0u);
  EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR | CRTSCTS), 0u);
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_cflag & (CLOCAL | CREAD), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK | ICRNL), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);

  fake_.calls.clear();
  EXPECT_TRUE(comm_.CommConnect());  // already open
  EXPECT_TRUE(fake_.calls.empty());
}

TEST_F(TermiosCommTest, NameChangesOnlyWhileClosedAndMissingDeviceFails) {
  comm_.CommSetPortName("/dev/ttyS3");
  EXPECT_FALSE(comm_.CommConnect());
  EXPECT_FALSE(comm_.CommConnected());
  comm_.CommSetPortName("/dev/ttyUSB0");
  ASSERT_TRUE(comm_.CommConnect());
  comm_.CommSetPortName("/dev/ttyS3");
  EXPECT_EQ(comm_.PortName(), "/dev/ttyUSB0");
}

TEST_F(TermiosCommTest, SendsOneByteOrGivesUpAfterOutputTimeout) {
  EXPECT_FALSE(comm_.CommSendByte(0x97));  // not open
  ASSERT_TRUE(comm_.CommConnect());
  EXPECT_TRUE(comm_.CommSendByte(0x97));
  EXPECT_EQ(fake_.written, (std::vector<unsigned char>{0x97}));
  fake_.writable = false;
  EXPECT_FALSE(comm_.CommSendByte(0x25));
  EXPECT_EQ(fake_.lastPollTimeoutMs, 500);
  EXPECT_EQ(fake_.written.size(), 1u);
}

TEST_F(TermiosCommTest, CloseWaitsForQueuedBytesButNotForever) {
  ASSERT_TRUE(comm_.CommConnect());
  fake_.outputQueued = 3;  // a line that never drains
  comm_.CommDisconnect();
  EXPECT_FALSE(comm_.CommConnected());
  EXPECT_EQ(fake_.openFd, -1);
  EXPECT_GE(clock_.NowUs(), 500000u);
  EXPECT_LT(clock_.NowUs(), 510000u);
}

}  // namespace
}  // namespace vexilo::port::testing
