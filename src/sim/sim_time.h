#pragma once
#include <cstdint>

namespace vexilo::sim {

// Simulated time in nanoseconds since the simulation started.
using SimTime = uint64_t;

constexpr SimTime kUs = 1000;
constexpr SimTime kMs = 1000 * kUs;

}  // namespace vexilo::sim
