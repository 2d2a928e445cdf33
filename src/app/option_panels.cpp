#include "app/option_panels.h"

#include <array>
#include <stdexcept>

namespace vexilo::app {
namespace {

constexpr std::array<const char*, 4> kOscillators{"LP", "XT", "HS", "RC"};
// Code protection texts by the value of configuration bits 5-4.
constexpr std::array<const char*, 4> kCodeProtection{"CP 0000-1FFF", "CP 1000-1FFF", "CP 1F00-1FFF",
                                                     "CP OFF"};

uint8_t IndexOf(const auto& texts, const std::string& text) {
  for (size_t i = 0; i < texts.size(); ++i) {
    if (text == texts[i]) return static_cast<uint8_t>(i);
  }
  return 0;  // any other text counts as the first
}

uint8_t Bit(bool set, uint8_t mask) { return set ? mask : 0; }

struct BoolControl {
  const char* name;
  bool* value;
};

std::vector<BoolControl> BoolControls(const CardType& card, OptionPanels& p) {
  switch (card.panel) {
    case OptionPanel::Fun:
      if (!card.lockBitBoxes) return {};
      return {{"CheckBox1", &p.fun.checkBox1}, {"CheckBox2", &p.fun.checkBox2}};
    case OptionPanel::Pic:
      return {{"CheckBox3", &p.pic.checkBox3},
              {"CheckBox4", &p.pic.checkBox4},
              {"CheckBox5", &p.pic.checkBox5}};
    case OptionPanel::Pic2:
      return {{"CheckBox6", &p.pic2.checkBox6},   {"CheckBox7", &p.pic2.checkBox7},
              {"CheckBox9", &p.pic2.checkBox9},   {"CheckBox8", &p.pic2.checkBox8},
              {"CheckBox10", &p.pic2.checkBox10}, {"CheckBox11", &p.pic2.checkBox11}};
  }
  return {};
}

struct TextControl {
  const char* name;
  std::string* value;
  const char* const* choices;
  size_t count;
};

std::vector<TextControl> TextControls(const CardType& card, OptionPanels& p) {
  switch (card.panel) {
    case OptionPanel::Pic:
      return {{"ComboBox1", &p.pic.comboBox1, kOscillators.data(), kOscillators.size()}};
    case OptionPanel::Pic2:
      return {{"ComboBox2", &p.pic2.comboBox2, kOscillators.data(), kOscillators.size()},
              {"ComboBox3", &p.pic2.comboBox3, kCodeProtection.data(), kCodeProtection.size()}};
    case OptionPanel::Fun:
      break;
  }
  return {};
}

int* ExtSizeSelection(const CardType& card, OptionPanels& p) {
  if (!card.HasExternalEeprom() || card.ExtSizeFixed()) return nullptr;
  return card.panel == OptionPanel::Pic2 ? &p.pic2.extSize : &p.fun.extSize;
}

}  // namespace

PicConfigBytes PicConfigFromPanel(const CardType& card, const OptionPanels& p) {
  if (card.panel == OptionPanel::Pic) {
    uint8_t low = IndexOf(kOscillators, p.pic.comboBox1) | Bit(p.pic.checkBox3, 0x04) |
                  Bit(!p.pic.checkBox4, 0x08) | Bit(!p.pic.checkBox5, 0x10);
    return {low, 0x3F};
  }
  uint8_t low = IndexOf(kOscillators, p.pic2.comboBox2) | Bit(p.pic2.checkBox6, 0x04) |
                Bit(!p.pic2.checkBox7, 0x08) |
                static_cast<uint8_t>(IndexOf(kCodeProtection, p.pic2.comboBox3) << 4) |
                Bit(p.pic2.checkBox9, 0x40) | Bit(p.pic2.checkBox8, 0x80);
  uint8_t high = 0x3C | Bit(p.pic2.checkBox10, 0x01) | Bit(p.pic2.checkBox11, 0x02);
  return {low, high};
}

void SetPanelFromPicConfig(const CardType& card, OptionPanels& p, PicConfigBytes config) {
  uint8_t l = config.low;
  uint8_t h = config.high;
  if (card.panel == OptionPanel::Pic) {
    p.pic.comboBox1 = kOscillators[l & 3];
    p.pic.checkBox3 = l & 0x04;
    p.pic.checkBox4 = !(l & 0x08);
    p.pic.checkBox5 = !(l & 0x10);
  } else if (card.panel == OptionPanel::Pic2) {
    p.pic2.comboBox2 = kOscillators[l & 3];
    p.pic2.checkBox6 = l & 0x04;
    p.pic2.checkBox7 = !(l & 0x08);
    p.pic2.comboBox3 = kCodeProtection[(l >> 4) & 3];
    p.pic2.checkBox9 = l & 0x40;
    p.pic2.checkBox8 = l & 0x80;
    p.pic2.checkBox10 = h & 0x01;
    p.pic2.checkBox11 = h & 0x02;
  }
}

uint16_t PicChipConfigWord(const CardType& card, const OptionPanels& panels) {
  const PicConfigBytes bytes = PicConfigFromPanel(card, panels);
  if (card.panel != OptionPanel::Pic) return static_cast<uint16_t>(bytes.high << 8 | bytes.low);
  const bool unprotected = (bytes.low & 0x10) != 0;
  return static_cast<uint16_t>(0x3F00 | (bytes.low & 0x0F) | (unprotected ? 0xF0 : 0x00));
}

std::vector<std::pair<std::string, std::string>> OptionValues(const CardType& card,
                                                              const OptionPanels& panels) {
  OptionPanels p = panels;  // the control lists point into the copy
  std::vector<std::pair<std::string, std::string>> out;
  for (const TextControl& c : TextControls(card, p)) out.emplace_back(c.name, *c.value);
  for (const BoolControl& c : BoolControls(card, p)) out.emplace_back(c.name, *c.value ? "1" : "0");
  if (const int* size = ExtSizeSelection(card, p)) {
    for (size_t i = 0; i < card.extSizes.size(); ++i) {
      out.emplace_back(std::string(card.extSizes[i].button),
                       *size == static_cast<int>(i) ? "1" : "0");
    }
  }
  return out;
}

void SetOptionValue(const CardType& card, OptionPanels& p, const std::string& name,
                    const std::string& value) {
  for (const TextControl& c : TextControls(card, p)) {
    if (name != c.name) continue;
    for (size_t i = 0; i < c.count; ++i) {
      if (value == c.choices[i]) {
        *c.value = value;
        return;
      }
    }
    throw std::invalid_argument(name + " cannot be \"" + value + "\"");
  }
  bool on = value == "1";
  if (!on && value != "0") {
    throw std::invalid_argument(name + " takes 0 or 1, not \"" + value + "\"");
  }
  for (const BoolControl& c : BoolControls(card, p)) {
    if (name == c.name) {
      *c.value = on;
      return;
    }
  }
  if (int* size = ExtSizeSelection(card, p)) {
    for (size_t i = 0; i < card.extSizes.size(); ++i) {
      if (name != card.extSizes[i].button) continue;
      if (on) *size = static_cast<int>(i);
      // A radio button is cleared by checking another one.
      else if (*size == static_cast<int>(i)) {
        throw std::invalid_argument(name + "=0: check another size button instead");
      }
      return;
    }
  }
  throw std::invalid_argument("\"" + name + "\" is not a control of the " + std::string(card.text) +
                              " option panel");
}

uint32_t ExtEepromBytes(const CardType& card, const OptionPanels& panels) {
  if (!card.HasExternalEeprom()) return 0;
  if (card.ExtSizeFixed()) return card.extSizes[0].bytes;
  int index = card.panel == OptionPanel::Pic2 ? panels.pic2.extSize : panels.fun.extSize;
  return card.extSizes[static_cast<size_t>(index)].bytes;
}

}  // namespace vexilo::app
