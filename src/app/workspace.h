#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/card_catalogue.h"
#include "app/language_pack.h"
#include "app/option_panels.h"
#include "app/settings.h"
#include "avr/fuse_dialog.h"
#include "image/memory_image.h"

namespace vexilo::app {

enum class ImageId { Flash, EepromInt, EepromExt };

// The whole state of a run that the window owns: the card type text, the three memory images,
// the option panels, the Setup values, the error and stop flags.
class Workspace {
 public:
  Workspace();

  // The card type box: any text. A text that names a card type sizes and blanks the three
  // images for it; any other text leaves them as they were.
  void SetCardTypeText(const std::string& text);
  const std::string& CardTypeText() const { return cardTypeText_; }
  // The card type the text names, or null.
  const CardType* Card() const { return FindCardType(cardTypeText_); }

  // Checks the external EEPROM size button `index` of the card's group and blanks that image.
  void SelectExtSize(int index);
  // Sizes and blanks the external EEPROM image for the card and the checked size button.
  void SetupEepromExtImage();

  image::MemoryImage& Image(ImageId id);
  const image::MemoryImage& Image(ImageId id) const;
  image::MemoryImage flash;
  image::MemoryImage eepromInt;
  image::MemoryImage eepromExt;

  // The file each image came from or went to, for the group box captions.
  std::string flashFile, eepromIntFile, eepromExtFile;

  OptionPanels options;
  // The fuse dialogs "FUSE ATMega128", "FUSE ATMega163", "FUSE ATMega8515".
  avr::FuseDialog fuse128 = avr::FuseDialog::ForChip(avr::AvrChip::ATmega128);
  avr::FuseDialog fuse163 = avr::FuseDialog::ForChip(avr::AvrChip::ATmega163);
  avr::FuseDialog fuse8515 = avr::FuseDialog::ForChip(avr::AvrChip::ATmega8515);
  // The fuse dialog of the card type, or null.
  avr::FuseDialog* FuseDialogOfCard();

  Settings settings;
  // Where the settings came from, for messages: the settings file, or the Setup tab.
  std::string settingsSource = "Setup";
  // The replaceable texts: the window's own until a language pack is applied.
  LanguageTexts texts = BuiltInTexts();
  // The pack's texts of the window's own questions and messages, by name.
  WindowTexts windowTexts;

  uint8_t ErrorFlag = 0;
  // The chip check of the command that runs: whether the command writes to the chip, and
  // whether the chip in the reader has been looked at yet (once per command).
  struct ChipCheck {
    bool writes = false;
    bool done = false;
  };
  ChipCheck chipCheck;
  // The card type texts the last "Detect card" found fitting (empty: nothing answered).
  std::vector<std::string> detected;
  std::atomic<uint8_t> StopRequest{0};

 private:
  std::string cardTypeText_;
};

// Loading and saving the images of the workspace's card type. Each throws (image::FileError
// naming the file and line, or std::invalid_argument when the card type has no such image)
// and then leaves every image as it was. Loads and saves return the file name used.
// How an EEPROM image file is read: by its name (".bin" is raw bytes), or as the file
// dialog's filter says.
enum class EepromFileFormat { ByName, Hex, Bin };
// `note`, when given, gets a line for bytes of the file that lie outside the image ("N bytes
// outside the 8 KB image were not loaded"), or is emptied.
std::string LoadImageFile(Workspace& ws, ImageId id, const std::string& path,
                          EepromFileFormat format = EepromFileFormat::ByName,
                          std::string* note = nullptr);
std::string SaveImageFile(Workspace& ws, ImageId id, const std::string& path);

// The name used on the command line and in messages: "flash", "eeprom-int", "eeprom-ext".
const char* ImageName(ImageId id);

}  // namespace vexilo::app
