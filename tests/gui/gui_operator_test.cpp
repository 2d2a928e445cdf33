#include "gui/gui_operator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace vexilo::gui {
namespace {

using std::chrono::milliseconds;
using Time = std::chrono::steady_clock::time_point;

// The longest gap between two repaints, from the first call to the last.
milliseconds LongestGap(std::vector<Time> times, Time start, Time end) {
  times.insert(times.begin(), start);
  times.push_back(end);
  milliseconds longest{0};
  for (size_t i = 1; i < times.size(); ++i) {
    longest = std::max(longest, std::chrono::duration_cast<milliseconds>(times[i] - times[i - 1]));
  }
  return longest;
}

// The memory loops report the address and the progress of each item in turn, in either order:
// both the bar and the label repaint about every 40 ms of the throttle's clock.
TEST(GuiOperator, ProgressAndAddressReportedInTurnBothRepaint) {
  for (bool addressFirst : {true, false}) {
    SCOPED_TRACE(addressFirst ? "address first" : "progress first");
    QObject home;
    Dialogs dialogs;
    GuiOperator op(&home, dialogs);
    Time now{};
    op.SetClock([&] { return now; });
    std::vector<Time> bar, label;
    QString lastLabel;
    QObject::connect(&op, &GuiOperator::ProgressChanged, [&](quint32 position, quint32 maximum) {
      if (position > 0 && position < maximum) bar.push_back(now);
    });
    QObject::connect(&op, &GuiOperator::AddressChanged, [&](const QString& text) {
      label.push_back(now);
      lastLabel = text;
    });

    const Time start = now;
    constexpr uint32_t kItems = 20000;  // 2 s of 100 us items
    for (uint32_t i = 1; i < kItems; ++i) {
      const std::string address = ":" + std::to_string(i);
      if (addressFirst) op.SetAddress(address);
      op.SetProgress(i, kItems);
      if (!addressFirst) op.SetAddress(address);
      now += std::chrono::microseconds(100);
    }
    EXPECT_GE(bar.size(), 45u);
    EXPECT_GE(label.size(), 45u);
    EXPECT_LE(LongestGap(bar, start, now), milliseconds(45));
    EXPECT_LE(LongestGap(label, start, now), milliseconds(45));
    op.Flush();
    EXPECT_EQ(lastLabel, ":" + QString::number(kItems - 1)) << "the last value always arrives";
  }
}

}  // namespace
}  // namespace vexilo::gui
