#include "avr/operation_log.h"

#include "image/hex_to_int.h"

namespace vexilo::avr {

uint8_t WriteDelayMs(const std::string& text) {
  return static_cast<uint8_t>(image::DecimalToInt(text));
}

}  // namespace vexilo::avr
