#include "app/option_panels.h"

#include <gtest/gtest.h>

namespace vexilo::app {
namespace {

const CardType& Wafer() { return *FindCardTypeByName("wafer"); }
const CardType& Pic2() { return *FindCardTypeByName("pic2"); }

TEST(PicConfig, Pic16F84WordFromThePanel) {
  OptionPanels p;
  p.pic.comboBox1 = "XT";
  p.pic.checkBox3 = true;   // WDT
  p.pic.checkBox4 = true;   // PWRT on: bit 3 clear
  p.pic.checkBox5 = false;  // CP off: bit 4 set
  PicConfigBytes c = PicConfigFromPanel(Wafer(), p);
  EXPECT_EQ(c.low, 0x15);
  EXPECT_EQ(c.high, 0x3F);
  p.pic.comboBox1 = "something else";
  EXPECT_EQ(PicConfigFromPanel(Wafer(), p).low & 3, 0);
}

TEST(PicConfig, Pic16F876WordFromThePanel) {
  OptionPanels p;
  p.pic2.comboBox2 = "HS";
  p.pic2.comboBox3 = "CP OFF";
  p.pic2.checkBox9 = true;   // BODEN
  p.pic2.checkBox10 = true;  // CPD
  p.pic2.checkBox11 = true;  // WRT
  PicConfigBytes c = PicConfigFromPanel(Pic2(), p);
  EXPECT_EQ(c.low, 0x7A);
  EXPECT_EQ(c.high, 0x3F);
}

TEST(PicConfig, ErasedWordSetsThePanels) {
  OptionPanels p;
  SetPanelFromPicConfig(Wafer(), p, {0xFF, 0xFF});
  EXPECT_EQ(p.pic.comboBox1, "RC");
  EXPECT_TRUE(p.pic.checkBox3);
  EXPECT_FALSE(p.pic.checkBox4);
  EXPECT_FALSE(p.pic.checkBox5);
  SetPanelFromPicConfig(Pic2(), p, {0xFF, 0xFF});
  EXPECT_EQ(p.pic2.comboBox3, "CP OFF");
  EXPECT_TRUE(p.pic2.checkBox9 && p.pic2.checkBox8 && p.pic2.checkBox10 && p.pic2.checkBox11);
  SetPanelFromPicConfig(Pic2(), p, {0x3F, 0x3F});
  EXPECT_EQ(p.pic2.comboBox2, "RC");
  EXPECT_TRUE(p.pic2.checkBox6);
  EXPECT_FALSE(p.pic2.checkBox7);
  EXPECT_FALSE(p.pic2.checkBox9);
  EXPECT_FALSE(p.pic2.checkBox8);
  EXPECT_TRUE(p.pic2.checkBox10);
  EXPECT_TRUE(p.pic2.checkBox11);
}

TEST(PicConfig, EveryPanelStateSurvivesTheWord) {
  for (const CardType* card : {&Wafer(), &Pic2()}) {
    for (unsigned low = 0; low < 256; ++low) {
      for (unsigned high : {0x3Cu, 0x3Du, 0x3Eu, 0x3Fu}) {
        OptionPanels p;
        SetPanelFromPicConfig(*card, p, {static_cast<uint8_t>(low), static_cast<uint8_t>(high)});
        PicConfigBytes word = PicConfigFromPanel(*card, p);
        OptionPanels again;
        SetPanelFromPicConfig(*card, again, word);
        EXPECT_EQ(OptionValues(*card, again), OptionValues(*card, p));
      }
    }
  }
}

TEST(OptionValues, ListsThePanelOfTheCard) {
  OptionPanels p;
  using List = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(OptionValues(*FindCardTypeByName("fun"), p), (List{{"CheckBox1", "0"},
                                                               {"CheckBox2", "0"},
                                                               {"c64", "1"},
                                                               {"c128", "0"},
                                                               {"c256", "0"},
                                                               {"C512", "0"}}));
  EXPECT_EQ(OptionValues(*FindCardTypeByName("atmega"), p).front().first, "c64");
  EXPECT_TRUE(OptionValues(*FindCardTypeByName("black"), p).empty());
  EXPECT_EQ(OptionValues(Pic2(), p).back(), (std::pair<std::string, std::string>{"c128_", "0"}));
}

TEST(SetOptionValue, ChecksNamesAndValues) {
  OptionPanels p;
  SetOptionValue(Wafer(), p, "ComboBox1", "HS");
  SetOptionValue(Wafer(), p, "CheckBox5", "1");
  EXPECT_EQ(p.pic.comboBox1, "HS");
  EXPECT_TRUE(p.pic.checkBox5);
  SetOptionValue(*FindCardTypeByName("fun"), p, "C512", "1");
  EXPECT_EQ(ExtEepromBytes(*FindCardTypeByName("fun"), p), 64u * 1024);
  EXPECT_THROW(SetOptionValue(Wafer(), p, "ComboBox1", "XX"), std::invalid_argument);
  EXPECT_THROW(SetOptionValue(Wafer(), p, "CheckBox3", "yes"), std::invalid_argument);
  EXPECT_THROW(SetOptionValue(Wafer(), p, "CheckBox6", "1"), std::invalid_argument);
  EXPECT_THROW(SetOptionValue(*FindCardTypeByName("black"), p, "c64", "1"), std::invalid_argument);
}

}  // namespace
}  // namespace vexilo::app
