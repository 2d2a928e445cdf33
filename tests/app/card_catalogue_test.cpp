#include "app/card_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vexilo::app {
namespace {

TEST(CardCatalogue, EveryRowIsComplete) {
  std::set<std::string_view> texts, aliases;
  std::set<Chip> chips;
  for (const CardType& card : CardTypes()) {
    SCOPED_TRACE(std::string(card.text));
    EXPECT_TRUE(texts.insert(card.text).second);
    EXPECT_TRUE(aliases.insert(card.alias).second);
    EXPECT_TRUE(chips.insert(card.chip).second);
    EXPECT_GT(card.flashWords, 0u);
    EXPECT_EQ(card.flashWords % 8, 0u);
    EXPECT_GT(card.eepromIntBytes, 0u);
    EXPECT_EQ(card.eepromIntBytes % 16, 0u);
    bool pic = card.chip == Chip::PIC16F84 || card.chip == Chip::PIC16F876;
    EXPECT_EQ(card.family == Family::Pic, pic);
    EXPECT_EQ(card.panel == OptionPanel::Fun, !pic);
    // A card with an external EEPROM needs a loader to reach it.
    EXPECT_EQ(card.HasExternalEeprom(), !card.loaderFile.empty());
    for (const ExtSizeChoice& size : card.extSizes) EXPECT_EQ(size.bytes % 2048, 0u);
    EXPECT_EQ(FindCardType(card.text), &card);
    EXPECT_EQ(FindCardTypeByName(card.alias), &card);
  }
  EXPECT_EQ(texts.size(), 6u);
  EXPECT_NE(FindCardType(kDefaultCardType), nullptr);
}

TEST(CardCatalogue, SizesOfTheSixCards) {
  const CardType* black = FindCardType("Black Card - ATMega128");
  ASSERT_NE(black, nullptr);
  EXPECT_EQ(black->flashWords, 65536u);
  EXPECT_EQ(black->eepromIntBytes, 4096u);
  EXPECT_FALSE(black->HasExternalEeprom());
  EXPECT_EQ(black->fuseDialog, FuseDialog::ATmega128);
  EXPECT_FALSE(black->Layout().eepromAfterFlash);
  const CardType* wafer = FindCardType("Wafer Card - 16F84 + 24C16");
  ASSERT_NE(wafer, nullptr);
  EXPECT_TRUE(wafer->ExtSizeFixed());
  EXPECT_EQ(wafer->extSizes[0].bytes, 2048u);
  EXPECT_EQ(FindCardType("Pic Card 2 - 16F876 + 24Cxx")->extSizes.size(), 2u);
  EXPECT_EQ(FindCardType("NeooCard - ATMega8515 + 24Cx")->extSizes.back().button, "C512");
}

TEST(CardCatalogue, TextsThatNameNoCardType) {
  // The box's design-time text looks like a card type but is none.
  EXPECT_EQ(FindCardType("Fun Card - 90S8515 + 24C64"), nullptr);
  EXPECT_EQ(FindCardType("fun card - 90s8515 + 24cxx"), nullptr);
  EXPECT_EQ(FindCardType("fun"), nullptr);
  EXPECT_EQ(FindCardType(""), nullptr);
}

}  // namespace
}  // namespace vexilo::app
