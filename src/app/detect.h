#pragma once
#include <vector>

#include "app/card_catalogue.h"
#include "app/rig.h"
#include "app/workspace.h"
#include "port/operator.h"

namespace vexilo::app {

// Finds out which card is in the reader, trying each adapter mode in turn: AVR (programming
// enable and the signature), PIC (the device ID, and a configuration word and data frame that
// read as a PIC's), Phoenix (the answer to reset of a card loader). Logs what answered and the
// card types that fit, and returns them (more than one where one chip or loader fits several;
// none, with the red hint line, when nothing answered). Chooses nothing itself.
std::vector<const CardType*> DetectCard(Workspace& ws, Rig& rig, port::Operator& op);

}  // namespace vexilo::app
