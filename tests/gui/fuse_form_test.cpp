#include "gui/fuse_form.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>

namespace vexilo::gui {
namespace {

TEST(FuseForm, BoxesAreTheModelBothWays) {
  avr::FuseDialog model = avr::FuseDialog::ForChip(avr::AvrChip::ATmega128);
  FuseForm form(model);
  EXPECT_EQ(form.objectName(), "TForm2");
  EXPECT_EQ(form.windowTitle(), "FUSE ATMega128");
  for (const avr::FuseBox& box : model.Boxes()) {
    auto* check = form.findChild<QCheckBox*>(
        QString::fromUtf8(box.component.data(), qsizetype(box.component.size())));
    ASSERT_NE(check, nullptr) << box.component;
    EXPECT_EQ(check->isChecked(), box.checkedAtStart) << box.component;
  }
  form.findChild<QCheckBox*>("eesave")->click();
  EXPECT_TRUE(model.Checked("eesave"));
  EXPECT_EQ(model.Byte(avr::FuseByte::High), 0x89 & ~0x08);

  // A read of the chip changes the model while the dialog is closed; opening shows it.
  model.SetFromByte(avr::FuseByte::Lock, 0x3C);
  form.show();
  EXPECT_TRUE(form.findChild<QCheckBox*>("lb1")->isChecked());
  EXPECT_TRUE(form.findChild<QCheckBox*>("lb2")->isChecked());
  form.hide();
}

TEST(FuseForm, EachChipShowsOnlyItsBytes) {
  avr::FuseDialog mega163 = avr::FuseDialog::ForChip(avr::AvrChip::ATmega163);
  avr::FuseDialog mega8515 = avr::FuseDialog::ForChip(avr::AvrChip::ATmega8515);
  FuseForm form163(mega163);
  FuseForm form8515(mega8515);
  EXPECT_EQ(form163.objectName(), "TForm3");
  EXPECT_EQ(form8515.objectName(), "TForm4");
  EXPECT_EQ(form163.findChildren<QGroupBox*>().size(), 3);
  EXPECT_EQ(form163.findChild<QCheckBox*>("ocden"), nullptr);
  EXPECT_EQ(form8515.findChild<QCheckBox*>("ocden")->text(), "S8515C");
  EXPECT_EQ(form8515.findChild<QCheckBox*>("jtagen")->text(), "WDTON");
}

}  // namespace
}  // namespace vexilo::gui
