#pragma once
#include <cstdint>
#include <string>

namespace vexilo::port {

// Which bit-bang pin of the FTDI chip carries each of the adapter's lines, and whether the
// cable inverts it. The default is an FTDI USB-RS232 cable on an FT232R: D0 TXD, D2 RTS#,
// D3 CTS#, D4 DTR#, each behind the cable's RS-232 transceiver, which inverts every line
// (an asserted DTR, RTS or CTS and a TX break are low at the pin). "Inverted" means just that:
// the line asserted, or TX in break, is a low pin.
//
// As text, one "line=pin" per line, a '!' before the pin number for an inverted line:
// "tx=!0 rts=!2 cts=!3 dtr=!4" (the default).
struct FtdiPinMap {
  struct Pin {
    uint8_t bit;
    bool inverted;
  };
  Pin tx{0, true};
  Pin rts{2, true};
  Pin cts{3, true};
  Pin dtr{4, true};

  // The pins driven in bit-bang mode.
  uint8_t OutputMask() const;
  // The byte that puts the lines in this state (true = asserted, `txBreak` = TX at space).
  uint8_t Pins(bool dtr, bool rts, bool txBreak) const;
  // CTS asserted in a byte read back from the pins.
  bool CtsAsserted(uint8_t pins) const;
  std::string Text() const;
};

// Parses the text form; throws std::invalid_argument naming what is wrong (an unknown line, a
// pin outside 0 .. 7, a line missing or given twice, two lines on one pin).
FtdiPinMap ParseFtdiPinMap(const std::string& text);

}  // namespace vexilo::port
