#include "app/card_catalogue.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace vexilo::app {
namespace {

constexpr std::array<ExtSizeChoice, 4> kFunSizes{{
    {"c64", "24C64", 8 * 1024},
    {"c128", "24C128", 16 * 1024},
    {"c256", "24C256", 32 * 1024},
    {"C512", "24C512", 64 * 1024},
}};
constexpr std::array<ExtSizeChoice, 2> kPic2Sizes{{
    {"c64_", "24C64", 8 * 1024},
    {"c128_", "24C128", 16 * 1024},
}};
constexpr std::array<ExtSizeChoice, 1> kWaferSize{{{"", "24C16", 2 * 1024}}};

constexpr std::string_view kAvrLoader = "loader/loader_at90s8515.hex";

const std::array<CardType, 6> kCardTypes{{
    {.text = "Fun Card - 90S8515 + 24Cxx",
     .alias = "fun",
     .chip = Chip::AT90S8515,
     .family = Family::Avr,
     .flashWords = 4096,
     .eepromIntBytes = 512,
     .extSizes = kFunSizes,
     .panel = OptionPanel::Fun,
     .lockBitBoxes = true,
     .fuseDialog = FuseDialog::None,
     .loaderFile = kAvrLoader},
    {.text = "Wafer Card - 16F84 + 24C16",
     .alias = "wafer",
     .chip = Chip::PIC16F84,
     .family = Family::Pic,
     .flashWords = 1024,
     .eepromIntBytes = 64,
     .extSizes = kWaferSize,
     .panel = OptionPanel::Pic,
     .lockBitBoxes = false,
     .fuseDialog = FuseDialog::None,
     .loaderFile = "loader/loader_pic16f84.hex"},
    {.text = "Pic Card 2 - 16F876 + 24Cxx",
     .alias = "pic2",
     .chip = Chip::PIC16F876,
     .family = Family::Pic,
     .flashWords = 8192,
     .eepromIntBytes = 256,
     .extSizes = kPic2Sizes,
     .panel = OptionPanel::Pic2,
     .lockBitBoxes = false,
     .fuseDialog = FuseDialog::None,
     .loaderFile = "loader/loader_pic16f876.hex"},
    {.text = "Black Card - ATMega128",
     .alias = "black",
     .chip = Chip::ATmega128,
     .family = Family::Avr,
     .flashWords = 65536,
     .eepromIntBytes = 4096,
     .extSizes = {},
     .panel = OptionPanel::Fun,
     .lockBitBoxes = false,
     .fuseDialog = FuseDialog::ATmega128,
     .loaderFile = ""},
    {.text = "ATMega Card - ATMega163 + 24Cx",
     .alias = "atmega",
     .chip = Chip::ATmega163,
     .family = Family::Avr,
     .flashWords = 8192,
     .eepromIntBytes = 512,
     .extSizes = kFunSizes,
     .panel = OptionPanel::Fun,
     .lockBitBoxes = false,
     .fuseDialog = FuseDialog::ATmega163,
     .loaderFile = kAvrLoader},
    {.text = "NeooCard - ATMega8515 + 24Cx",
     .alias = "neoo",
     .chip = Chip::ATmega8515,
     .family = Family::Avr,
     .flashWords = 4096,
     .eepromIntBytes = 512,
     .extSizes = kFunSizes,
     .panel = OptionPanel::Fun,
     .lockBitBoxes = true,
     .fuseDialog = FuseDialog::ATmega8515,
     .loaderFile = kAvrLoader},
}};

}  // namespace

image::ImageLayout CardType::Layout() const {
  bool pic = family == Family::Pic;
  return {.flashKind = pic ? image::ImageKind::PicFlash : image::ImageKind::AvrFlash,
          .flashWords = flashWords,
          .eepromIntBytes = eepromIntBytes,
          // The ATmega128's FLASH fills the whole 128 KB a file can address below its EEPROM.
          .eepromAfterFlash = !pic && chip != Chip::ATmega128};
}

std::span<const CardType> CardTypes() { return kCardTypes; }

const CardType* FindCardType(std::string_view text) {
  for (const CardType& card : kCardTypes) {
    if (card.text == text) return &card;
  }
  return nullptr;
}

const CardType* FindCardTypeByName(std::string_view name) {
  // A person types "Fun" or "FUN" as often as "fun".
  auto same = [](std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) ==
                    std::tolower(static_cast<unsigned char>(y));
           });
  };
  for (const CardType& card : kCardTypes) {
    if (same(card.text, name) || same(card.alias, name)) return &card;
  }
  return nullptr;
}

}  // namespace vexilo::app
