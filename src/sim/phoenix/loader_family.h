#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "sim/phoenix/eeprom_bus.h"

namespace vexilo::sim {

// The three card loaders: one for the AVR cards (24C64 .. 24C512), one for the PIC16F84 card
// (24C16) and one for the PIC16F876 card (24C64, 24C128).
enum class LoaderFamily { Avr, Pic16F84, Pic16F876 };

// One loader's answers, as data for the one command engine (loader_model.h).
//
// Every command is a T=0 style header CLA INS P1 P2 P3: class 0xC1, instruction, EEPROM
// address high and low, length. A header the loader accepts is answered with the procedure
// byte ACK = INS; then the data flows (card to reader for a read, reader to card for a write);
// then the status. A header it refuses gets the status at once, with no procedure byte.
//
//   family      read INS  write INS  P3                          status
//   avr         0x22      0x20       data bytes (1..64)          90 00
//   pic16f84    0x21      0x22       data bytes (1..16)          90 00
//   pic16f876   0x01      0x02       data bytes + 1 (2..0x21)    90
//
// The PIC16F876 loader counts a check byte in P3: the exclusive-or of the data bytes follows
// the data in both directions. A read ends with that check byte and has no status; a write
// whose check byte is wrong is not carried out.
// Refusals (the status cut to the family's status length): wrong class 6E 00, unknown
// instruction 6D 00, bad length 67 00, wrong check byte 6A 80, EEPROM not answering 65 81.
//
// ATRs (direct convention, TS = 0x3B, all T=0 at Fi 372 / Di 1, 9600 baud at 3.5795 MHz):
//   avr        3B 13 11 56 58 41                TA1 = 11, historical "VXA"
//   pic16f84   3B 93 11 80 1F 03 56 58 46 56    TA1 = 11, TD1 = 80 (T=0), TD2 = 1F (T=15),
//                                               TA3 = 03 (classes A and B), "VXF", TCK 56
//   pic16f876  3B 01 56                         no interface bytes, historical "V"
// The reader recognises a loader by byte 0 or 1 of the ATR: 0x3B for the first two, 0x01
// (T0 of the PIC16F876 loader's ATR) for the third.
struct LoaderSpec {
  LoaderFamily family;
  std::string_view name;  // in the loader marker (loader_marker.h): "avr", "pic16f84" ...
  std::span<const uint8_t> atr;
  uint8_t atrMark;      // the byte the reader looks for at ATR byte 0 or 1
  uint8_t readIns;      // read block: data from the EEPROM to the reader
  uint8_t writeIns;     // write block: data from the reader into the EEPROM
  uint8_t maxData;      // the largest block of data bytes the loader's RAM holds
  bool checkByte;       // P3 counts a trailing exclusive-or check byte of the data
  uint8_t statusBytes;  // 2: SW1 SW2; 1: SW1 only
  I2cAddressing addressing;
};

constexpr uint8_t kLoaderClass = 0xC1;

std::span<const LoaderSpec> LoaderSpecs();
const LoaderSpec& SpecFor(LoaderFamily family);
std::optional<LoaderFamily> LoaderFamilyFromName(std::string_view name);

// An ATR no loader sends, for the wrong-ATR fault: a card in the inverse convention
// (TS = 0x3F, T0 = 02, historical "EX"), as the reader's direct-convention UART receives it:
// 03 BF 5D E5.
std::span<const uint8_t> ForeignAtr();

// A byte in the inverse convention as a direct-convention receiver sees it (bits in the
// opposite order and inverted).
constexpr uint8_t InverseConvention(uint8_t value) {
  uint8_t reversed = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (value & (1u << bit)) reversed |= uint8_t(0x80u >> bit);
  }
  return uint8_t(~reversed);
}

}  // namespace vexilo::sim
