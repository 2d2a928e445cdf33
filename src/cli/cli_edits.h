#pragma once
#include <ostream>

#include "app/workspace.h"
#include "cli/cli_actions.h"

namespace vexilo::cli {

// The image editing actions: "set-bytes IMAGE ADDR=BYTES", "fill IMAGE FROM-TO=BYTE" and
// "checksum IMAGE". False when `action` is none of them. Throws image::EditError.
bool RunImageEdit(app::Workspace& ws, const Action& action, std::ostream& out);

}  // namespace vexilo::cli
