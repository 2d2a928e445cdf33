// The window's tests need a QApplication; they run on the offscreen platform unless a
// platform is chosen.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // A window started without a config.cfg beside it keeps its settings in the desktop's
  // settings folder: never the home of the person running the tests.
  char home[] = "/tmp/vexilo-gui-tests-XXXXXX";
  if (mkdtemp(home)) setenv("XDG_CONFIG_HOME", home, 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
