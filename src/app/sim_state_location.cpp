#include "app/sim_state_location.h"

#include <cctype>
#include <cstdlib>

namespace vexilo::app {

std::string DefaultSimStateDir() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return std::string(data) + "/VEXILO/sim";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/share/VEXILO/sim";
  return {};
}

std::string SimStateFileFor(const std::string& dir, const CardType& card,
                            const OptionPanels& options) {
  std::string name(card.text);
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return dir + "/" + name + "-" + std::to_string(ExtEepromBytes(card, options)) + ".state";
}

}  // namespace vexilo::app
