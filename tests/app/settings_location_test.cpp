#include "app/settings_location.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "app/settings.h"
#include "support/temp_dir.h"

namespace vexilo::app {
namespace {

TEST(SettingsLocation, NamedThenLocalThenTheDesktopsSettingsFolder) {
  struct Case {
    const char* what;
    const char* named;
    const char* xdg;
    const char* home;
    bool localExists;
    const char* expected;
  };
  const Case kCases[] = {
      {"--config wins over a local file", "/etc/v.cfg", "/x", "/h", true, "/etc/v.cfg"},
      {"a config.cfg in the current folder is read first", "", "/x", "/h", true,
       "/work/config.cfg"},
      {"else $XDG_CONFIG_HOME/vexilo", "", "/x", "/h", false, "/x/vexilo/config.cfg"},
      {"a relative $XDG_CONFIG_HOME is ignored", "", "rel", "/h", false,
       "/h/.config/vexilo/config.cfg"},
      {"else ~/.config/vexilo", "", "", "/h", false, "/h/.config/vexilo/config.cfg"},
      {"no home at all: the current folder", "", "", "", false, "/work/config.cfg"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(ChooseSettingsPath(c.named, {"/work", c.xdg, c.home}, c.localExists), c.expected)
        << c.what;
  }
}

// Started from a folder that cannot be written (the desktop's menu starts it in /), the
// settings go to the settings folder and come back at the next start.
TEST(SettingsLocation, AReadOnlyFolderLosesNoSettings) {
  test::TempDir dir;
  const std::string readOnly = dir.Path("ro");
  std::filesystem::create_directory(readOnly);
  chmod(readOnly.c_str(), 0555);
  test::ScopedCurrentDir here(readOnly);
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", dir.Path("config").c_str(), 1);

  const std::string path = SettingsPath();
  EXPECT_EQ(path, dir.Path("config") + "/vexilo/config.cfg");
  MakeSettingsFolder(path);
  Settings s;
  s.avrDelay = "9";
  SaveSettings(path, s);
  EXPECT_EQ(LoadSettings(SettingsPath()).avrDelay, "9");

  if (old) {
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  chmod(readOnly.c_str(), 0755);
}

}  // namespace
}  // namespace vexilo::app
