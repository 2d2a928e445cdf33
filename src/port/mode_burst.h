#pragma once
#include "port/clock.h"
#include "port/comm_port.h"

namespace vexilo::port {

// The count of 0x8B bytes per group that switches the two-mode adapter.
constexpr int kPhoenixModeBurst = 30;
constexpr int kAvrModeBurst = 40;
constexpr int kPicModeBurst = 50;

// The adapter mode switch burst on an open `comm`: 5 groups of 0x97, 0x25, `count` x 0x8B,
// each drained to the line and followed by 50 ms of silence. True when every byte was sent.
bool SendModeBurst(CommPort& comm, Clock& clock, int count);

}  // namespace vexilo::port
