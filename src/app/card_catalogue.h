#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "image/image_files.h"

namespace vexilo::app {

enum class Family { Avr, Pic };
enum class Chip { AT90S8515, ATmega8515, ATmega163, ATmega128, PIC16F84, PIC16F876 };

// The option panel shown for a card type: `gfun` (AVR cards), `gpic` (PIC16F84) or `gpic2`
// (PIC16F876).
enum class OptionPanel { Fun, Pic, Pic2 };

// Which fuse dialog a card type's FUSE button opens, if any.
enum class FuseDialog { None, ATmega128, ATmega163, ATmega8515 };

// One external EEPROM size choice: its radio button and its size.
struct ExtSizeChoice {
  std::string_view button;  // component name: "c64", "c128", "c256", "C512", "c64_", "c128_"
  std::string_view part;    // "24C64" ...
  uint32_t bytes;
};

struct CardType {
  std::string_view text;   // the exact text of the card type box
  std::string_view alias;  // short name for the command line
  Chip chip;
  Family family;
  uint32_t flashWords;
  uint32_t eepromIntBytes;
  // The size choices of the external EEPROM, in the order their buttons are tested; a single
  // entry with an empty button name is a fixed size; none means no external EEPROM.
  std::span<const ExtSizeChoice> extSizes;
  OptionPanel panel;
  bool lockBitBoxes;  // "Bit 1", "Bit 2" on `gfun`
  FuseDialog fuseDialog;
  // The card loader programmed into the chip to reach the external EEPROM, relative to the
  // current directory; empty where the card has no external EEPROM.
  std::string_view loaderFile;

  bool HasExternalEeprom() const { return !extSizes.empty(); }
  bool ExtSizeFixed() const { return extSizes.size() == 1 && extSizes[0].button.empty(); }
  image::ImageLayout Layout() const;
};

// The six card types, in the order of the card type box.
std::span<const CardType> CardTypes();

// The card type whose text equals `text` exactly, or null: a text that matches no card type is
// a valid state in which no command acts.
const CardType* FindCardType(std::string_view text);

// The card type for a command-line name: the exact text or one of the aliases, in any case.
const CardType* FindCardTypeByName(std::string_view name);

// The text of the card type box when nothing has been saved yet.
inline constexpr std::string_view kDefaultCardType = "Fun Card - 90S8515 + 24Cxx";

}  // namespace vexilo::app
