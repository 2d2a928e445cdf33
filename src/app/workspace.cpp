#include "app/workspace.h"

#include <stdexcept>

#include "image/image_files.h"

namespace vexilo::app {

using image::ImageKind;
using image::MemoryImage;

Workspace::Workspace()
    : flash(ImageKind::AvrFlash, 0),
      eepromInt(ImageKind::Eeprom, 0),
      eepromExt(ImageKind::Eeprom, 0) {}

void Workspace::SetCardTypeText(const std::string& text) {
  cardTypeText_ = text;
  const CardType* card = Card();
  if (!card) return;
  image::ImageLayout layout = card->Layout();
  flash = MemoryImage(layout.flashKind, layout.flashWords);
  eepromInt = MemoryImage(ImageKind::Eeprom, layout.eepromIntBytes);
  SetupEepromExtImage();
}

void Workspace::SelectExtSize(int index) {
  const CardType* card = Card();
  if (!card || card->ExtSizeFixed() || index < 0 ||
      index >= static_cast<int>(card->extSizes.size())) {
    throw std::invalid_argument("this card type has no such external EEPROM size");
  }
  (card->panel == OptionPanel::Pic2 ? options.pic2.extSize : options.fun.extSize) = index;
  SetupEepromExtImage();
}

void Workspace::SetupEepromExtImage() {
  const CardType* card = Card();
  if (!card) return;
  eepromExt = MemoryImage(ImageKind::Eeprom, ExtEepromBytes(*card, options));
}

MemoryImage& Workspace::Image(ImageId id) {
  return id == ImageId::Flash ? flash : id == ImageId::EepromInt ? eepromInt : eepromExt;
}

const MemoryImage& Workspace::Image(ImageId id) const {
  return const_cast<Workspace*>(this)->Image(id);
}

avr::FuseDialog* Workspace::FuseDialogOfCard() {
  const CardType* card = Card();
  switch (card ? card->fuseDialog : FuseDialog::None) {
    case FuseDialog::ATmega128:
      return &fuse128;
    case FuseDialog::ATmega163:
      return &fuse163;
    case FuseDialog::ATmega8515:
      return &fuse8515;
    case FuseDialog::None:
      break;
  }
  return nullptr;
}

const char* ImageName(ImageId id) {
  switch (id) {
    case ImageId::Flash:
      return "flash";
    case ImageId::EepromInt:
      return "eeprom-int";
    case ImageId::EepromExt:
      return "eeprom-ext";
  }
  return "";
}

namespace {

const CardType& RequireImage(const Workspace& ws, ImageId id) {
  const CardType* card = ws.Card();
  if (!card) {
    throw std::invalid_argument("\"" + ws.CardTypeText() + "\" is not a card type");
  }
  // The PIC cards keep their internal EEPROM in the FLASH file.
  if (id == ImageId::EepromInt && card->family == Family::Pic) {
    throw std::invalid_argument(std::string(card->text) +
                                ": the internal EEPROM is loaded and saved with the FLASH file");
  }
  if (id == ImageId::EepromExt && !card->HasExternalEeprom()) {
    throw std::invalid_argument(std::string(card->text) + " has no external EEPROM");
  }
  return *card;
}

}  // namespace

namespace {

std::string SizeText(uint32_t bytes) {
  return bytes % 1024 == 0 ? std::to_string(bytes / 1024) + " KB"
                           : std::to_string(bytes) + " bytes";
}

}  // namespace

std::string LoadImageFile(Workspace& ws, ImageId id, const std::string& path,
                          EepromFileFormat format, std::string* note) {
  const CardType& card = RequireImage(ws, id);
  const bool bin = format == EepromFileFormat::ByName ? image::IsBinFileName(path)
                                                      : format == EepromFileFormat::Bin;
  uint32_t dropped = 0;
  uint32_t imageBytes = 0;
  switch (id) {
    case ImageId::Flash: {
      image::FlashFile file = image::LoadFlashHex(path, card.Layout());
      dropped = file.droppedBytes;
      imageBytes = file.flash.SizeBytes();
      ws.flash = std::move(file.flash);
      ws.eepromInt = std::move(file.eepromInt);
      if (card.family == Family::Pic) {
        SetPanelFromPicConfig(card, ws.options, {file.configLow, file.configHigh});
      }
      ws.flashFile = path;
      break;
    }
    case ImageId::EepromInt:
      imageBytes = card.eepromIntBytes;
      ws.eepromInt = bin ? image::LoadEepromBin(path, imageBytes, &dropped)
                         : image::LoadEepromIntHex(path, imageBytes, &dropped);
      ws.eepromIntFile = path;
      break;
    case ImageId::EepromExt: {
      imageBytes = ExtEepromBytes(card, ws.options);
      ws.eepromExt = bin ? image::LoadEepromBin(path, imageBytes, &dropped)
                         : image::LoadEepromExtHex(path, imageBytes, &dropped);
      ws.eepromExtFile = path;
      break;
    }
  }
  if (note) {
    *note = dropped == 0 ? std::string()
                         : path + ": " + std::to_string(dropped) + " bytes outside the " +
                               SizeText(imageBytes) + " image were not loaded";
  }
  return path;
}

std::string SaveImageFile(Workspace& ws, ImageId id, const std::string& path) {
  const CardType& card = RequireImage(ws, id);
  std::string name = image::HexFileName(path);
  if (id == ImageId::Flash) {
    image::FlashFile file{ws.flash, ws.eepromInt};
    if (card.family == Family::Pic) {
      PicConfigBytes config = PicConfigFromPanel(card, ws.options);
      file.configLow = config.low;
      file.configHigh = config.high;
    }
    image::SaveFlashHex(name, file);
    ws.flashFile = name;
  } else {
    image::SaveEepromHex(name, ws.Image(id));
    (id == ImageId::EepromInt ? ws.eepromIntFile : ws.eepromExtFile) = name;
  }
  return name;
}

}  // namespace vexilo::app
