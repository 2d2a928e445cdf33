#include "port/io_backend.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "port/fake_backend.h"
#include "port/fake_serial.h"
#include "port/port_session.h"
#include "support/temp_dir.h"

namespace vexilo::port::testing {
namespace {

std::vector<std::string> iopermCalls;
bool iopermAllowed = false;

int FakeIoperm(unsigned long from, unsigned long count, int turnOn) {
  iopermCalls.push_back(std::to_string(from) + "," + std::to_string(count) + "," +
                        std::to_string(turnOn));
  if (iopermAllowed) return 0;
  errno = EPERM;
  return -1;
}

TEST(IopermPermissionTest, GrantsAndWithdrawsTheTenUartPorts) {
  iopermCalls.clear();
  IopermPermission permission(&FakeIoperm);
  iopermAllowed = false;  // not root
  EXPECT_FALSE(permission.EnablePortRange(0x3F8));
  iopermAllowed = true;
  EXPECT_TRUE(permission.EnablePortRange(0x2E8));
  EXPECT_TRUE(permission.DisablePortRange(0x2E8));
  EXPECT_EQ(iopermCalls, (std::vector<std::string>{"1016,10,1", "744,10,1", "744,10,0"}));
}

TEST(IoBackendTest, ComDevicesAreConfigurable) {
  IoBackendConfig config;
  config.comDevices[2] = "/dev/ttyS9";
  IoBackend backend(config);
  EXPECT_EQ(backend.Mode(), SessionMode::OsHeld);
  EXPECT_EQ(backend.SystemLine(), "System : Linux");
  EXPECT_EQ(backend.DeviceForCom(0), "/dev/ttyS0");
  EXPECT_EQ(backend.DeviceForCom(2), "/dev/ttyS9");
  EXPECT_EQ(backend.DeviceForCom(4), "");
  EXPECT_EQ(backend.Comm().PortName(), "/dev/ttyS0");
}

// A 16550 whose scratch register keeps what is written, or an empty bus that reads 0xFF.
class ScratchIo final : public PortIo {
 public:
  explicit ScratchIo(uint16_t uartBase) : base_(uartBase) {}
  uint8_t In(uint16_t port) override { return port == base_ + 7 ? scratch_ : 0xFF; }
  void Out(uint16_t port, uint8_t value) override {
    if (port == base_ + 7) scratch_ = value;
    writes.push_back(port);
  }
  std::vector<uint16_t> writes;

 private:
  uint16_t base_;
  uint8_t scratch_ = 0;
};

// What a session on x86 port I/O says when it cannot run, and which base it uses.
TEST(IoBackendTest, SessionsFindTheBaseAndSayWhyTheyCannotRun) {
  test::TempDir sys;
  sys.Write("class/tty/ttyS4/type", "4\n");
  sys.Write("class/tty/ttyS4/port", "0xD050\n");
  sys.Write("class/tty/ttyS4/io_type", "0\n");
  struct Case {
    bool granted;
    uint16_t uartAt;
    std::string device;
    uint16_t base;
    std::string says;  // empty: the session opens
  };
  const Case cases[] = {
      {false, 0x3F8, "/dev/ttyS0", 0x3F8, "the capability CAP_SYS_RAWIO: run it as root (sudo)"},
      {true, 0xD050, "/dev/ttyS4", 0xD050, ""},
      {true, 0x3F8, "/dev/ttyS4", 0xD050, "x86 port I/O at 0xD050: no 16550 answers there"},
  };
  for (const Case& c : cases) {
    iopermAllowed = c.granted;
    ScratchIo io(c.uartAt);
    FakeSerialSyscalls calls;
    calls.devicePath = c.device;
    IoBackendConfig config;
    config.comDevices[0] = c.device;
    config.sysRoot = sys.Path("");
    IoBackend backend(config, io, &FakeIoperm, calls);
    RecordingReporter reporter;
    PortSession session(backend, reporter, [] { return SessionSettings{}; });
    EXPECT_EQ(session.OpenPort("avr/pic"), c.says.empty()) << c.device;
    EXPECT_EQ(session.PortBase(), c.base);
    std::string diagnostics;
    for (const std::string& e : reporter.events) diagnostics += e + "\n";
    if (!c.says.empty()) {
      EXPECT_NE(diagnostics.find(c.says), std::string::npos) << diagnostics;
      EXPECT_EQ(calls.modemOut, 0) << "no line driven";
    }
    if (!c.granted) {
      EXPECT_NE(diagnostics.find("setcap cap_sys_rawio+ep"), std::string::npos) << diagnostics;
      EXPECT_NE(diagnostics.find("panel2 Port: Mask:BAD"), std::string::npos) << diagnostics;
      EXPECT_TRUE(io.writes.empty()) << "no register touched without permission";
    }
    session.ClosePort();
  }
}

}  // namespace
}  // namespace vexilo::port::testing
