#include "cli/cli_actions.h"

#include <algorithm>
#include <vector>

namespace vexilo::cli {
namespace {

constexpr int kNameValues = -1;  // any number of NAME=VALUE words

struct VerbSpec {
  const char* verb;
  int argCount;
  std::vector<const char*> firstArgChoices;  // empty: any
};

const std::vector<VerbSpec>& Verbs() {
  static const std::vector<VerbSpec> kVerbs{
      {"load", 2, {"flash", "eeprom-int", "eeprom-ext"}},
      {"save", 2, {"flash", "eeprom-int", "eeprom-ext"}},
      {"show", 1, {"flash", "eeprom-int", "eeprom-ext", "options"}},
      {"set-bytes", 2, {"flash", "eeprom-int", "eeprom-ext"}},
      {"fill", 2, {"flash", "eeprom-int", "eeprom-ext"}},
      {"checksum", 1, {"flash", "eeprom-int", "eeprom-ext"}},
      {"read", 1, {"flash", "eeprom-int", "eeprom-ext", "flash+eeprom-int", "config"}},
      {"program", 1, {"flash", "eeprom-int", "eeprom-ext", "flash+eeprom-int", "all"}},
      {"verify", 1, {"flash", "eeprom-int", "eeprom-ext", "flash+eeprom-int"}},
      {"erase", 0, {}},
      {"set-bits", 0, {}},
      {"detect", 0, {}},
      {"set", kNameValues, {}},
      {"port", 1, {"open", "close"}},
      {"line", 2, {"tx", "rts", "dtr"}},
      {"cts", 0, {}},
      {"burst", 1, {"phoenix", "avr", "pic"}},
  };
  return kVerbs;
}

std::string Choices(const VerbSpec& spec) {
  std::string out;
  for (const char* c : spec.firstArgChoices) out += (out.empty() ? "" : "|") + std::string(c);
  return out;
}

bool IsNameValue(const std::string& word) {
  size_t eq = word.find('=');
  return eq != std::string::npos && eq > 0;
}

}  // namespace

std::vector<Action> ParseActions(const std::vector<std::string>& words) {
  std::vector<Action> actions;
  for (size_t i = 0; i < words.size();) {
    const std::string& verb = words[i++];
    const auto& verbs = Verbs();
    auto spec =
        std::find_if(verbs.begin(), verbs.end(), [&](const VerbSpec& s) { return verb == s.verb; });
    if (spec == verbs.end()) throw UsageError("unknown action \"" + verb + "\"");
    Action action{verb, {}};
    if (spec->argCount == kNameValues) {
      while (i < words.size() && IsNameValue(words[i])) action.args.push_back(words[i++]);
      if (action.args.empty()) throw UsageError("set needs NAME=VALUE words");
    } else {
      if (i + static_cast<size_t>(spec->argCount) > words.size()) {
        throw UsageError(verb + " needs " + std::to_string(spec->argCount) + " argument" +
                         (spec->argCount > 1 ? "s" : ""));
      }
      action.args.assign(words.begin() + static_cast<long>(i),
                         words.begin() + static_cast<long>(i) + spec->argCount);
      i += static_cast<size_t>(spec->argCount);
    }
    if (!spec->firstArgChoices.empty()) {
      const std::string& first = action.args[0];
      bool known = std::any_of(spec->firstArgChoices.begin(), spec->firstArgChoices.end(),
                               [&](const char* c) { return first == c; });
      if (!known) throw UsageError(verb + ": \"" + first + "\" is not one of " + Choices(*spec));
    }
    if (verb == "line" && action.args[1] != "on" && action.args[1] != "off") {
      throw UsageError("line " + action.args[0] + ": \"" + action.args[1] + "\" is not on|off");
    }
    actions.push_back(std::move(action));
  }
  if (actions.empty()) throw UsageError("no action given");
  return actions;
}

std::string ActionsHelp() {
  return "Actions (run in order on one workspace; the first that fails ends the run):\n"
         "  load flash|eeprom-int|eeprom-ext FILE\n"
         "                              read an Intel HEX image (a name ending in .bin is\n"
         "                              read as raw bytes for the EEPROMs)\n"
         "  save flash|eeprom-int|eeprom-ext FILE\n"
         "                              write the image as Intel HEX (\".hex\" is added to a\n"
         "                              name without an extension)\n"
         "  show flash|eeprom-int|eeprom-ext\n"
         "                              print the image as its grid shows it\n"
         "  show options                print the option panel and fuse dialog\n"
         "  set-bytes flash|eeprom-int|eeprom-ext ADDR=BYTES\n"
         "                              put hex bytes into the image from the grid address\n"
         "                              ADDR on (FLASH: word address)\n"
         "  fill flash|eeprom-int|eeprom-ext FROM-TO=BYTE\n"
         "                              fill the cells FROM to TO (hex) with BYTE\n"
         "  checksum flash|eeprom-int|eeprom-ext\n"
         "                              print the sum and CRC-32 of the image\n"
         "  set NAME=VALUE...           set option controls and fuse boxes, e.g.\n"
         "                              CheckBox1=1 ComboBox1=XT cksel0=0 C512=1\n"
         "  read flash|eeprom-int|eeprom-ext|flash+eeprom-int|config\n"
         "                              read the card into the image or options\n"
         "  program flash|eeprom-int|eeprom-ext|flash+eeprom-int|all\n"
         "                              write the image into the card (all: card loader,\n"
         "                              external EEPROM, then the chip)\n"
         "  verify flash|eeprom-int|eeprom-ext|flash+eeprom-int\n"
         "                              compare the card with the image\n"
         "  erase                       chip erase (asks first; --yes answers)\n"
         "  set-bits                    write the lock or fuse bits\n"
         "  detect                      find out which card is in the reader (AVR, PIC,\n"
         "                              then Phoenix mode) and take its card type for the\n"
         "                              actions after it\n"
         "\n"
         "Adapter test actions:\n"
         "  port open|close             open or close a session on the AVR/PIC port\n"
         "  line tx|rts|dtr on|off      switch one adapter line (tx on = break)\n"
         "  cts                         print the CTS line, 0 or 1\n"
         "  burst phoenix|avr|pic       send an adapter mode switch burst\n"
         "\n"
         "Card types (--card): fun, wafer, pic2, black, atmega, neoo, or the exact text:\n"
         "  \"Fun Card - 90S8515 + 24Cxx\", \"Wafer Card - 16F84 + 24C16\",\n"
         "  \"Pic Card 2 - 16F876 + 24Cxx\", \"Black Card - ATMega128\",\n"
         "  \"ATMega Card - ATMega163 + 24Cx\", \"NeooCard - ATMega8515 + 24Cx\"\n"
         "\n"
         "Simulator faults (--sim-fault, repeatable; chip-clock for the AVR cards only):\n"
         "  no-card, no-echo, silent-after=N, slow-chip, stuck-bit=ADDR:BIT[:VALUE],\n"
         "  chip-clock=HZ, no-loader, wrong-atr,\n"
         "  loader-replies=memory-failure|bad-check|foreign\n"
         "\n"
         "Examples:\n"
         "  vexilo-cli --card fun load flash card.hex program flash verify flash\n"
         "  vexilo-cli --card wafer --port tty --device /dev/ttyUSB0 read flash \\\n"
         "      save flash a.hex\n"
         "\n"
         "Exit status: 0 all actions succeeded, 1 an action failed (an error line, a\n"
         "difference, a bad file), 2 usage error.\n";
}

}  // namespace vexilo::cli
