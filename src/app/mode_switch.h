#pragma once
#include "app/language_pack.h"
#include "app/rig.h"
#include "app/settings.h"
#include "port/operator.h"

namespace vexilo::app {

// Puts the two-mode adapter into `mode` before a session opens: with AutoMode the switch
// burst goes out through the serial device `comm`; otherwise the person is asked to switch it
// by hand (language text 29, 30 or 31). A device that will not open shows "Error Open COM"
// and a red line that says why; the command goes on either way. False when a burst could
// not be sent.
bool SwitchAdapterMode(AdapterMode mode, Rig& rig, const Settings& settings,
                       const LanguageTexts& texts, port::Operator& op);

// The test panel's burst buttons: the burst without looking at AutoMode, with DTR and RTS
// dropped first on the port of the last session. False when it could not be sent.
bool SendTestBurst(AdapterMode mode, Rig& rig, port::Operator& op);

}  // namespace vexilo::app
