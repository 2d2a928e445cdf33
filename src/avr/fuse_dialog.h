#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "avr/avr_chip.h"

namespace vexilo::avr {

enum class FuseByte { High, Low, Extended, Lock };

// One check box of a fuse dialog: a checked box is a programmed bit (0).
struct FuseBox {
  std::string_view component;  // "ocden", "cksel0", "lb1" ...
  std::string_view caption;    // "OCDEN", "S8515C" ...
  FuseByte byte;
  uint8_t bit;  // 0 .. 7
  bool checkedAtStart;
};

// The state of the fuse dialog of an ATmega chip ("FUSE ATMega128", "FUSE ATMega163",
// "FUSE ATMega8515"): its boxes start as the dialog shows them and keep their state for the
// whole run.
class FuseDialog {
 public:
  // The dialog of an ATmega chip; the AT90S8515 has none (its lock bits are two boxes of the
  // main window).
  static FuseDialog ForChip(AvrChip chip);

  AvrChip Chip() const { return chip_; }
  std::string_view Caption() const;
  // The dialog's class name: "TForm2" (ATmega128), "TForm3" (ATmega163), "TForm4" (ATmega8515).
  std::string_view FormName() const;
  std::span<const FuseBox> Boxes() const;
  bool HasByte(FuseByte byte) const;  // the ATmega128 alone has the extended fuse byte

  // Throws std::invalid_argument for a component the dialog does not have.
  bool Checked(std::string_view component) const;
  void SetChecked(std::string_view component, bool checked);

  // The byte the boxes make: checked = 0, unchecked = 1, bits without a box 0.
  uint8_t Byte(FuseByte byte) const;
  // Checks every box whose bit is 0 and unchecks those whose bit is 1; other bits are ignored.
  void SetFromByte(FuseByte byte, uint8_t value);

 private:
  explicit FuseDialog(AvrChip chip);
  size_t IndexOf(std::string_view component) const;
  AvrChip chip_;
  uint64_t checked_ = 0;  // bit i: box i of Boxes()
};

}  // namespace vexilo::avr
