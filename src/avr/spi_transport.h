#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <utility>

#include "port/port_session.h"

namespace vexilo::avr {

using SpiBytes = std::array<uint8_t, 4>;

// The line program of one byte exchange, most significant bit first: for each bit DTR to the
// bit, RTS (the clock) up, CTS read, RTS down, with `delay` clock delays after each change;
// then one more delay.
void AppendSpiByte(port::LineProgram& program, uint8_t value, unsigned delay);

// Queues one instruction on the session; `done` gets the byte of the fourth exchange once it
// has been made. Lines that batch may hold it until a result is needed.
void QueueSpiInstruction(port::PortSession& session, const SpiBytes& bytes,
                         std::function<void(uint8_t)> done = {});

// The same with a 16-bit address in the second and third byte, high byte first.
inline void QueueSpiAddressed(port::PortSession& session, uint8_t code, uint32_t address,
                              uint8_t data, std::function<void(uint8_t)> done = {}) {
  QueueSpiInstruction(
      session, {code, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), data},
      std::move(done));
}

// One four-byte serial programming instruction; returns the byte the chip shifted out during
// the fourth exchange (the data of a read instruction).
uint8_t SpiInstruction(port::PortSession& session, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4);

// The same with a 16-bit address in the second and third byte, high byte first.
inline uint8_t SpiAddressed(port::PortSession& session, uint8_t code, uint32_t address,
                            uint8_t data) {
  return SpiInstruction(session, code, static_cast<uint8_t>(address >> 8),
                        static_cast<uint8_t>(address), data);
}

// Reads program memory word `word` back, the low byte first; the high byte is only read when
// the low byte matched (where the session packs instructions, both are read in one go).
bool FlashWordMatches(port::PortSession& session, uint32_t word, uint16_t expected);

// The first word of `first` .. `end` - 1 that differs from `expected` (which starts at
// `first`), or `end`. Word by word as FlashWordMatches, or all read in one go where the
// session packs instructions.
uint32_t FirstFlashDifference(port::PortSession& session, uint32_t first, uint32_t end,
                              const uint16_t* expected);

// Queues the two reads of program memory word `word`; `cell` is filled in once they are made.
void QueueReadFlashWord(port::PortSession& session, uint32_t word, uint16_t& cell);

// Serial programming instruction codes.
namespace spi {
constexpr uint8_t kProgrammingEnable = 0xAC;  // 0xAC 0x53 0x00 0x00
constexpr uint8_t kEnableEcho = 0x53;
constexpr uint8_t kWriteConfig = 0xAC;  // erase, fuse and lock writes: 0xAC xx 0x00 d
constexpr uint8_t kChipErase = 0x80;
constexpr uint8_t kReadFlashLow = 0x20;
constexpr uint8_t kReadFlashHigh = 0x28;
constexpr uint8_t kLoadFlashLow = 0x40;
constexpr uint8_t kLoadFlashHigh = 0x48;
constexpr uint8_t kWriteFlashPage = 0x4C;
constexpr uint8_t kReadEeprom = 0xA0;
constexpr uint8_t kWriteEeprom = 0xC0;
constexpr uint8_t kWriteLock = 0xE0;
constexpr uint8_t kWriteFuseLow = 0xA0;
constexpr uint8_t kWriteFuseHigh = 0xA8;
constexpr uint8_t kWriteFuseExtended = 0xA4;
}  // namespace spi

}  // namespace vexilo::avr
