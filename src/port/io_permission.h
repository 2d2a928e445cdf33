#pragma once
#include <cstdint>

namespace vexilo::port {

// Grants and withdraws the calling process access to the ten ports base .. base + 9 of a
// UART (on Linux: ioperm).
class IoPermission {
 public:
  virtual ~IoPermission() = default;
  virtual bool EnablePortRange(uint16_t base) = 0;
  virtual bool DisablePortRange(uint16_t base) = 0;
};

}  // namespace vexilo::port
