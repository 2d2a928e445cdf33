#pragma once
#include <cstdint>

#include "port/lines.h"
#include "port/port_io.h"

namespace vexilo::port {

// The adapter's lines on a 16550's registers: DTR and RTS in the modem control register,
// the TX line's break in the line control register (with the session's word format 8E2),
// CTS in the modem status register, the bytes through the data and line status registers.
// Each call is one register access.
class UartLines final : public Lines {
 public:
  static constexpr uint16_t kData = 0;
  static constexpr uint16_t kLineControl = 3;
  static constexpr uint16_t kModemControl = 4;
  static constexpr uint16_t kLineStatus = 5;
  static constexpr uint16_t kModemStatus = 6;
  static constexpr uint8_t kWordFormat8E2 = 0x1F;
  static constexpr uint8_t kBreak = 0x40;

  void Attach(PortIo& io, uint16_t base) {
    io_ = &io;
    base_ = base;
  }

  void SetModemLines(bool dtr, bool rts) override {
    io_->Out(Reg(kModemControl), static_cast<uint8_t>((dtr ? 0x01 : 0) | (rts ? 0x02 : 0)));
  }
  void SetBreak(bool on) override {
    io_->Out(Reg(kLineControl), static_cast<uint8_t>(kWordFormat8E2 | (on ? kBreak : 0)));
  }
  bool Cts() override { return (io_->In(Reg(kModemStatus)) & 0x10) != 0; }
  bool TransmitterEmpty() override { return (io_->In(Reg(kLineStatus)) & 0x40) != 0; }
  bool DataReady() override { return (io_->In(Reg(kLineStatus)) & 0x01) != 0; }
  void WriteByte(uint8_t value) override { io_->Out(Reg(kData), value); }
  uint8_t ReadByte() override { return io_->In(Reg(kData)); }

 private:
  uint16_t Reg(uint16_t offset) const { return static_cast<uint16_t>(base_ + offset); }

  PortIo* io_ = nullptr;
  uint16_t base_ = 0;
};

}  // namespace vexilo::port
