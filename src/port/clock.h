#pragma once
#include <cstdint>

namespace vexilo::port {

// Time source and pauses for the bit-banged protocols. Bit clocks are runs of Yield() (one
// give-up of the time slice each); fixed pauses and write delays are SleepMs().
class Clock {
 public:
  virtual ~Clock() = default;
  virtual void SleepMs(unsigned ms) = 0;
  virtual void Yield() = 0;
  // Microseconds since an arbitrary start; on a virtual clock the simulated time.
  virtual uint64_t NowUs() const = 0;
  // Nanoseconds, same origin; the simulator's resolution.
  virtual uint64_t NowNs() const { return NowUs() * 1000; }
};

}  // namespace vexilo::port
