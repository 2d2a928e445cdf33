#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace vexilo::port {

// The Setup values a port session reads each time it opens.
struct SessionSettings {
  int avrPicCom = 0;             // COM1 .. COM4 as 0 .. 3, group " Port Avr/Pic "
  int phoenixCom = 0;            // the same for group " Port Phoenix "
  int avrClk = 0;                // position of the track bar avr_clk_ (0 .. 50)
  int picClk = 0;                // position of the track bar pic_clk_ (0 .. 200)
  std::string atrDelay = "100";  // text of atr_delay: thousands of receive status polls
};

using SessionSettingsSource = std::function<SessionSettings()>;

// `text` as a decimal integer (optional leading blanks and sign). Throws
// std::invalid_argument "'<text>' is not a valid integer value" for anything else,
// a number outside 32 bits included.
int32_t ParseDecimalInteger(const std::string& text);

// atr_delay x 1000, kept within 32 bits. Throws as ParseDecimalInteger.
int32_t RxPollLimitFromText(const std::string& atrDelay);

}  // namespace vexilo::port
