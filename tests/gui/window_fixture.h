#pragma once
// A main window started in a temporary directory (so config.cfg lands there), with its
// message boxes and file dialogs answered by the test.
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QStringList>
#include <QTextBlock>
#include <QTextEdit>
#include <memory>
#include <string>

#include "gui/command_runner.h"
#include "gui/main_window.h"
#include "support/temp_dir.h"

namespace vexilo::gui::test {

using vexilo::test::ScopedCurrentDir;
using vexilo::test::TempDir;

struct LogLine {
  QString text;
  QColor colour;
};

class WindowFixture {
 public:
  WindowFixture() : here_(dir.Path()) {}
  ~WindowFixture() { window.reset(); }

  // Starts the window on the given config.cfg contents (none: no file).
  TForm1& Start(const std::string& config = {}, WindowOptions options = {}) {
    if (!config.empty()) dir.Write("config.cfg", config);
    if (options.settingsPath.empty()) options.settingsPath = dir.Path("config.cfg");
    window = std::make_unique<TForm1>(options);
    Dialogs& d = window->MessageDialogs();
    d.askYesNo = [this](const QString& q) {
      questions << q;
      return answer;
    };
    d.showInfo = [this](const QString& t) { infos << t; };
    d.showMessage = [this](const QString& t) { messages << t; };
    window->SetFileDialog([this](QWidget*, const FileDialogRequest& request) {
      requests.push_back(request);
      return fileAnswer ? fileAnswer(request) : FileDialogAnswer();
    });
    return *window;
  }

  template <typename T = QWidget>
  T* Find(const char* name) const {
    return window->findChild<T*>(QString::fromUtf8(name));
  }
  QAction* Item(const char* name) const { return Find<QAction>(name); }

  std::vector<LogLine> Log() const {
    std::vector<LogLine> lines;
    const QTextDocument* doc = Find<QTextEdit>("log")->document();
    if (doc->isEmpty()) return lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
      QColor colour =
          b.begin().atEnd() ? QColor() : b.begin().fragment().charFormat().foreground().color();
      lines.push_back({b.text(), colour});
    }
    return lines;
  }
  QStringList LogTexts() const {
    QStringList texts;
    for (const LogLine& l : Log()) texts << l.text;
    return texts;
  }

  // Runs the event loop until the running command has ended; counts timer ticks meanwhile.
  void WaitForCommand(int* ticks = nullptr) {
    QElapsedTimer guard;
    guard.start();
    while (window->Runner().Busy() && guard.elapsed() < 120000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      if (ticks) ++*ticks;
    }
  }

  TempDir dir;
  std::unique_ptr<TForm1> window;
  QStringList questions, infos, messages;
  bool answer = true;
  std::vector<FileDialogRequest> requests;
  std::function<FileDialogAnswer(const FileDialogRequest&)> fileAnswer;

 private:
  ScopedCurrentDir here_;
};

// config.cfg lines in the form the settings file has them.
inline std::string Config(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace vexilo::gui::test
