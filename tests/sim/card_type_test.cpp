#include "sim/card/card_type.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vexilo::sim {
namespace {

TEST(CardTypes, EveryRowIsFoundByTextAndKeyAndHasAValidEeprom) {
  std::set<std::string_view> names;
  for (const auto& info : CardTypes()) {
    EXPECT_TRUE(names.insert(info.text).second) << info.text;
    EXPECT_TRUE(names.insert(info.key).second) << info.key;
    EXPECT_EQ(CardTypeFromName(info.text), info.type);
    EXPECT_EQ(CardTypeFromName(info.key), info.type);
    EXPECT_EQ(&InfoFor(info.type), &info);
    if (info.type == CardType::BlackCard) {
      EXPECT_EQ(info.eepromDefault, 0u);
    } else {
      EXPECT_TRUE(IsExternalEepromSize(info.eepromDefault)) << info.text;
    }
  }
  EXPECT_EQ(names.size(), 12u);
  EXPECT_FALSE(CardTypeFromName("Fun Card"));
  EXPECT_EQ(InfoFor(CardType::WaferCard).eepromDefault, 2048u);
  EXPECT_EQ(InfoFor(CardType::PicCard2).family, ChipFamily::Pic);
  EXPECT_EQ(InfoFor(CardType::BlackCard).avr, AvrModel::ATmega128);
}

TEST(CardTypes, ExternalEepromSizesAreThe24CxxParts) {
  for (uint32_t size : {2048u, 8192u, 16384u, 32768u, 65536u})
    EXPECT_TRUE(IsExternalEepromSize(size));
  for (uint32_t size : {0u, 1024u, 4096u, 131072u}) EXPECT_FALSE(IsExternalEepromSize(size));
}

}  // namespace
}  // namespace vexilo::sim

namespace vexilo::sim {
namespace {

// The ISA card can stand in for exactly the cards with a 24Cxx, on three distinct contacts.
TEST(CardTypes, EveryCardWithA24CxxHasItsIsaWiring) {
  for (const CardTypeInfo& info : CardTypes()) {
    const IsaWiring* wiring = IsaWiringFor(info.type);
    EXPECT_EQ(wiring != nullptr, info.eepromDefault != 0) << info.text;
    if (!wiring) continue;
    EXPECT_EQ(wiring->core.starts_with("p16"), info.family == ChipFamily::Pic) << info.text;
    EXPECT_TRUE(wiring->io != wiring->sda && wiring->sda != wiring->scl &&
                wiring->io != wiring->scl)
        << info.text;
  }
}

}  // namespace
}  // namespace vexilo::sim
