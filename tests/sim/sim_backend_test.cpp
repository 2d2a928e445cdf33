#include "sim/backend/sim_backend.h"

#include <gtest/gtest.h>

#include "sim/fakes.h"

namespace vexilo::sim {
namespace {

using testing::MakeFakeCard;

SimBackend MakeBackend(int comIndex, testing::FakeCard& fake) {
  SimOptions options;
  options.comIndex = comIndex;
  return SimBackend(options, std::move(fake.card));
}

TEST(SimBackend, OnlyTheChosenBaseHasAUart) {
  for (int com = 0; com < 4; ++com) {
    auto fake = MakeFakeCard();
    SimOptions options;
    options.comIndex = com;
    SimBackend backend(options, std::move(fake.card));
    EXPECT_EQ(backend.Base(), kComBases[size_t(com)]);
    for (uint16_t base : kComBases) {
      backend.Io().Out(base + kScr, 0x42);
      const uint8_t expected = base == kComBases[size_t(com)] ? 0x42 : 0xFF;
      EXPECT_EQ(backend.Io().In(base + kScr), expected) << "COM" << com + 1 << " base " << base;
      EXPECT_EQ(backend.Io().In(base + kLsr), base == backend.Base() ? 0x60 : 0xFF);
    }
    EXPECT_EQ(backend.Io().In(backend.Base() + 8), 0xFF);
  }
}

TEST(SimBackend, EveryPortAccessCostsAboutAMicrosecond) {
  auto fake = MakeFakeCard();
  SimBackend backend({}, std::move(fake.card));
  const uint64_t start = backend.VirtualTime().NowNs();
  for (int i = 0; i < 1000; ++i) backend.Io().Out(0x3F8 + kMcr, uint8_t(i & 3));
  for (int i = 0; i < 500; ++i) backend.Io().In(0x2F8 + kMsr);
  EXPECT_EQ(backend.VirtualTime().NowNs() - start, 1500 * kIoAccessNs);
  EXPECT_EQ(backend.PortAccesses(), 1500u);
}

TEST(SimBackend, DescribesItselfAsADirectLinuxPort) {
  auto fake = MakeFakeCard();
  SimBackend backend({}, std::move(fake.card));
  EXPECT_EQ(backend.Mode(), port::SessionMode::Direct);
  EXPECT_EQ(backend.SystemLine(), "System : Linux");
  EXPECT_EQ(backend.DeviceForCom(0), "/dev/ttyS0");
  EXPECT_EQ(backend.DeviceForCom(3), "/dev/ttyS3");
  EXPECT_TRUE(backend.Permission().EnablePortRange(0x3F8));
  EXPECT_TRUE(backend.Permission().DisablePortRange(0x3F8));
}

TEST(SimBackend, CommOpensOnlyTheAdaptersDevice) {
  auto fake = MakeFakeCard();
  SimBackend backend = MakeBackend(1, fake);
  auto& comm = backend.Comm();
  EXPECT_FALSE(comm.CommSendByte(0x00)) << "not open";
  comm.CommSetPortName(backend.DeviceForCom(0));
  EXPECT_FALSE(comm.CommConnect());
  comm.CommSetPortName(backend.DeviceForCom(1));
  ASSERT_TRUE(comm.CommConnect());
  EXPECT_TRUE(comm.CommConnect()) << "already open";
  comm.CommSetPortName(backend.DeviceForCom(0));
  EXPECT_EQ(comm.PortName(), backend.DeviceForCom(1)) << "name kept while open";

  const uint64_t before = backend.VirtualTime().NowNs();
  EXPECT_TRUE(comm.CommSendByte(0x55));
  EXPECT_EQ(backend.VirtualTime().NowNs() - before, 1250 * kUs) << "one 9600 8E2 character";
  comm.CommDisconnect();
  EXPECT_FALSE(comm.CommConnected());
}

TEST(SimBackend, RejectsAPortThatIsNotCom1ToCom4) {
  auto fake = MakeFakeCard();
  SimOptions options;
  options.comIndex = 4;
  EXPECT_THROW(SimBackend(options, std::move(fake.card)), std::invalid_argument);
}

}  // namespace
}  // namespace vexilo::sim
