#pragma once
#include <cstdint>

#include "port/clock.h"

namespace vexilo::port {

// Wall-clock time for real hardware: millisecond sleeps, one sched_yield per Yield (the
// give-up of the time slice that makes the bit clock), a monotonic time base.
class RealClock final : public Clock {
 public:
  void SleepMs(unsigned ms) override;
  void Yield() override;
  uint64_t NowUs() const override;
  uint64_t NowNs() const override;
};

}  // namespace vexilo::port
