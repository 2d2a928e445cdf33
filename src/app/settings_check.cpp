#include "app/settings_check.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <stdexcept>

#include "app/rig.h"
#include "image/hex_to_int.h"
#include "port/ftdi/ftdi_pins.h"

namespace vexilo::app {
namespace {

using Reason = std::optional<std::string>;

Reason Whole(const std::string& value, long min, long max) {
  long number = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, number);
  if (error == std::errc::result_out_of_range) {
    return "is outside " + std::to_string(min) + " to " + std::to_string(max);
  }
  if (error != std::errc() || stop != end) return std::string("is not a number");
  if (number < min || number > max) {
    return "is outside " + std::to_string(min) + " to " + std::to_string(max);
  }
  return std::nullopt;
}

// `choices` as the option help writes them: "sim|io|tty|ftdi".
Reason OneOf(const std::string& value, std::string_view choices) {
  std::string list;
  for (size_t start = 0; start <= choices.size();) {
    const size_t bar = std::min(choices.find('|', start), choices.size());
    const std::string_view choice = choices.substr(start, bar - start);
    if (value == choice) return std::nullopt;
    list += (list.empty() ? "" : ", ") + std::string(choice);
    start = bar + 1;
  }
  return "is not one of " + list;
}

// The write and transmit delays are taken modulo 256 ms, so any number of ms from 0 up.
Reason Delay(const std::string& value) {
  if (value.find_first_not_of("0123456789") == std::string::npos) return std::nullopt;
  if (Whole(value, -2147483647L - 1, 2147483647L)) return std::string("is not a number");
  return std::string("is negative (a delay is 0 ms or more)");
}

Reason PinMap(const std::string& value) {
  try {
    port::ParseFtdiPinMap(value);
    return std::nullopt;
  } catch (const std::invalid_argument& e) {
    const std::string what = e.what();
    const size_t colon = what.find("\": ");
    return "is not a pin map: " + (colon == std::string::npos ? what : what.substr(colon + 3));
  }
}

// One checked key: how its value is judged, and how the setting goes back to its default.
struct ValueRule {
  const char* section;
  const char* key;
  Reason (*judge)(const std::string&);
  void (*reset)(Settings&, const Settings&);
};

Reason Com(const std::string& v) { return OneOf(v, "1|2|3|4"); }
Reason Box(const std::string& v) { return OneOf(v, "0|1"); }

// The two port sections carry each other's group, as Settings reads them.
constexpr ValueRule kRules[] = {
    {"port phoenix", "COM", Com, [](Settings& s, const Settings& d) { s.avrPicCom = d.avrPicCom; }},
    {"port avr/pic", "COM", Com,
     [](Settings& s, const Settings& d) { s.phoenixCom = d.phoenixCom; }},
    {"PHOENIX", "TXDelay", Delay, [](Settings& s, const Settings& d) { s.txDelay = d.txDelay; }},
    {"PHOENIX", "ATRDelay", Delay, [](Settings& s, const Settings& d) { s.atrDelay = d.atrDelay; }},
    {"PIC", "Delay", Delay, [](Settings& s, const Settings& d) { s.picDelay = d.picDelay; }},
    {"AVR", "Delay", Delay, [](Settings& s, const Settings& d) { s.avrDelay = d.avrDelay; }},
    {"PIC Speed Clock", "CLK", [](const std::string& v) { return Whole(v, 0, kPicClkMax); },
     [](Settings& s, const Settings& d) { s.picClk = d.picClk; }},
    {"AVR Speed Clock", "CLK", [](const std::string& v) { return Whole(v, 0, kAvrClkMax); },
     [](Settings& s, const Settings& d) { s.avrClk = d.avrClk; }},
    {"Auto mode", "mode", Box, [](Settings& s, const Settings& d) { s.autoMode = d.autoMode; }},
    {"Veryfi", "eeprom", Box,
     [](Settings& s, const Settings& d) { s.verifyEeprom = d.verifyEeprom; }},
    {"Fast write", "enabled", Box,
     [](Settings& s, const Settings& d) { s.fastWrite = d.fastWrite; }},
    {"Port backend", "backend", [](const std::string& v) { return OneOf(v, kBackendNames); },
     [](Settings& s, const Settings& d) { s.portBackend = d.portBackend; }},
    {"Port backend", "sim card", [](const std::string& v) { return OneOf(v, kSimCardNames); },
     [](Settings& s, const Settings& d) { s.simCard = d.simCard; }},
    {"FTDI", "pins", PinMap, [](Settings& s, const Settings& d) { s.ftdiPins = d.ftdiPins; }},
};

}  // namespace

std::vector<std::string> CheckSettingValues(const CSimpleIniA& ini, const std::string& file,
                                            Settings& settings) {
  const Settings defaults;
  std::vector<std::string> problems;
  for (const ValueRule& rule : kRules) {
    const char* value = ini.GetValue(rule.section, rule.key, nullptr);
    if (value == nullptr || *value == '\0') continue;
    if (const Reason reason = rule.judge(value)) {
      problems.push_back(file + ": [" + rule.section + "] " + rule.key + ": '" +
                         image::ShortenForMessage(value) + "' " + *reason);
      rule.reset(settings, defaults);
    }
  }
  return problems;
}

bool LooksBinary(std::string_view bytes) {
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    // Tab, line ends, form feed and the DOS end-of-file mark occur in text files.
    if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && byte != 0x1A) {
      return true;
    }
  }
  return false;
}

}  // namespace vexilo::app
