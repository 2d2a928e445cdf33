#pragma once
#include <cstdint>

namespace vexilo::port {

// Byte-wide access to I/O ports, as the processor's IN and OUT instructions do it. The
// 16550 registers of a COM port are at base + 0 .. base + 7.
class PortIo {
 public:
  virtual ~PortIo() = default;
  virtual uint8_t In(uint16_t port) = 0;
  virtual void Out(uint16_t port, uint8_t value) = 0;
};

// Reads 0xFF and drops writes: no UART at all.
class NullPortIo final : public PortIo {
 public:
  uint8_t In(uint16_t) override { return 0xFF; }
  void Out(uint16_t, uint8_t) override {}
};

}  // namespace vexilo::port
