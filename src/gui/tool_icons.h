#pragma once
#include <QIcon>

namespace vexilo::gui {

// The 28 x 28 pictures of the tool bar buttons.
enum class ToolIcon { Load, Save, Read, Program, Verify, Erase, SetBits };
QIcon MakeToolIcon(ToolIcon icon);

}  // namespace vexilo::gui
