#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "sim/adapter/adapter.h"
#include "sim/avr/avr_chip.h"
#include "sim/isa/isa_wiring.h"
#include "sim/pic/pic_chip.h"

namespace vexilo::sim {

enum class CardType { FunCard, WaferCard, PicCard2, BlackCard, AtmegaCard, NeooCard };

// One row of the simulated card catalogue.
struct CardTypeInfo {
  CardType type;
  std::string_view text;  // the card type as the program names it
  std::string_view key;   // short name for command lines and the card state file
  ChipFamily family;
  AvrModel avr;            // when family is Avr
  PicModel pic;            // when family is Pic
  uint32_t eepromDefault;  // 24Cxx bytes fitted by default; 0 = no 24Cxx on the card
};

std::span<const CardTypeInfo> CardTypes();
const CardTypeInfo& InfoFor(CardType type);
// Finds a card type by its full text or its key ("fun", "wafer", "pic2", "black", "atmega",
// "neoo").
std::optional<CardType> CardTypeFromName(std::string_view name);

// The card type whose chip is named so ("atmega163", "PIC16F876"; any case): the card to put
// in the reader for a chip.
std::optional<CardType> CardTypeWithChip(std::string_view chipName);
// The chip names CardTypeWithChip takes, for help texts.
inline constexpr const char* kSimChipNames =
    "at90s8515|atmega8515|atmega163|atmega128|pic16f84|pic16f876";

// The ISA card's chip core and contacts for a card type with a 24Cxx, else null. simavr has no
// core for the AVR cards' chips; its ATmega16 stands in for them.
const IsaWiring* IsaWiringFor(CardType type);

// The 24Cxx sizes a card may carry: 2, 8, 16, 32 and 64 KB.
std::span<const uint32_t> ExternalEepromSizes();
bool IsExternalEepromSize(uint32_t bytes);

}  // namespace vexilo::sim
