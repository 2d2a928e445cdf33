#include "port/ftdi/ftdi_pins.h"

#include <sstream>
#include <stdexcept>

namespace vexilo::port {
namespace {

uint8_t Bit(const FtdiPinMap::Pin& pin) { return static_cast<uint8_t>(1u << pin.bit); }

// The pin's level for a line that is asserted (`on`) or not.
uint8_t Level(const FtdiPinMap::Pin& pin, bool on) { return on != pin.inverted ? Bit(pin) : 0; }

std::string PinText(const char* name, const FtdiPinMap::Pin& pin) {
  return std::string(name) + "=" + (pin.inverted ? "!" : "") + std::to_string(pin.bit);
}

}  // namespace

uint8_t FtdiPinMap::OutputMask() const {
  return static_cast<uint8_t>(Bit(tx) | Bit(rts) | Bit(dtr));
}

uint8_t FtdiPinMap::Pins(bool dtrOn, bool rtsOn, bool txBreak) const {
  // TX "asserted" is the break: a space, the positive voltage on the cable like an asserted
  // DTR, and low at the pin of a UART (the idle mark is high).
  return static_cast<uint8_t>(Level(dtr, dtrOn) | Level(rts, rtsOn) | Level(tx, txBreak) |
                              (OutputMask() ^ 0xFF));
}

bool FtdiPinMap::CtsAsserted(uint8_t pins) const {
  return ((pins & Bit(cts)) != 0) != cts.inverted;
}

std::string FtdiPinMap::Text() const {
  return PinText("tx", tx) + " " + PinText("rts", rts) + " " + PinText("cts", cts) + " " +
         PinText("dtr", dtr);
}

FtdiPinMap ParseFtdiPinMap(const std::string& text) {
  FtdiPinMap map;
  std::istringstream words(text);
  std::string word;
  // Every line is named exactly once: a map that leaves one out would drive it from a pin
  // nobody chose, and a line given twice would quietly take its last pin.
  std::string given;
  while (words >> word) {
    const size_t eq = word.find('=');
    const std::string name = word.substr(0, eq);
    FtdiPinMap::Pin* pin = name == "tx"    ? &map.tx
                           : name == "rts" ? &map.rts
                           : name == "cts" ? &map.cts
                           : name == "dtr" ? &map.dtr
                                           : nullptr;
    std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
    const bool inverted = !value.empty() && value[0] == '!';
    if (inverted) value.erase(0, 1);
    if (pin == nullptr || value.size() != 1 || value[0] < '0' || value[0] > '7') {
      throw std::invalid_argument("FTDI pin map \"" + text + "\": \"" + word +
                                  "\" is not line=pin (tx, rts, cts, dtr; pin 0..7, '!' for an "
                                  "inverted line), e.g. \"tx=!0 rts=!2 cts=!3 dtr=!4\"");
    }
    if ((" " + given + " ").find(" " + name + " ") != std::string::npos) {
      throw std::invalid_argument("FTDI pin map \"" + text + "\": the line " + name +
                                  " is given twice");
    }
    given += " " + name;
    *pin = {static_cast<uint8_t>(value[0] - '0'), inverted};
  }
  for (const char* line : {"tx", "rts", "cts", "dtr"}) {
    if ((given + " ").find(" " + std::string(line) + " ") == std::string::npos) {
      throw std::invalid_argument("FTDI pin map \"" + text + "\": the line " + line +
                                  " is missing (give all four: tx, rts, cts, dtr)");
    }
  }
  const uint8_t bits[] = {Bit(map.tx), Bit(map.rts), Bit(map.cts), Bit(map.dtr)};
  uint8_t seen = 0;
  for (uint8_t bit : bits) {
    if ((seen & bit) != 0) {
      throw std::invalid_argument("FTDI pin map \"" + text + "\": two lines on one pin");
    }
    seen = static_cast<uint8_t>(seen | bit);
  }
  return map;
}

}  // namespace vexilo::port
