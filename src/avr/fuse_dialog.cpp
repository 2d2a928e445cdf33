#include "avr/fuse_dialog.h"

#include <stdexcept>
#include <string>

namespace vexilo::avr {
namespace {

using B = FuseByte;

// Boxes in the order the dialogs show them, bit 7 first; a checked box is a programmed bit.
constexpr FuseBox kMega128Boxes[] = {
    {"ocden", "OCDEN", B::High, 7, false},      {"jtagen", "JTAGEN", B::High, 6, true},
    {"spien", "SPIEN", B::High, 5, true},       {"ckopt", "CKOPT", B::High, 4, true},
    {"eesave", "EESAVE", B::High, 3, false},    {"bootsz1", "BOOTSZ1", B::High, 2, true},
    {"bootsz0", "BOOTSZ0", B::High, 1, true},   {"bootrst", "BOOTRST", B::High, 0, false},
    {"bodlevel", "BODLEVEL", B::Low, 7, false}, {"boden", "BODEN", B::Low, 6, false},
    {"sut1", "SUT1", B::Low, 5, false},         {"sut0", "SUT0", B::Low, 4, true},
    {"cksel3", "CKSEL3", B::Low, 3, false},     {"cksel2", "CKSEL2", B::Low, 2, false},
    {"cksel1", "CKSEL1", B::Low, 1, false},     {"cksel0", "CKSEL0", B::Low, 0, true},
    {"m103c", "M103C", B::Extended, 1, false},  {"wdton", "WDTON", B::Extended, 0, false},
    {"blb12", "BLB12", B::Lock, 5, false},      {"blb11", "BLB11", B::Lock, 4, false},
    {"blb02", "BLB02", B::Lock, 3, false},      {"blb01", "BLB01", B::Lock, 2, false},
    {"lb2", "LB2", B::Lock, 1, false},          {"lb1", "LB1", B::Lock, 0, false},
};

constexpr FuseBox kMega163Boxes[] = {
    {"bootsz1", "BOOTSZ1", B::High, 2, true},  {"bootsz0", "BOOTSZ0", B::High, 1, true},
    {"bootrst", "BOOTRST", B::High, 0, false}, {"bodlevel", "BODLEVEL", B::Low, 7, false},
    {"boden", "BODEN", B::Low, 6, false},      {"cksel3", "CKSEL3", B::Low, 3, false},
    {"cksel2", "CKSEL2", B::Low, 2, false},    {"cksel1", "CKSEL1", B::Low, 1, false},
    {"cksel0", "CKSEL0", B::Low, 0, true},     {"blb12", "BLB12", B::Lock, 5, false},
    {"blb11", "BLB11", B::Lock, 4, false},     {"blb02", "BLB02", B::Lock, 3, false},
    {"blb01", "BLB01", B::Lock, 2, false},     {"lb2", "LB2", B::Lock, 1, false},
    {"lb1", "LB1", B::Lock, 0, false},
};

// The ATmega8515 dialog reuses the ATmega128 component names for fuse high bits 7 and 6.
constexpr FuseBox kMega8515Boxes[] = {
    {"ocden", "S8515C", B::High, 7, false},     {"jtagen", "WDTON", B::High, 6, false},
    {"spien", "SPIEN", B::High, 5, true},       {"ckopt", "CKOPT", B::High, 4, true},
    {"eesave", "EESAVE", B::High, 3, false},    {"bootsz1", "BOOTSZ1", B::High, 2, true},
    {"bootsz0", "BOOTSZ0", B::High, 1, true},   {"bootrst", "BOOTRST", B::High, 0, false},
    {"bodlevel", "BODLEVEL", B::Low, 7, false}, {"boden", "BODEN", B::Low, 6, false},
    {"sut1", "SUT1", B::Low, 5, false},         {"sut0", "SUT0", B::Low, 4, true},
    {"cksel3", "CKSEL3", B::Low, 3, false},     {"cksel2", "CKSEL2", B::Low, 2, false},
    {"cksel1", "CKSEL1", B::Low, 1, false},     {"cksel0", "CKSEL0", B::Low, 0, true},
    {"blb12", "BLB12", B::Lock, 5, false},      {"blb11", "BLB11", B::Lock, 4, false},
    {"blb02", "BLB02", B::Lock, 3, false},      {"blb01", "BLB01", B::Lock, 2, false},
    {"lb2", "LB2", B::Lock, 1, false},          {"lb1", "LB1", B::Lock, 0, false},
};

struct DialogRow {
  AvrChip chip;
  std::string_view form;
  std::string_view caption;
  std::span<const FuseBox> boxes;
};

constexpr DialogRow kDialogs[] = {
    {AvrChip::ATmega128, "TForm2", "FUSE ATMega128", kMega128Boxes},
    {AvrChip::ATmega163, "TForm3", "FUSE ATMega163", kMega163Boxes},
    {AvrChip::ATmega8515, "TForm4", "FUSE ATMega8515", kMega8515Boxes},
};

const DialogRow& RowFor(AvrChip chip) {
  for (const DialogRow& row : kDialogs) {
    if (row.chip == chip) return row;
  }
  throw std::invalid_argument("the AT90S8515 has no fuse dialog");
}

}  // namespace

FuseDialog FuseDialog::ForChip(AvrChip chip) { return FuseDialog(chip); }

FuseDialog::FuseDialog(AvrChip chip) : chip_(chip) {
  const auto boxes = RowFor(chip).boxes;
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i].checkedAtStart) checked_ |= uint64_t{1} << i;
  }
}

std::string_view FuseDialog::Caption() const { return RowFor(chip_).caption; }

std::string_view FuseDialog::FormName() const { return RowFor(chip_).form; }

std::span<const FuseBox> FuseDialog::Boxes() const { return RowFor(chip_).boxes; }

bool FuseDialog::HasByte(FuseByte byte) const {
  for (const FuseBox& box : Boxes()) {
    if (box.byte == byte) return true;
  }
  return false;
}

size_t FuseDialog::IndexOf(std::string_view component) const {
  const auto boxes = Boxes();
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i].component == component) return i;
  }
  throw std::invalid_argument("no check box '" + std::string(component) + "' in " +
                              std::string(Caption()));
}

bool FuseDialog::Checked(std::string_view component) const {
  return (checked_ >> IndexOf(component) & 1) != 0;
}

void FuseDialog::SetChecked(std::string_view component, bool checked) {
  const uint64_t mask = uint64_t{1} << IndexOf(component);
  checked_ = checked ? (checked_ | mask) : (checked_ & ~mask);
}

uint8_t FuseDialog::Byte(FuseByte byte) const {
  const auto boxes = Boxes();
  uint8_t value = 0;
  for (size_t i = 0; i < boxes.size(); ++i) {
    const bool checked = (checked_ >> i & 1) != 0;
    if (boxes[i].byte == byte && !checked) value |= static_cast<uint8_t>(1u << boxes[i].bit);
  }
  return value;
}

void FuseDialog::SetFromByte(FuseByte byte, uint8_t value) {
  const auto boxes = Boxes();
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i].byte != byte) continue;
    const bool programmed = (value >> boxes[i].bit & 1) == 0;
    const uint64_t mask = uint64_t{1} << i;
    checked_ = programmed ? (checked_ | mask) : (checked_ & ~mask);
  }
}

}  // namespace vexilo::avr
