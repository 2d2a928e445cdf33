#pragma once
#include <functional>
#include <string>

#include "app/commands.h"
#include "app/mode_switch.h"
#include "port/operation_log.h"

namespace vexilo::app {

// The rows of one programming family: false when the command has no sequence for the card.
bool RunAvrCommand(Command command, Workspace& ws, Rig& rig, port::Operator& op);
bool RunPicCommand(Command command, Workspace& ws, Rig& rig, port::Operator& op);

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
