#pragma once
#include <cstdint>

#include "port/clock.h"

namespace vexilo::port {

// A clock for the simulator: nothing waits, time only moves forward when something spends it.
// Sleeps advance it at once; the simulated hardware advances it for each port access, so the
// total is an estimate of what the same work takes on real hardware.
class VirtualClock final : public Clock {
 public:
  // `yieldNs`: what one give-up of the time slice costs on an idle machine.
  explicit VirtualClock(uint64_t yieldNs = 1000) : yieldNs_(yieldNs) {}

  void SleepMs(unsigned ms) override { nowNs_ += uint64_t{ms} * 1000000; }
  void Yield() override { nowNs_ += yieldNs_; }
  uint64_t NowUs() const override { return nowNs_ / 1000; }
  uint64_t NowNs() const override { return nowNs_; }

  void Advance(uint64_t ns) { nowNs_ += ns; }

 private:
  uint64_t nowNs_ = 0;
  uint64_t yieldNs_;
};

}  // namespace vexilo::port
