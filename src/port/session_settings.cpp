#include "port/session_settings.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace vexilo::port {

int32_t ParseDecimalInteger(const std::string& text) {
  const auto fail = [&text] {
    return std::invalid_argument("'" + text + "' is not a valid integer value");
  };
  size_t pos = text.find_first_not_of(" \t");
  if (pos == std::string::npos) throw fail();
  bool negative = false;
  if (text[pos] == '+' || text[pos] == '-') negative = text[pos++] == '-';
  if (pos == text.size()) throw fail();
  int64_t value = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') throw fail();
    value = value * 10 + (c - '0');
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) throw fail();
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) throw fail();
  return static_cast<int32_t>(value);
}

int32_t RxPollLimitFromText(const std::string& atrDelay) {
  const int64_t limit = int64_t{ParseDecimalInteger(atrDelay)} * 1000;
  return static_cast<int32_t>(std::clamp<int64_t>(limit, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace vexilo::port
