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

namespace {

// The length of the UTF-8 sequence at the start of `text`, 0 when it is not one.
size_t Utf8Length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  const size_t length = lead < 0x80             ? 1
                        : (lead & 0xE0) == 0xC0 ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 0;
  if (length == 0 || length > text.size() || (length == 2 && lead < 0xC2)) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// Control characters and bytes that are no UTF-8 text (binary junk) as \xHH.
std::string Escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto byte = static_cast<unsigned char>(text[0]);
    const size_t length = Utf8Length(text);
    if (length == 0 || byte < 0x20 || byte == 0x7F) {
      out += "\\x" + ToHex(byte, 2);
      text.remove_prefix(1);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return out;
}

}  // namespace

std::string ShortenForMessage(std::string_view text) {
  constexpr size_t kShown = 40;
  if (text.size() <= kShown) return Escaped(text);
  return Escaped(text.substr(0, kShown)) + "... (" + std::to_string(text.size()) + " characters)";
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
