#include "port/mode_burst.h"

#include <gtest/gtest.h>

#include "port/fake_backend.h"

namespace vexilo::port::testing {
namespace {

TEST(ModeBurstTest, FiveGroupsWithTheModeCountAndAPauseAfterEach) {
  for (const auto& [count, bytes] :
       {std::pair{kPhoenixModeBurst, 160u}, std::pair{kAvrModeBurst, 210u},
        std::pair{kPicModeBurst, 260u}}) {
    FakeComm comm;
    VirtualClock clock;
    comm.clock = &clock;
    comm.CommConnect();
    EXPECT_TRUE(SendModeBurst(comm, clock, count));
    ASSERT_EQ(comm.sent.size(), bytes);
    const size_t group = bytes / 5;
    for (size_t g = 0; g < 5; ++g) {
      EXPECT_EQ(comm.sent[g * group], 151);
      EXPECT_EQ(comm.sent[g * group + 1], 37);
      for (size_t i = 2; i < group; ++i) ASSERT_EQ(comm.sent[g * group + i], 139);
      EXPECT_EQ(comm.sentAtUs[g * group], g * 50000);  // after g pauses of 50 ms
      EXPECT_EQ(comm.sentAtUs[g * group + group - 1], g * 50000);
    }
    EXPECT_EQ(clock.NowUs(), 250000u);
  }
}

TEST(ModeBurstTest, ClosedPortReportsBytesNotSent) {
  FakeComm comm;
  VirtualClock clock;
  EXPECT_FALSE(SendModeBurst(comm, clock, kAvrModeBurst));
  EXPECT_TRUE(comm.sent.empty());
}

}  // namespace
}  // namespace vexilo::port::testing
