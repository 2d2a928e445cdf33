#include "cli/cli_actions.h"

#include <algorithm>
#include <array>

namespace vexilo::cli {
namespace {

struct VerbSpec {
  const char* verb;
  int argCount;
  std::array<const char*, 4> firstArgChoices;  // empty: any
};

constexpr std::array<VerbSpec, 3> kVerbs{{
    {"load", 2, {"flash", "eeprom-int", "eeprom-ext", nullptr}},
    {"save", 2, {"flash", "eeprom-int", "eeprom-ext", nullptr}},
    {"show", 1, {"flash", "eeprom-int", "eeprom-ext", "options"}},
}};

std::string Choices(const VerbSpec& spec) {
  std::string out;
  for (const char* c : spec.firstArgChoices) {
    if (!c) break;
    if (!out.empty()) out += "|";
    out += c;
  }
  return out;
}

}  // namespace

std::vector<Action> ParseActions(const std::vector<std::string>& words) {
  std::vector<Action> actions;
  for (size_t i = 0; i < words.size();) {
    const std::string& verb = words[i];
    auto spec = std::find_if(kVerbs.begin(), kVerbs.end(),
                             [&](const VerbSpec& s) { return verb == s.verb; });
    if (spec == kVerbs.end()) throw UsageError("unknown action \"" + verb + "\"");
    if (i + static_cast<size_t>(spec->argCount) >= words.size()) {
      throw UsageError(verb + " needs " + std::to_string(spec->argCount) + " argument" +
                       (spec->argCount > 1 ? "s" : "") + ": " + verb + " " + Choices(*spec) +
                       (spec->argCount > 1 ? " FILE" : ""));
    }
    Action action{verb,
                  {words.begin() + static_cast<long>(i) + 1,
                   words.begin() + static_cast<long>(i) + 1 + spec->argCount}};
    const std::string& first = action.args[0];
    bool known = std::any_of(spec->firstArgChoices.begin(), spec->firstArgChoices.end(),
                             [&](const char* c) { return c && first == c; });
    if (!known) {
      throw UsageError(verb + ": \"" + first + "\" is not one of " + Choices(*spec));
    }
    actions.push_back(std::move(action));
    i += 1 + static_cast<size_t>(spec->argCount);
  }
  if (actions.empty()) throw UsageError("no action given (see --help)");
  return actions;
}

std::string ActionsHelp() {
  return "Actions (run in order on one workspace; the first that fails ends the run):\n"
         "  load flash|eeprom-int|eeprom-ext FILE   read an Intel HEX image (a name ending in\n"
         "                                          .bin is read as raw bytes for the EEPROMs)\n"
         "  save flash|eeprom-int|eeprom-ext FILE   write the image as Intel HEX\n"
         "                                          (\".hex\" is added to a name without an\n"
         "                                          extension)\n"
         "  show flash|eeprom-int|eeprom-ext        print the image as its grid shows it\n"
         "  show options                            print the card's option panel\n"
         "\n"
         "Card types (--card): fun, wafer, pic2, black, atmega, neoo, or the exact text:\n"
         "  \"Fun Card - 90S8515 + 24Cxx\", \"Wafer Card - 16F84 + 24C16\",\n"
         "  \"Pic Card 2 - 16F876 + 24Cxx\", \"Black Card - ATMega128\",\n"
         "  \"ATMega Card - ATMega163 + 24Cx\", \"NeooCard - ATMega8515 + 24Cx\"\n"
         "\n"
         "Exit status: 0 all actions succeeded, 1 an action failed, 2 usage error.\n";
}

}  // namespace vexilo::cli
