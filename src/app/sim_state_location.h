#pragma once
#include <string>

#include "app/card_catalogue.h"
#include "app/option_panels.h"

namespace vexilo::app {

// Where the simulated cards keep their memories between runs, for the window and the command
// line alike: $XDG_DATA_HOME/VEXILO/sim, else ~/.local/share/VEXILO/sim; empty with no home.
std::string DefaultSimStateDir();

// The state file of the simulated card for a card type and its external EEPROM size in
// `dir`: one file per card type and size, as one physical card each.
std::string SimStateFileFor(const std::string& dir, const CardType& card,
                            const OptionPanels& options);

}  // namespace vexilo::app
