#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/card_catalogue.h"

namespace vexilo::app {

// `gfun`: the AT90S8515 lock bit choices and the external EEPROM size of the AVR cards.
struct FunPanel {
  bool checkBox1 = false;  // "Bit 1"
  bool checkBox2 = false;  // "Bit 2"
  int extSize = 0;         // checked one of c64, c128, c256, C512
};

// `gpic`: the PIC16F84 configuration word.
struct PicPanel {
  std::string comboBox1 = "LP";  // oscillator
  bool checkBox3 = false;        // "WDT"
  bool checkBox4 = false;        // "PWRT"
  bool checkBox5 = false;        // "CP"
};

// `gpic2`: the PIC16F876 configuration word and external EEPROM size.
struct Pic2Panel {
  std::string comboBox2 = "LP";      // oscillator
  std::string comboBox3 = "CP OFF";  // code protection
  bool checkBox6 = false;            // "WDT"
  bool checkBox7 = false;            // "PWRT"
  bool checkBox9 = false;            // "BODEN"
  bool checkBox8 = false;            // "LVP"
  bool checkBox10 = false;           // "CPD"
  bool checkBox11 = false;           // "WRT"
  int extSize = 0;                   // checked one of c64_, c128_
};

struct OptionPanels {
  FunPanel fun;
  PicPanel pic;
  Pic2Panel pic2;
};

// The configuration word of a PIC card as its program file holds it (low byte, high byte).
struct PicConfigBytes {
  uint8_t low = 0xFF;
  uint8_t high = 0xFF;
};

// Builds the configuration word from the card's panel, and sets the panel from one. The two
// are inverse for every panel state, so a saved file loads back to the same settings.
PicConfigBytes PicConfigFromPanel(const CardType& card, const OptionPanels& panels);
void SetPanelFromPicConfig(const CardType& card, OptionPanels& panels, PicConfigBytes config);

// The configuration word as the card's chip takes it. The same bits as the file's word, but
// on the PIC16F84 "CP" sets or clears all four code protection bits 7-4.
uint16_t PicChipConfigWord(const CardType& card, const OptionPanels& panels);

// The option controls of the card's panel as component name and value ("ComboBox1", "RC";
// "CheckBox3", "1"; "c64", "1"), in the order they stand on the panel.
std::vector<std::pair<std::string, std::string>> OptionValues(const CardType& card,
                                                              const OptionPanels& panels);

// Sets one control of the card's panel by component name. Throws std::invalid_argument for a
// name the panel does not have or a value the control cannot take.
void SetOptionValue(const CardType& card, OptionPanels& panels, const std::string& name,
                    const std::string& value);

// The size of the external EEPROM the card's size buttons select (0: none).
uint32_t ExtEepromBytes(const CardType& card, const OptionPanels& panels);

}  // namespace vexilo::app
