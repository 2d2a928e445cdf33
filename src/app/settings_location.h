#pragma once
#include <string>

namespace vexilo::app {

// Where a run looks for its settings file.
struct SettingsPlaces {
  std::string currentDir;     // the process's current folder
  std::string xdgConfigHome;  // $XDG_CONFIG_HOME, empty when unset
  std::string home;           // $HOME, empty when unset
};

// The settings file of a run: the one named on purpose (--config); else a config.cfg in the
// current folder when one is there (`localExists`); else config.cfg in the desktop's settings
// folder, $XDG_CONFIG_HOME/vexilo (an absolute $XDG_CONFIG_HOME only), else ~/.config/vexilo;
// with no home at all, the current folder's.
std::string ChooseSettingsPath(const std::string& named, const SettingsPlaces& places,
                               bool localExists);

// The same for this process, from its current folder and environment.
std::string SettingsPath(const std::string& named = {});

// Creates the folder the settings file goes in, so that saving can create the file. Never
// throws: a folder that cannot be made shows when the file is written.
void MakeSettingsFolder(const std::string& path);

}  // namespace vexilo::app
