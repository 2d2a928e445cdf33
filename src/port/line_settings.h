#pragma once
#include <termios.h>

namespace vexilo::port {

enum class Parity { None, Odd, Even, Mark, Space };

// Word format and speed of an asynchronous serial line.
struct LineSettings {
  unsigned baud = 9600;
  int dataBits = 8;
  Parity parity = Parity::Even;
  int stopBits = 2;
};

// Turns `attr` into a raw line (no echo, no line discipline, no handshake, receiver on,
// modem status lines ignored, parity errors not checked) with the given word format.
void MakeRawLine(termios& attr, const LineSettings& line);

// The termios speed code for a rate; a rate without its own code gets the next lower one.
speed_t SpeedCode(unsigned baud);

}  // namespace vexilo::port
