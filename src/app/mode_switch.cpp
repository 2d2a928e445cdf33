#include "app/mode_switch.h"

#include "port/mode_burst.h"

namespace vexilo::app {
namespace {

int BurstCount(AdapterMode mode) {
  switch (mode) {
    case AdapterMode::Phoenix:
      return port::kPhoenixModeBurst;
    case AdapterMode::Avr:
      return port::kAvrModeBurst;
    case AdapterMode::Pic:
      return port::kPicModeBurst;
  }
  return port::kAvrModeBurst;
}

// The request to switch by hand: the pack's text, or a plain one when no pack supplies it.
std::string ManualSwitchText(AdapterMode mode, const LanguageTexts& texts) {
  static constexpr int kKeys[] = {29, 30, 31};
  static constexpr const char* kNames[] = {"PHOENIX", "AVR", "PIC"};
  auto it = texts.find(kKeys[static_cast<int>(mode)]);
  if (it != texts.end() && !it->second.empty()) return it->second;
  return std::string("Switch the adapter to ") + kNames[static_cast<int>(mode)] +
         " mode, then press OK.";
}

bool SendBurst(AdapterMode mode, Rig& rig, port::Operator& op, bool dropLinesFirst) {
  static constexpr const char* kNames[] = {"PHOENIX", "AVR", "PIC"};
  const std::string what =
      std::string("Adapter mode switch to ") + kNames[static_cast<int>(mode)] + " not sent";
  rig.Session().NameCommForBurst();
  port::CommPort& comm = rig.Backend().Comm();
  // During a session the burst goes out on the session's device, which stays open.
  const bool wasConnected = comm.CommConnected();
  if (!comm.CommConnect()) {
    op.ShowMessage("Error Open COM");
    const std::string why = comm.CommProblem();
    op.PortDiagnostic(what + ": " + (why.empty() ? comm.PortName() + " did not open" : why));
    return false;
  }
  if (dropLinesFirst) rig.Session().DropModemLines();
  const bool sent = port::SendModeBurst(comm, rig.Backend().Time(), BurstCount(mode));
  if (!sent) {
    const std::string why = comm.CommProblem();
    op.PortDiagnostic(what + ": " +
                      (why.empty() ? comm.PortName() + ": the bytes did not leave within the "
                                                       "output time-out"
                                   : why));
  }
  if (!wasConnected && comm.CommConnected()) comm.CommDisconnect();
  return sent;
}

}  // namespace

bool SwitchAdapterMode(AdapterMode mode, Rig& rig, const Settings& settings,
                       const LanguageTexts& texts, port::Operator& op) {
  if (!settings.autoMode) {
    if (!rig.SimAdapterSwitchesItself()) op.ShowInfo(ManualSwitchText(mode, texts));
    rig.ManualModeSwitch(mode);
    return true;
  }
  return SendBurst(mode, rig, op, false);
}

bool SendTestBurst(AdapterMode mode, Rig& rig, port::Operator& op) {
  return SendBurst(mode, rig, op, true);
}

}  // namespace vexilo::app
