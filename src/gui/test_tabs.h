#pragma once
#include <QWidget>

namespace vexilo::gui {

class CommandRunner;

// The tab "Test KO-VAD": single adapter lines switched and read by hand, on four small tabs
// ("RS", "PH", "AVR", "PIC"), each with "Open Port" and "Close Port".
class TestKoVadPage final : public QWidget {
  Q_OBJECT
 public:
  explicit TestKoVadPage(CommandRunner& runner, QWidget* parent = nullptr);

 private:
  CommandRunner& runner_;
};

// The tab "Test KO-VAD2": the three adapter mode bursts sent by hand.
class TestKoVad2Page final : public QWidget {
  Q_OBJECT
 public:
  explicit TestKoVad2Page(CommandRunner& runner, QWidget* parent = nullptr);

 signals:
  // What became of a burst, for the status bar.
  void BurstReport(const QString& text);

 private:
  CommandRunner& runner_;
};

}  // namespace vexilo::gui
