#pragma once
#include <cstdint>

namespace vexilo::sim {

// Six-bit serial programming commands of the PIC16F8X and PIC16F87X, as Microchip's
// programming specifications (DS30262, DS39025) number them. Bits are clocked LSB first.
namespace pic_command {
constexpr uint8_t kLoadConfiguration = 0x00;       // 000000 + data frame
constexpr uint8_t kBulkEraseSetup1 = 0x01;         // 000001
constexpr uint8_t kLoadProgramData = 0x02;         // 000010 + data frame
constexpr uint8_t kLoadDataMemory = 0x03;          // 000011 + data frame
constexpr uint8_t kReadProgramData = 0x04;         // 000100 + data frame out
constexpr uint8_t kReadDataMemory = 0x05;          // 000101 + data frame out
constexpr uint8_t kIncrementAddress = 0x06;        // 000110
constexpr uint8_t kBulkEraseSetup2 = 0x07;         // 000111
constexpr uint8_t kBeginEraseProgramming = 0x08;   // 001000
constexpr uint8_t kBulkEraseProgramMemory = 0x09;  // 001001
constexpr uint8_t kBulkEraseDataMemory = 0x0B;     // 001011
constexpr uint8_t kBeginProgrammingOnly = 0x18;    // 011000

constexpr uint64_t Bit(uint8_t code) { return uint64_t{1} << code; }
}  // namespace pic_command

}  // namespace vexilo::sim
