#include "app/progress_estimate.h"

#include <gtest/gtest.h>

#include <vector>

namespace vexilo::app {
namespace {

// A transfer of 1000 items, 100 ms each: reported one by one (a port that makes each item
// alone), or 100 at a time when each batch of a USB transfer arrives. Either way the whole is
// estimated at 100 s and announced once time has moved on after the first report.
TEST(ProgressEstimate, BatchesOfItemsAtOneTimeCountAsOneReport) {
  struct Case {
    const char* name;
    uint32_t itemsPerReport;
  };
  for (const Case& c : {Case{"one by one", 1}, Case{"in batches", 100}}) {
    ProgressEstimate estimate;
    estimate.Update(0, 1000, 0);
    std::vector<uint64_t> totals;
    int announcements = 0;
    for (uint32_t done = c.itemsPerReport; done <= 300; done += c.itemsPerReport) {
      for (uint32_t item = done - c.itemsPerReport + 1; item <= done; ++item) {
        estimate.Update(item, 1000, uint64_t{done} * 100'000);
        if (auto line = estimate.Announcement(1.0, "port")) {
          ++announcements;
          totals.push_back(*estimate.TotalUs());
          EXPECT_EQ(*line, "Estimated time: 2 min (1.0 us per line change on port)") << c.name;
        }
      }
    }
    EXPECT_EQ(announcements, 1) << c.name;
    ASSERT_EQ(totals.size(), 1u) << c.name;
    EXPECT_EQ(totals[0], 100'000'000u) << c.name;
  }
}

}  // namespace
}  // namespace vexilo::app
