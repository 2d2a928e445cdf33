#pragma once
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "app/settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace vexilo::gui {

// The "Setup" tab: ports, write delays, clock speeds, AutoMode, the language box and the two
// timing presets, plus how the ports are reached (simulator, x86 port I/O or a serial device).
// The controls are the settings: each change goes into the settings at once, and Sync() shows
// the settings again.
class SetupTab final : public QWidget {
  Q_OBJECT
 public:
  SetupTab(app::Settings& settings, QWidget* parent = nullptr);

  void Sync();
  // In its scroll area the tab takes the room there is and scrolls only below its minimum
  // size (the wrapped device list would ask for its full preferred height).
  int heightForWidth(int) const override { return minimumSizeHint().height(); }
  QComboBox* Lang() { return lang_; }

  // Shows the tab's own texts in the chosen language: tr(key, english) gives each text.
  using Translate = std::function<QString(const char* key, const char* english)>;
  void Retranslate(const Translate& tr);

 signals:
  // The port backend, its device or the COM ports changed: the status bar shows the new one.
  void PortChanged();
  void LanguageChosen(const QString& displayName);

 private:
  QWidget* BuildPorts();
  QWidget* BuildDelays();
  QWidget* BuildClocks();
  void PresetClicked(app::TimingPreset preset);
  void ShowDevice();
  // Runs show now and again at each Retranslate(); show takes its texts from T().
  void Shown(std::function<void()> show);
  QString T(const char* key, const char* english) const;

  Translate tr_;
  std::vector<std::function<void()>> shown_;

  app::Settings& settings_;
  std::array<QRadioButton*, 4> avrPicCom_{};
  std::array<QRadioButton*, 4> phoenixCom_{};
  QLineEdit* delayExt_ = nullptr;
  QLineEdit* atrDelay_ = nullptr;
  QLineEdit* picDelay_ = nullptr;
  QLineEdit* avrDelay_ = nullptr;
  QSlider* picClk_ = nullptr;
  QSlider* avrClk_ = nullptr;
  QLabel* picClkLabel_ = nullptr;
  QLabel* avrClkLabel_ = nullptr;
  QCheckBox* autoMode_ = nullptr;
  QCheckBox* verEeprom_ = nullptr;
  QCheckBox* fastWrite_ = nullptr;
  QCheckBox* writeAnyChip_ = nullptr;
  QComboBox* lang_ = nullptr;
  QComboBox* backend_ = nullptr;
  QComboBox* deviceCom_ = nullptr;
  QLineEdit* devicePath_ = nullptr;
  QComboBox* simCard_ = nullptr;  // the simulator's card on the Phoenix reader
};

// The port backends as the Setup tab offers them: settings name, text key and caption.
struct BackendChoice {
  const char* name;
  const char* key;
  const char* caption;
};
inline constexpr std::array<BackendChoice, 4> kBackendChoices{{
    {"sim", "BackendSim", "Simulator"},
    {"io", "BackendIo", "x86 port I/O"},
    {"tty", "BackendTty", "Serial device"},
    {"ftdi", "BackendFtdi", "FTDI USB adapter (fast)"},
}};

// The simulator's cards on the Phoenix reader: settings name, text key and caption.
inline constexpr std::array<BackendChoice, 2> kSimCardChoices{{
    {"behavioural", "SimCardModel", "Simulated card: loader model"},
    {"isa", "SimCardIsa", "Simulated card: ISA (chip on simavr/gpsim)"},
}};

}  // namespace vexilo::gui
