#include "image/hex_to_int.h"

#include <charconv>

namespace vexilo::image {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

[[noreturn]] void ThrowNotInteger(std::string_view prefix, std::string_view text) {
  std::string message;
  message.append("'").append(prefix).append(ShortenForMessage(text));
  message.append("' is not a valid integer value");
  throw ConversionError(message);
}

}  // namespace

int32_t HexToInt(std::string_view text) {
  if (text.empty() || text.size() > 8) ThrowNotInteger("$", text);
  uint32_t value = 0;
  for (char c : text) {
    int digit = HexDigit(c);
    if (digit < 0) ThrowNotInteger("$", text);
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  return static_cast<int32_t>(value);
}

int32_t DecimalToInt(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int32_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    ThrowNotInteger("", text);
  }
  return value;
}

std::string ShortenForMessage(std::string_view text) {
  constexpr size_t kShown = 40;
  if (text.size() <= kShown) return std::string(text);
  return std::string(text.substr(0, kShown)) + "... (" + std::to_string(text.size()) +
         " characters)";
}

std::string ToHex(uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i) {
    out[static_cast<size_t>(i)] = kDigits[value & 0xF];
    value >>= 4;
  }
  return out;
}

}  // namespace vexilo::image
