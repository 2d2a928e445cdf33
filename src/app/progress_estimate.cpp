#include "app/progress_estimate.h"

#include <cstdio>

namespace vexilo::app {

void ProgressEstimate::Update(uint32_t position, uint32_t maximum, uint64_t nowUs) {
  if (position == 0 || !started_) {
    started_ = true;
    announced_ = position != 0;  // joined in the middle: no announcement
    startUs_ = nowUs;
    elapsedUs_ = 0;
    remainingUs_.reset();
    totalUs_.reset();
    last_ = settled_ = {};
    if (position == 0) return;
  }
  elapsedUs_ = nowUs - startUs_;
  // Items that arrive together (a batch of one USB transfer) are reported one by one at one
  // time: the rate is taken from the last report of the previous time, once there is one.
  if (elapsedUs_ != last_.elapsedUs && last_.position != 0) settled_ = last_;
  last_ = {position, elapsedUs_};
  if (maximum == 0 || position > maximum) return;
  const Report& basis = settled_.position != 0 ? settled_ : last_;
  const double perItem = static_cast<double>(basis.elapsedUs) / basis.position;
  remainingUs_ = static_cast<uint64_t>(perItem * (maximum - position));
  totalUs_ = static_cast<uint64_t>(perItem * maximum);
}

std::optional<std::string> ProgressEstimate::Announcement(double lineCallUs,
                                                          const std::string& portName) {
  if (announced_ || !totalUs_ || lineCallUs <= 0 || settled_.position == 0) return std::nullopt;
  announced_ = true;
  if (*totalUs_ <= kAnnounceUs) return std::nullopt;
  char perCall[32];
  if (lineCallUs >= 1000) {
    std::snprintf(perCall, sizeof perCall, "%.1f ms", lineCallUs / 1000);
  } else {
    std::snprintf(perCall, sizeof perCall, "%.1f us", lineCallUs);
  }
  return "Estimated time: " + DurationText(*totalUs_) + " (" + perCall + " per line change on " +
         portName + ")";
}

std::string DurationText(uint64_t us) {
  const uint64_t seconds = (us + 500'000) / 1'000'000;
  char text[32];
  if (seconds < 60) {
    std::snprintf(text, sizeof text, "%llu s", static_cast<unsigned long long>(seconds));
  } else if (seconds < 3600) {
    std::snprintf(text, sizeof text, "%llu min",
                  static_cast<unsigned long long>((seconds + 30) / 60));
  } else {
    const uint64_t minutes = (seconds + 30) / 60;
    std::snprintf(text, sizeof text, "%llu h %02llu min",
                  static_cast<unsigned long long>(minutes / 60),
                  static_cast<unsigned long long>(minutes % 60));
  }
  return text;
}

}  // namespace vexilo::app
