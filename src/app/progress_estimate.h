#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace vexilo::app {

// Elapsed and remaining time of one long transfer, from the progress it reports: the time
// per item so far times the items left. Once time has moved on since the first item was done
// (items that arrive together, a batch of one USB transfer, count as one report), a transfer
// on a real port that will take longer than kAnnounceUs is announced with one line that names
// what a line change costs there.
class ProgressEstimate {
 public:
  static constexpr uint64_t kAnnounceUs = 30'000'000;

  // A progress report at clock time `nowUs`. Position 0 starts the transfer.
  void Update(uint32_t position, uint32_t maximum, uint64_t nowUs);
  uint64_t ElapsedUs() const { return elapsedUs_; }
  // Unknown until an item is done.
  std::optional<uint64_t> RemainingUs() const { return remainingUs_; }
  // The whole transfer's time, once the first item is done.
  std::optional<uint64_t> TotalUs() const { return totalUs_; }

  // The announcement, once per transfer: "Estimated time: 14 min (3.1 ms per line change on
  // /dev/ttyUSB0)", when the estimate exceeds kAnnounceUs and the port's line calls were
  // timed (`lineCallUs` > 0).
  std::optional<std::string> Announcement(double lineCallUs, const std::string& portName);

 private:
  bool started_ = false;
  bool announced_ = false;
  uint64_t startUs_ = 0;
  uint64_t elapsedUs_ = 0;
  struct Report {
    uint32_t position = 0;
    uint64_t elapsedUs = 0;
  };
  Report last_;     // the latest report
  Report settled_;  // the last report before time last moved on
  std::optional<uint64_t> remainingUs_;
  std::optional<uint64_t> totalUs_;
};

// "45 s", "14 min", "1 h 05 min".
std::string DurationText(uint64_t us);

}  // namespace vexilo::app
