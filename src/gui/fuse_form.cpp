#include "gui/fuse_form.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <vector>

namespace vexilo::gui {
namespace {

struct ByteGroup {
  avr::FuseByte byte;
  const char* title;
};

constexpr std::array<ByteGroup, 4> kGroups{{
    {avr::FuseByte::High, "Fuse High Byte"},
    {avr::FuseByte::Low, "Fuse Low Byte"},
    {avr::FuseByte::Extended, "Fuse Extended Byte"},
    {avr::FuseByte::Lock, "Lock Bits"},
}};

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

FuseForm::FuseForm(avr::FuseDialog& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName(Text(model.FormName()));
  setWindowTitle(Text(model.Caption()));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  std::vector<QGridLayout*> grids;
  int columnWidth = 0;
  for (const ByteGroup& group : kGroups) {
    if (!model.HasByte(group.byte)) continue;
    auto* box = new QGroupBox(group.title, this);
    auto* grid = new QGridLayout(box);
    grids.push_back(grid);
    // Bit 7 on the left, as the data sheets draw the byte; bits without a box leave a gap.
    for (const avr::FuseBox& fuse : model.Boxes()) {
      if (fuse.byte != group.byte) continue;
      auto* check = new QCheckBox(Text(fuse.caption), box);
      check->setObjectName(Text(fuse.component));
      check->setToolTip(QStringLiteral("bit %1: checked = programmed (0)").arg(fuse.bit));
      const std::string component(fuse.component);
      connect(check, &QCheckBox::toggled, this,
              [this, component](bool on) { model_.SetChecked(component, on); });
      grid->addWidget(check, 0, 7 - fuse.bit);
      columnWidth = std::max(columnWidth, check->sizeHint().width());
    }
    layout->addWidget(box);
  }
  // Eight columns of one width in every byte, empty ones too, so each box sits under its bit.
  for (QGridLayout* grid : grids) {
    for (int column = 0; column < 8; ++column) {
      grid->setColumnMinimumWidth(column, columnWidth);
      grid->setColumnStretch(column, 1);
    }
  }
  SyncFromModel();
}

void FuseForm::SyncFromModel() {
  for (const avr::FuseBox& fuse : model_.Boxes()) {
    if (auto* check = findChild<QCheckBox*>(Text(fuse.component))) {
      const QSignalBlocker quiet(check);
      check->setChecked(model_.Checked(fuse.component));
    }
  }
}

void FuseForm::showEvent(QShowEvent* event) {
  SyncFromModel();
  QDialog::showEvent(event);
}

}  // namespace vexilo::gui
