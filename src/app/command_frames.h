#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/mode_switch.h"
#include "extee/extee_operations.h"
#include "extee/loader_install.h"
#include "port/operation_log.h"

namespace vexilo::app {

// The rows of one programming family: false when the command has no sequence for the card.
bool RunAvrCommand(Command command, Workspace& ws, Rig& rig, port::Operator& op);
bool RunPicCommand(Command command, Workspace& ws, Rig& rig, port::Operator& op);
// "Odczytaj/Programuj/Weryfikacja EEPROM ext" of every card type with an external EEPROM.
bool RunExtEepromCommand(Command command, Workspace& ws, Rig& rig, port::Operator& op);
// "Programuj Flash/EEp int/EEp ext": loader, external EEPROM, then the chip's own memories.
bool RunFullAvrProgramming(Workspace& ws, Rig& rig, port::Operator& op);
bool RunFullPicProgramming(Workspace& ws, Rig& rig, port::Operator& op);

// The loader family of a card type with an external EEPROM.
std::optional<extee::LoaderFamily> LoaderFamilyOf(const CardType& card);
// Where the open card loaders are, in the order they are looked for after the `loader` folder
// of the current directory: installed beside the program, the build tree's, then where the
// build installs them.
std::vector<std::string> OpenLoaderDirs();

// The card loader for `family`: the `loader` folder of the current directory, else (on the
// behavioural simulated card) the simulator's test loader, else the open loaders. Logs which
// file it took. A loader that cannot be had is a red log line and the error flag, and gives
// nothing.
std::optional<extee::LoaderImage> CardLoader(Workspace& ws, Rig& rig, port::Operator& op,
                                             extee::LoaderFamily family);
// The result line of a programming sequence: "<prefix> : ERROR" in red when the error flag
// is set, else "<prefix> : OK".
void ResultLine(const Workspace& ws, port::Operator& op, const char* prefix);

// The full programming's external EEPROM step: the Phoenix mode burst, `settleMs`, and the
// write without its question.
void WriteExtEepromStep(Workspace& ws, Rig& rig, port::Operator& op, unsigned settleMs);

using FrameOps = std::function<void(port::OperationContext&)>;
// Leaves the chip's programming mode; `threw`: an operation ended with an exception.
using FrameLeave = std::function<void(port::OperationContext&, bool threw)>;

// The frame around a family's operations: the adapter's mode burst (unless `burst` is false),
// a session on the AVR/PIC port, the operations, the session closed again, also when an
// operation throws. A port that could not be set up drives no line: `prefix` + " : ERROR"
// says so in red and nothing runs. `leave`, when given, runs after the operations, also when
// they throw, before the session closes.
void RunFrame(Workspace& ws, Rig& rig, port::Operator& op, AdapterMode mode, bool burst,
              const char* prefix, const FrameOps& ops, const FrameLeave& leave = {});

}  // namespace vexilo::app
