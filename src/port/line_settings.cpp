#include "port/line_settings.h"

#include <array>
#include <utility>

namespace vexilo::port {

namespace {

constexpr std::array<std::pair<unsigned, speed_t>, 19> kSpeeds{{
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
}};

tcflag_t SizeFlag(int dataBits) {
  switch (dataBits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

}  // namespace

speed_t SpeedCode(unsigned baud) {
  speed_t code = kSpeeds.front().second;
  for (const auto& [rate, rateCode] : kSpeeds) {
    if (rate <= baud) code = rateCode;
  }
  return code;
}

void MakeRawLine(termios& attr, const LineSettings& line) {
  attr.c_iflag &=
      ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
  attr.c_oflag &= ~OPOST;
  attr.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  attr.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  attr.c_cflag |= CREAD | CLOCAL | SizeFlag(line.dataBits);
  switch (line.parity) {
    case Parity::None:
      break;
    case Parity::Odd:
      attr.c_cflag |= PARENB | PARODD;
      break;
    case Parity::Even:
      attr.c_cflag |= PARENB;
      break;
    case Parity::Mark:
      attr.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case Parity::Space:
      attr.c_cflag |= PARENB | CMSPAR;
      break;
  }
  if (line.stopBits == 2) attr.c_cflag |= CSTOPB;
  attr.c_cc[VMIN] = 0;
  attr.c_cc[VTIME] = 0;
  const speed_t speed = SpeedCode(line.baud);
  cfsetispeed(&attr, speed);
  cfsetospeed(&attr, speed);
}

}  // namespace vexilo::port
