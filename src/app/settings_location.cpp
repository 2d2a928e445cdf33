#include "app/settings_location.h"

#include <cstdlib>
#include <filesystem>

namespace vexilo::app {

std::string ChooseSettingsPath(const std::string& named, const SettingsPlaces& places,
                               bool localExists) {
  if (!named.empty()) return named;
  const std::string local = places.currentDir + "/config.cfg";
  if (localExists) return local;
  // The base directory specification ignores a relative $XDG_CONFIG_HOME.
  if (!places.xdgConfigHome.empty() && places.xdgConfigHome.front() == '/') {
    return places.xdgConfigHome + "/vexilo/config.cfg";
  }
  if (!places.home.empty()) return places.home + "/.config/vexilo/config.cfg";
  return local;
}

std::string SettingsPath(const std::string& named) {
  std::error_code error;
  SettingsPlaces places;
  places.currentDir = std::filesystem::current_path(error).string();
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME")) places.xdgConfigHome = xdg;
  if (const char* home = std::getenv("HOME")) places.home = home;
  const bool local = std::filesystem::exists(places.currentDir + "/config.cfg", error);
  return ChooseSettingsPath(named, places, local);
}

void MakeSettingsFolder(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
}

}  // namespace vexilo::app
