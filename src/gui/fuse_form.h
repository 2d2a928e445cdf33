#pragma once
#include <QDialog>

#include "avr/fuse_dialog.h"

namespace vexilo::gui {

// One of the fuse dialogs "FUSE ATMega128" (TForm2), "FUSE ATMega163" (TForm3) and
// "FUSE ATMega8515" (TForm4): a check box per fuse or lock bit of the model, shown modally by
// the card's FUSE button. The boxes are the model's state: a click changes the model, and the
// boxes show the model again each time the dialog opens (a "read config" changes it).
class FuseForm final : public QDialog {
  Q_OBJECT
 public:
  FuseForm(avr::FuseDialog& model, QWidget* parent = nullptr);

  // Sets every box from the model.
  void SyncFromModel();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  avr::FuseDialog& model_;
};

}  // namespace vexilo::gui
