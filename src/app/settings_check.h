#pragma once
#include <string>
#include <vector>

#include "app/ini_file.h"
#include "app/settings.h"

namespace vexilo::app {

// The values of a settings file that their control cannot take: a number outside its range,
// a box that is neither 0 nor 1, a name that is none of the choices, a pin map that does not
// name the four lines. Each gives one line naming the file, the section, the key and the value,
// and the setting keeps its default. Keys that are missing or empty are not reported (files
// that older versions wrote), nor are sections and keys this program does not know.
std::vector<std::string> CheckSettingValues(const CSimpleIniA& ini, const std::string& file,
                                            Settings& settings);

// Text that no settings file holds: NUL bytes or other control characters.
bool LooksBinary(std::string_view bytes);

}  // namespace vexilo::app
