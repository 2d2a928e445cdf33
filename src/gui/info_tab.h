#pragma once
#include <QWidget>

namespace vexilo::gui {

// The "Info" tab: what the program serves (adapters and cards) and two pictures that open the
// data sheet pages of the two chip families in the browser.
class InfoTab final : public QWidget {
  Q_OBJECT
 public:
  explicit InfoTab(QWidget* parent = nullptr);
};

}  // namespace vexilo::gui
