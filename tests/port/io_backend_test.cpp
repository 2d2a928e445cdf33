#include "port/io_backend.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace vexilo::port::testing
