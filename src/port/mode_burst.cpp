#include "port/mode_burst.h"

#include <cstdint>

namespace vexilo::port {

namespace {

constexpr int kGroups = 5;
constexpr uint8_t kGroupStart[] = {151, 37};
constexpr uint8_t kFill = 139;
constexpr unsigned kGroupPauseMs = 50;

}  // namespace

bool SendModeBurst(CommPort& comm, Clock& clock, int count) {
  bool allSent = true;
  for (int group = 0; group < kGroups; ++group) {
    for (const uint8_t byte : kGroupStart) allSent = comm.CommSendByte(byte) && allSent;
    for (int i = 0; i < count; ++i) allSent = comm.CommSendByte(kFill) && allSent;
    // The pause is silence on the line only once the group has left it.
    allSent = comm.CommDrain() && allSent;
    clock.SleepMs(kGroupPauseMs);
  }
  return allSent;
}

}  // namespace vexilo::port
