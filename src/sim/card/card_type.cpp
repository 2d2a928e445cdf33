#include "sim/card/card_type.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <utility>

namespace vexilo::sim {

namespace {

constexpr std::array<CardTypeInfo, 6> kCards{{
    {CardType::FunCard, "Fun Card - 90S8515 + 24Cxx", "fun", ChipFamily::Avr, AvrModel::AT90S8515,
     PicModel::PIC16F84, 8192},
    {CardType::WaferCard, "Wafer Card - 16F84 + 24C16", "wafer", ChipFamily::Pic,
     AvrModel::AT90S8515, PicModel::PIC16F84, 2048},
    {CardType::PicCard2, "Pic Card 2 - 16F876 + 24Cxx", "pic2", ChipFamily::Pic,
     AvrModel::AT90S8515, PicModel::PIC16F876, 8192},
    {CardType::BlackCard, "Black Card - ATMega128", "black", ChipFamily::Avr, AvrModel::ATmega128,
     PicModel::PIC16F84, 0},
    {CardType::AtmegaCard, "ATMega Card - ATMega163 + 24Cx", "atmega", ChipFamily::Avr,
     AvrModel::ATmega163, PicModel::PIC16F84, 8192},
    {CardType::NeooCard, "NeooCard - ATMega8515 + 24Cx", "neoo", ChipFamily::Avr,
     AvrModel::ATmega8515, PicModel::PIC16F84, 8192},
}};

// The ISA card's chip core and where the card's contacts are (loaders/README.md).
constexpr std::array<std::pair<CardType, IsaWiring>, 5> kIsaWiring{{
    {CardType::FunCard, {"atmega16", "PB6", "PB0", "PB1"}},
    {CardType::NeooCard, {"atmega16", "PB6", "PB0", "PB1"}},
    {CardType::AtmegaCard, {"atmega16", "PB6", "PC1", "PC0"}},
    {CardType::WaferCard, {"p16f84", "RB7", "RB4", "RB5"}},
    {CardType::PicCard2, {"p16f876", "RB7", "RC4", "RC3"}},
}};

constexpr std::array<uint32_t, 5> kEepromSizes{2048, 8192, 16384, 32768, 65536};

}  // namespace

std::span<const CardTypeInfo> CardTypes() { return kCards; }

const CardTypeInfo& InfoFor(CardType type) {
  return *std::find_if(kCards.begin(), kCards.end(),
                       [type](const CardTypeInfo& info) { return info.type == type; });
}

std::optional<CardType> CardTypeFromName(std::string_view name) {
  for (const auto& info : kCards) {
    if (name == info.text || name == info.key) return info.type;
  }
  return std::nullopt;
}

std::optional<CardType> CardTypeWithChip(std::string_view chipName) {
  static constexpr std::pair<std::string_view, CardType> kChips[] = {
      {"at90s8515", CardType::FunCard},    {"atmega8515", CardType::NeooCard},
      {"atmega163", CardType::AtmegaCard}, {"atmega128", CardType::BlackCard},
      {"pic16f84", CardType::WaferCard},   {"pic16f876", CardType::PicCard2},
  };
  std::string lower(chipName);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& [name, card] : kChips) {
    if (lower == name) return card;
  }
  return std::nullopt;
}

const IsaWiring* IsaWiringFor(CardType type) {
  for (const auto& [card, wiring] : kIsaWiring) {
    if (card == type) return &wiring;
  }
  return nullptr;
}

std::span<const uint32_t> ExternalEepromSizes() { return kEepromSizes; }

bool IsExternalEepromSize(uint32_t bytes) {
  return std::find(kEepromSizes.begin(), kEepromSizes.end(), bytes) != kEepromSizes.end();
}

}  // namespace vexilo::sim
