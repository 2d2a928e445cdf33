#pragma once
#include <QIcon>

namespace vexilo::gui {

// The 28 x 28 pictures of the tool bar buttons.
enum class ToolIcon { Load, Save, Read, Program, Verify, Erase, SetBits, Stop };
QIcon MakeToolIcon(ToolIcon icon);

// The window's icon: the card with its contact pad.
QIcon MakeWindowIcon();

}  // namespace vexilo::gui
