#include "avr/chip_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vexilo::avr {
namespace {

TEST(ChipTable, EveryChipHasOneConsistentRow) {
  std::set<std::string> names;
  int index = 0;
  for (const AvrChipRow& row : ChipRows()) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(static_cast<int>(row.chip), index++) << "rows in the order of AvrChip";
    EXPECT_EQ(&ChipRow(row.chip), &row);
    EXPECT_TRUE(names.insert(row.name).second);
    // Sizes are powers of two that the two address bytes of an instruction reach.
    EXPECT_GT(row.flashWords, 0u);
    EXPECT_EQ(row.flashWords & (row.flashWords - 1), 0u);
    EXPECT_LE(row.flashWords, 65536u);
    EXPECT_EQ(row.eepromBytes & (row.eepromBytes - 1), 0u);
    EXPECT_GT(row.eepromBytes, 0u);
  }
  EXPECT_EQ(index, 4);
}

}  // namespace
}  // namespace vexilo::avr
