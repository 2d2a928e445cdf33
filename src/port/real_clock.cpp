#include "port/real_clock.h"

#include <sched.h>

#include <chrono>
#include <thread>

namespace vexilo::port {

void RealClock::SleepMs(unsigned ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void RealClock::Yield() { sched_yield(); }

uint64_t RealClock::NowUs() const { return NowNs() / 1000; }

uint64_t RealClock::NowNs() const {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count());
}

}  // namespace vexilo::port
