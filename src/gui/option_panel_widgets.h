#pragma once
#include <QFrame>
#include <vector>

#include "app/option_panels.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;

namespace vexilo::gui {

// The three option panels below the log, one per card family. Their controls are the
// workspace's option panels: a change of a control changes the model at once, and Sync() shows
// the model again (after a "read config" or a PIC file load changed it).
class OptionPanelWidget : public QFrame {
  Q_OBJECT
 public:
  OptionPanelWidget(const char* name, app::OptionPanels& options, QWidget* parent);
  virtual void Sync() = 0;
  // Enables or disables every control of the panel; the panel itself keeps taking the
  // double-click that stops a running operation.
  void SetControlsEnabled(bool enabled);

 signals:
  // A size radio button was clicked: `index` of the card's external EEPROM size choices.
  void ExtSizeChosen(int index);
  void DoubleClicked();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  // Puts `widget` at `x`, centred in the panel's height, at its preferred width; returns the
  // x after it.
  int Place(QWidget* widget, int x, int width = 0);
  QCheckBox* AddCheckBox(const char* name, const char* caption, bool* value);
  QRadioButton* AddSizeButton(const char* name, const char* caption, int index);
  // Shows the check boxes' values and checks size button `extSize`.
  void SyncBoxes(int extSize);

  app::OptionPanels& options_;
  std::vector<QRadioButton*> sizeButtons_;
  std::vector<std::pair<QCheckBox*, bool*>> boxes_;
};

// `gfun`: "Bit 1", "Bit 2", the FUSE buttons and the 24C64 .. 24C512 size buttons.
class FunPanelWidget final : public OptionPanelWidget {
  Q_OBJECT
 public:
  FunPanelWidget(app::OptionPanels& options, QWidget* parent);
  void Sync() override;

  QPushButton* fuse;
  QPushButton* button39;
  QPushButton* button40;
};

// `gpic`: the PIC16F84 configuration word.
class PicPanelWidget final : public OptionPanelWidget {
  Q_OBJECT
 public:
  PicPanelWidget(app::OptionPanels& options, QWidget* parent);
  void Sync() override;

 private:
  QComboBox* oscillator_;
};

// `gpic2`: the PIC16F876 configuration word and the 24C64 / 24C128 size buttons.
class Pic2PanelWidget final : public OptionPanelWidget {
  Q_OBJECT
 public:
  Pic2PanelWidget(app::OptionPanels& options, QWidget* parent);
  void Sync() override;

 private:
  QComboBox* oscillator_;
  QComboBox* protection_;
};

}  // namespace vexilo::gui
