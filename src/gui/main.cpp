// vexilo: the programmer's window.
//   vexilo [FILE]               the window, settings from ./config.cfg when there is one, else
//                               ~/.config/vexilo/config.cfg; FILE (.hex, .bin) is loaded
//   vexilo --config FILE        settings from FILE
//   vexilo --screenshot FILE    renders the window as it starts into a PNG file and ends
//   vexilo --tab NAME           starts on the tab NAME (FLASH, Setup, ...) instead of Info
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>

#include "gui/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("VEXILO"));
  QApplication::setApplicationVersion(QStringLiteral(VEXILO_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Smart card programmer (AVR, PIC, 24Cxx)"));
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                QStringLiteral("Render the window into a PNG file and end."),
                                QStringLiteral("FILE"));
  parser.addOption(screenshot);
  QCommandLineOption config(
      QStringLiteral("config"),
      QStringLiteral("Settings file (default: ./config.cfg when there is one, "
                     "else ~/.config/vexilo/config.cfg)."),
      QStringLiteral("FILE"));
  parser.addOption(config);
  QCommandLineOption tab(QStringLiteral("tab"),
                         QStringLiteral("Start on the tab NAME (FLASH, Setup, ...), not on Info."),
                         QStringLiteral("NAME"));
  parser.addOption(tab);
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("An image to load: .hex (FLASH) or .bin (EEPROM)."),
                               QStringLiteral("[FILE]"));
  parser.process(app);

  vexilo::gui::WindowOptions options;
  options.settingsPath = parser.value(config).toStdString();
  // The simulated cards keep what was programmed into them from one run to the next.
  const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
  if (!data.isEmpty())
    options.simStateDir = QDir(data).filePath(QStringLiteral("sim")).toStdString();

  vexilo::gui::TForm1 window(options);
  if (const QScreen* screen = window.screen()) {
    window.move(screen->availableGeometry().center() - window.rect().center());
  }
  if (parser.isSet(tab) && !window.ShowTab(parser.value(tab))) {
    std::fprintf(stderr, "vexilo: no tab \"%s\"; see --help\n", qPrintable(parser.value(tab)));
    return 2;
  }
  window.show();
  if (!parser.positionalArguments().isEmpty()) {
    const QString file = parser.positionalArguments().first();
    QTimer::singleShot(0, &window, [&window, file] { window.OpenFile(file); });
  }
  if (parser.isSet(screenshot)) {
    const QString file = parser.value(screenshot);
    int status = 0;
    QTimer::singleShot(0, &window, [&] {
      if (!window.grab().save(file, "PNG")) {
        std::fprintf(stderr, "vexilo: cannot write %s\n", qPrintable(file));
        status = 1;
      }
      QApplication::exit(status);
    });
    // The settings are left as they are: a picture is no session.
    return app.exec();
  }
  return app.exec();
}
