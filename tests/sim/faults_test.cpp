#include "sim/card/faults.h"

#include <gtest/gtest.h>

namespace vexilo::sim {
namespace {

TEST(Faults, EachNameLandsWhereItActs) {
  const SimFaults f = ParseFaultList(
      "no-card,no-echo,silent-after=20,slow-chip,stuck-bit=0x1F:3:1,no-loader,wrong-atr");
  EXPECT_TRUE(f.noCard);
  EXPECT_TRUE(f.noEcho);
  EXPECT_EQ(f.phoenix.silentAfter, 20u);
  EXPECT_TRUE(f.phoenix.noLoader);
  EXPECT_TRUE(f.phoenix.wrongAtr);
  EXPECT_GT(f.chip.writeTimeFactor, 1.0);
  ASSERT_TRUE(f.chip.stuck);
  EXPECT_EQ(f.chip.stuck->byteAddress, 0x1Fu);
  EXPECT_EQ(f.chip.stuck->bit, 3);
  EXPECT_TRUE(f.chip.stuck->stuckValue);
}

TEST(Faults, NoneByDefault) {
  const SimFaults f = ParseFaultList("");
  EXPECT_FALSE(f.noCard || f.noEcho || f.phoenix.noLoader || f.phoenix.wrongAtr);
  EXPECT_FALSE(f.phoenix.silentAfter);
  EXPECT_FALSE(f.chip.stuck);
  EXPECT_EQ(f.chip.writeTimeFactor, 1.0);
}

TEST(Faults, StuckBitValueDefaultsToZeroAndAddressMayBeDecimal) {
  const std::vector<std::string> entries{"stuck-bit=100:7"};
  const SimFaults f = ParseFaults(entries);
  ASSERT_TRUE(f.chip.stuck);
  EXPECT_EQ(f.chip.stuck->byteAddress, 100u);
  EXPECT_EQ(f.chip.stuck->bit, 7);
  EXPECT_FALSE(f.chip.stuck->stuckValue);
}

TEST(Faults, BadEntriesAreClearErrors) {
  const auto message = [](const char* list) -> std::string {
    try {
      ParseFaultList(list);
    } catch (const FaultError& e) {
      return e.what();
    }
    return "no error";
  };
  EXPECT_NE(message("no-such").find("unknown fault 'no-such'"), std::string::npos);
  EXPECT_NE(message("no-such").find("no-echo"), std::string::npos) << "lists the known names";
  for (const char* bad :
       {"silent-after", "silent-after=", "silent-after=x", "silent-after=-1", "no-echo=1",
        "stuck-bit=10", "stuck-bit=10:8", "stuck-bit=10:1:2", "stuck-bit=0x:1", "stuck-bit=1:2:1:0",
        "silent-after=99999999999", "no-echo,,no-card", "NO-ECHO"}) {
    EXPECT_THROW(ParseFaultList(bad), FaultError) << bad;
  }
}

}  // namespace
}  // namespace vexilo::sim
