#include "port/serial_device.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <algorithm>

#include "port/fake_serial.h"
#include "port/port_diagnostics.h"
#include "port/termios_comm.h"
#include "port/virtual_clock.h"

namespace vexilo::port::testing {
namespace {

using Calls = std::vector<std::string>;

TEST(SerialDeviceTest, OpenLowersTheLinesFirstThenHoldsTheDeviceRawWithoutHangUpOnClose) {
  FakeSerialSyscalls fake;
  fake.attrs.c_cflag |= HUPCL;
  SerialDevice device(fake, "/dev/ttyUSB0");
  ASSERT_TRUE(device.Open());
  EXPECT_EQ(fake.calls, (Calls{"open /dev/ttyUSB0", "mbic " + std::to_string(TIOCM_DTR | TIOCM_RTS),
                               "mget", "excl", "flock", "tcgetattr", "tcsetattr",
                               "flush " + std::to_string(TCIOFLUSH)}));
  EXPECT_EQ(fake.modemOut, 0);
  const termios& t = fake.attrs;
  EXPECT_EQ(t.c_cflag & HUPCL, 0u);  // closing leaves the lines as they are
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS),
            tcflag_t{CS8 | PARENB | CSTOPB});
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
  device.Close();
  EXPECT_EQ(fake.openFd, -1);
}

// Every way a device is refused, and what the person is told.
TEST(SerialDeviceTest, RefusedDevicesSayWhyAndWhatToDo) {
  struct Case {
    const char* what;
    void (*plant)(FakeSerialSyscalls&);
    const char* call;
    const char* advice;
  };
  const Case cases[] = {
      {"no permission", [](FakeSerialSyscalls& f) { f.openErrno = EACCES; }, "open", "dialout"},
      {"busy (open)", [](FakeSerialSyscalls& f) { f.openErrno = EBUSY; }, "open",
       "another program"},
      {"busy (flock)", [](FakeSerialSyscalls& f) { f.lockedElsewhere = true; }, "flock",
       "another program"},
      {"absent", [](FakeSerialSyscalls& f) { f.devicePath = "/dev/ttyUSB1"; }, "open",
       "serial devices here: /dev/ttyS0"},
      {"a directory", [](FakeSerialSyscalls& f) { f.openErrno = EISDIR; }, "open",
       "not a serial device"},
      {"a file or /dev/null",
       [](FakeSerialSyscalls& f) {
         f.failingIoctls[TIOCMBIC] = ENOTTY;
         f.isTty = false;
       },
       "tcgetattr", "not a serial device"},
      {"a pseudo-terminal", [](FakeSerialSyscalls& f) { f.failingIoctls[TIOCMBIC] = ENOTTY; },
       "TIOCMBIC", "no modem lines"},
      {"no modem status", [](FakeSerialSyscalls& f) { f.failingIoctls[TIOCMGET] = EINVAL; },
       "TIOCMGET", "no modem lines"},
  };
  for (const Case& c : cases) {
    FakeSerialSyscalls fake;
    c.plant(fake);
    SerialDevice device(fake, "/dev/ttyUSB0");
    EXPECT_FALSE(device.Open()) << c.what;
    EXPECT_FALSE(device.IsOpen()) << c.what;
    EXPECT_EQ(fake.openFd, -1) << c.what;
    ASSERT_NE(device.Fault(), nullptr) << c.what;
    EXPECT_EQ(device.Fault()->call, c.call) << c.what;
    const std::string text = ExplainDeviceFault(*device.Fault(), {"/dev/ttyS0"});
    EXPECT_EQ(text.rfind("/dev/ttyUSB0: ", 0), 0u) << text;
    EXPECT_NE(text.find(c.advice), std::string::npos) << c.what << ": " << text;
    // No line was driven on a refused device.
    for (const std::string& call : fake.calls) EXPECT_EQ(call.rfind("mbis", 0), std::string::npos);
  }
}

TEST(SerialDeviceTest, AVanishedDeviceIsReleasedAndOpensAgainByItsPath) {
  FakeSerialSyscalls fake;
  SerialDevice device(fake, "/dev/ttyUSB0");
  ASSERT_TRUE(device.Open());
  fake.failingIoctls[TIOCMGET] = EIO;
  EXPECT_FALSE(device.ModemStatus().has_value());
  ASSERT_NE(device.Fault(), nullptr);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_NE(ExplainDeviceFault(*device.Fault(), {}).find("unplugged"), std::string::npos);
  fake.failingIoctls.clear();
  ASSERT_TRUE(device.Open());
  EXPECT_EQ(device.Fault(), nullptr);
  EXPECT_TRUE(device.ModemStatus().has_value());
}

TEST(TermiosCommTest, SendsOneByteOrGivesUpAfterOutputTimeoutAndDrainsOnClose) {
  FakeSerialSyscalls fake;
  VirtualClock clock;
  SerialDevice device(fake, "/dev/ttyUSB0");
  TermiosComm comm(device, clock);
  EXPECT_FALSE(comm.CommSendByte(0x97));  // not open
  ASSERT_TRUE(comm.CommConnect());
  EXPECT_TRUE(comm.CommSendByte(0x97));
  EXPECT_EQ(fake.written, (std::vector<unsigned char>{0x97}));
  fake.writable = false;
  EXPECT_FALSE(comm.CommSendByte(0x25));
  EXPECT_EQ(fake.lastPollTimeoutMs, 500);
  comm.CommSetPortName("/dev/ttyS3");  // ignored while open
  EXPECT_EQ(comm.PortName(), "/dev/ttyUSB0");
  EXPECT_TRUE(comm.CommDrain());
  fake.outputQueued = 3;  // a line that never drains: no unbounded tcdrain
  fake.calls.clear();
  EXPECT_FALSE(comm.CommDrain());
  EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "drain"), 0);
  comm.CommDisconnect();
  EXPECT_FALSE(comm.CommConnected());
  EXPECT_GE(clock.NowUs(), 1000000u);
  EXPECT_LT(clock.NowUs(), 1020000u);
}

}  // namespace
}  // namespace vexilo::port::testing
