#pragma once
#include <cstdint>

#include "port/port_session.h"

namespace vexilo::avr {

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
// the low byte matched.
bool FlashWordMatches(port::PortSession& session, uint32_t word, uint16_t expected);

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
