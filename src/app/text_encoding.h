#pragma once
#include <string>
#include <string_view>

namespace vexilo::app {

bool IsValidUtf8(std::string_view bytes);

// Text files from the Windows era are Windows-1250 (Central European); newer ones UTF-8. Returns
// `bytes` unchanged when it is valid UTF-8, else converted from Windows-1250 to UTF-8.
std::string DecodeText(std::string_view bytes);

}  // namespace vexilo::app
