#include <pty.h>
#include <unistd.h>

#include <fstream>

#include "cli_runner.h"

namespace vexilo::cli {
namespace {

class CliPortsTest : public CliTest {
 protected:
  void SetUp() override {
    std::ofstream(dir.Path("config.cfg")) << "[Auto mode]\nmode=1\n";
    if (openpty(&master_, &slave_, ptyName_, nullptr, nullptr) != 0) ptyName_[0] = '\0';
  }
  void TearDown() override {
    if (ptyName_[0] != '\0') {
      close(master_);
      close(slave_);
    }
  }
  int master_ = -1, slave_ = -1;
  char ptyName_[256] = {};
};

// Devices a real port cannot be: each refused with a line naming the device and the reason,
// and a run that fails.
TEST_F(CliPortsTest, DevicesThatCannotBeTheAdapterFailTheRunWithTheReason) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{"--port", "tty", "--device", "/nonexistent/ttyUSB9", "port", "open"},
       1,
       "/nonexistent/ttyUSB9: cannot open: No such file or directory"},
      {{"--port", "tty", "--device", dir.Path(""), "port", "open"}, 1, "not a serial device"},
      {{"--port", "tty", "--device", "/dev/null", "port", "open"}, 1, "not a serial device"},
      {{"--port", "tty", "--device", ptyName_, "--card", "wafer", "read", "flash"},
       1,
       "no modem lines"},
      {{"--port", "tty", "--device", "/nonexistent/ttyUSB9", "burst", "avr"},
       1,
       "Adapter mode switch to AVR not sent: /nonexistent/ttyUSB9: cannot open"},
      {{"--port", "tty", "--device", "/nonexistent/ttyUSB9", "--card", "fun", "read", "flash"},
       1,
       "Adapter mode switch to AVR not sent"},
      {{"--port", "io", "--io-base", "0xZZ", "port", "open"}, 2, "not an I/O base"},
      {{"--list-ports"}, 0, ""},
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    const std::string all = r.out + r.err;
    EXPECT_EQ(r.status, c.status) << c.args.back() << "\n" << all;
    EXPECT_NE(all.find(c.says), std::string::npos) << all;
    EXPECT_EQ(all.find("PIC READ FLASH : STOP"), std::string::npos) << "nothing was read";
  }
}

TEST_F(CliPortsTest, TheStatusBarTextsGoToStderr) {
  const Result r = Run({"port", "open", "line", "dtr", "on", "cts", "port", "close"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("status: Port[3F8]:Open\nstatus: Port: Com:OK\n"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("status: Port: Com:Free"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vexilo::cli
