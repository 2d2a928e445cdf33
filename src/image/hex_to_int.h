#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vexilo::image {

// Text that is not a number where one was expected (a HEX field, a grid cell, a setting).
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads `text` as a hexadecimal number ("$" + text in Pascal notation) into a signed 32-bit
// value. Empty or non-hexadecimal text, or more than eight digits, throws ConversionError
// "'$<text>' is not a valid integer value" (a long text shortened).
int32_t HexToInt(std::string_view text);

// Reads `text` as a decimal integer (an optional sign, then digits). Anything else throws
// ConversionError "'<text>' is not a valid integer value".
int32_t DecimalToInt(std::string_view text);
// The same number taken modulo 256, as the write and transmit delays are held (in ms).
inline uint8_t DecimalToByte(std::string_view text) {
  return static_cast<uint8_t>(DecimalToInt(text));
}

// A text from a file or a setting as a message quotes it: at most 40 characters, a longer
// one cut and its length told; control characters and bytes that are not UTF-8 text show as
// \xHH.
std::string ShortenForMessage(std::string_view text);

// Upper-case hexadecimal with exactly `digits` digits (leading zeros kept).
std::string ToHex(uint32_t value, int digits);

}  // namespace vexilo::image
