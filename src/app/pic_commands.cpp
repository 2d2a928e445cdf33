// The command sequences of the two PIC card types.
#include "app/chip_check.h"
#include "app/command_frames.h"
#include "app/option_panels.h"
#include "app/write_speed.h"
#include "extee/loader_install.h"
#include "image/hex_to_int.h"
#include "pic/pic_operations.h"

namespace vexilo::app {
namespace {

using pic::PicChip;
using pic::PicContext;

// The PIC frame: the operations enter and leave programming mode themselves; after an
// exception MCLR is brought down before the session closes. A chip that is not the card
// type's runs no operation of a write, except where every step `testsErrorFlag` (the
// programming sequences, which then end with their error line).
void RunPicFrame(Workspace& ws, Rig& rig, port::Operator& op, const FrameOps& ops,
                 bool burst = true, bool testsErrorFlag = false) {
  RunFrame(
      ws, rig, op, AdapterMode::Pic, burst, "PIC",
      [&](PicContext& ctx) {
        if (CheckPicChip(ws, ctx) || testsErrorFlag) ops(ctx);
      },
      [](PicContext& ctx, bool threw) {
        if (threw) ctx.session.SetMCLR(0);
      });
}

// The PIC protocol has no acknowledge: with no card in the reader, or the adapter still in
// another mode, every read gives the level the data line rests at. A read that is all blank
// or all zero says so in one line of its own; it does not fail, as a blank chip reads so too.
constexpr char kNoChipHint[] = " - is the card in the reader and the adapter in PIC mode?";

void HintUniformRead(port::Operator& op, const char* name, const image::MemoryImage& image,
                     uint16_t blank) {
  const uint16_t first = image.Cells() ? image.Cell(0) : blank;
  if (first != blank && first != 0) return;
  for (uint32_t i = 1; i < image.Cells(); ++i) {
    if (image.Cell(i) != first) return;
  }
  op.Log(std::string(name) + " : every cell reads " +
         image::ToHex(first, image.Kind() == image::ImageKind::Eeprom ? 2 : 4) + kNoChipHint);
}

void HintZeroConfig(port::Operator& op, const char* name) {
  op.Log(std::string(name) + " : the configuration word reads 0000" + kNoChipHint);
}

void ReadFlash(Workspace& ws, PicContext& ctx, PicChip chip) {
  pic::ReadFlash(ctx, chip, ws.flash);
  HintUniformRead(ctx.op, "PIC READ FLASH", ws.flash, 0x3FFF);
}

void ReadEepromInt(Workspace& ws, PicContext& ctx, PicChip chip) {
  pic::ReadEepromInt(ctx, chip, ws.eepromInt);
  HintUniformRead(ctx.op, "PIC READ EEPROM INT", ws.eepromInt, 0xFF);
}

// The bulk erase sends no read, so the configuration word is read once afterwards: an erased
// chip gives 3FFF there, a missing one most often 0000. Anything but 3FFF is an erase that did
// not happen.
void EraseAndLook(PicContext& ctx, PicChip chip) {
  pic::Erase(ctx, chip);
  port::PortSession& s = ctx.session;
  s.SetMCLR(1);
  pic::LoadConfigWord(s, 0x3FFF);
  pic::PicCommand(s, pic::cmd::kReadProgram);
  const uint16_t word = pic::PicReadData(s);
  s.SetMCLR(0);
  if (s.LineFailed()) return;  // the session has named the port's fault
  if (word == 0) HintZeroConfig(ctx.op, "PIC ERASE");
  if (word != 0x3FFF) {
    ctx.errorFlag = 1;
    ctx.op.LogError(chip == PicChip::PIC16F84 ? "PIC ERASE : ERROR" : "PIC ERASE FLASH : ERROR");
  }
}

void ReadConfig(Workspace& ws, PicContext& ctx, PicChip chip) {
  const CardType& card = *ws.Card();
  uint16_t load = PicChipConfigWord(card, ws.options);
  // The PIC16F876 word is built on 0x3F00 here; it is only the data of Load Configuration.
  if (chip == PicChip::PIC16F876) load = static_cast<uint16_t>((load - 0x3C00 + 0x3F00) & 0x3FFF);
  if (auto word = pic::ReadConfigWord(ctx, chip, load)) {
    if (*word == 0) HintZeroConfig(ctx.op, "PIC READ CONFIG BIT");
    SetPanelFromPicConfig(card, ws.options,
                          {static_cast<uint8_t>(*word & 0xFF), static_cast<uint8_t>(*word >> 8)});
  }
}

void WriteConfig(Workspace& ws, PicContext& ctx, PicChip chip) {
  const uint16_t word = PicChipConfigWord(*ws.Card(), ws.options);
  pic::WriteConfigWord(ctx, chip, word, ws.settings.picDelay);
  // The PIC16F876 word carries CP1:CP0 twice; the data sheet enables the protection only when
  // both copies agree, and the word built from the panel keeps bits 13-12 at 11.
  if (chip == PicChip::PIC16F876 && ((word >> 4) & 3) != ((word >> 12) & 3)) {
    ctx.op.Log(
        "PIC WRITE CONFIG BIT : CP1:CP0 in bits 13-12 and 5-4 differ - the PIC16F876 "
        "data sheet leaves such code protection undefined");
  }
}

// Erase, EEPROM, FLASH, configuration word; each step only while no earlier one failed. The
// FLASH write follows the erase, so Fast write may use the programming-only cycle.
void ProgramChip(Workspace& ws, PicContext& ctx, PicChip chip) {
  const std::string& delay = ws.settings.picDelay;
  const pic::WriteCycle cycle = PicCycleAfterErase(ws.settings);
  if (!ws.ErrorFlag) pic::Erase(ctx, chip);
  if (!ws.ErrorFlag) pic::WriteEepromInt(ctx, chip, ws.eepromInt, delay);
  if (!ws.ErrorFlag) {
    pic::WriteFlash(ctx, chip, ws.flash, delay, cycle);
    if (!ws.ErrorFlag && pic::HasProgramOnlyCycle(chip)) {
      FastWriteHint(ws.settings, ctx.op, pic::EraseProgramFlashWriteUs(chip, ws.flash, delay));
    }
  }
  if (!ws.ErrorFlag) WriteConfig(ws, ctx, chip);
}

// The chip's own memories, then the result line.
void ProgramWithoutLoader(Workspace& ws, Rig& rig, port::Operator& op, PicChip chip) {
  ws.ErrorFlag = 0;
  RunPicFrame(
      ws, rig, op,
      [&](PicContext& ctx) {
        ProgramChip(ws, ctx, chip);
        ResultLine(ws, ctx.op, "PIC WRITE");
      },
      true, true);
}

bool RunPicRow(Command command, Workspace& ws, Rig& rig, port::Operator& op, PicChip chip) {
  const std::string& delay = ws.settings.picDelay;
  switch (command) {
    case Command::ReadFlash:
      RunPicFrame(ws, rig, op, [&](PicContext& c) { ReadFlash(ws, c, chip); });
      return true;
    case Command::ReadEepromInt:
      RunPicFrame(ws, rig, op, [&](PicContext& c) { ReadEepromInt(ws, c, chip); });
      return true;
    case Command::ReadFlashEepromInt:
      RunPicFrame(ws, rig, op, [&](PicContext& c) {
        ReadEepromInt(ws, c, chip);
        ReadFlash(ws, c, chip);
      });
      // The configuration word in a session of its own, without another burst.
      RunPicFrame(
          ws, rig, op, [&](PicContext& c) { ReadConfig(ws, c, chip); }, false);
      return true;
    case Command::ReadConfig:
      RunPicFrame(
          ws, rig, op, [&](PicContext& c) { ReadConfig(ws, c, chip); }, false);
      return true;
    case Command::ProgramFlash:
      RunPicFrame(ws, rig, op, [&](PicContext& c) { pic::WriteFlash(c, chip, ws.flash, delay); });
      return true;
    case Command::ProgramEepromInt:
      RunPicFrame(ws, rig, op,
                  [&](PicContext& c) { pic::WriteEepromInt(c, chip, ws.eepromInt, delay); });
      return true;
    case Command::ProgramFlashEepromInt:
      ProgramWithoutLoader(ws, rig, op, chip);
      return true;
    case Command::VerifyFlash:
      RunPicFrame(ws, rig, op, [&](PicContext& c) { pic::VerifyFlash(c, chip, ws.flash); });
      return true;
    case Command::VerifyEepromInt:
      RunPicFrame(ws, rig, op, [&](PicContext& c) { pic::VerifyEepromInt(c, chip, ws.eepromInt); });
      return true;
    case Command::VerifyFlashEepromInt:
      RunPicFrame(ws, rig, op, [&](PicContext& c) {
        pic::VerifyEepromInt(c, chip, ws.eepromInt);
        pic::VerifyFlash(c, chip, ws.flash);
      });
      return true;
    case Command::Erase:
      if (!op.AskYesNo(EraseQuestion(ws))) return true;
      RunPicFrame(
          ws, rig, op, [&](PicContext& c) { EraseAndLook(c, chip); }, false);
      return true;
    case Command::SetBits:
      RunPicFrame(ws, rig, op, [&](PicContext& c) { WriteConfig(ws, c, chip); });
      return true;
    case Command::ReadEepromExt:
    case Command::ProgramEepromExt:
    case Command::ProgramFull:
    case Command::VerifyEepromExt:
    case Command::Detect:
      return false;
  }
  return false;
}

}  // namespace

bool RunFullPicProgramming(Workspace& ws, Rig& rig, port::Operator& op) {
  const Chip card = ws.Card()->chip;
  const std::optional<extee::LoaderFamily> family = LoaderFamilyOf(*ws.Card());
  if ((card != Chip::PIC16F84 && card != Chip::PIC16F876) || !family) return false;
  const PicChip chip = card == Chip::PIC16F84 ? PicChip::PIC16F84 : PicChip::PIC16F876;
  const std::string& delay = ws.settings.picDelay;
  ws.ErrorFlag = 0;
  RunPicFrame(
      ws, rig, op,
      [&](PicContext& ctx) {
        if (!ws.ErrorFlag) pic::Erase(ctx, chip);
        if (!ws.ErrorFlag) {
          if (auto loader = CardLoader(ws, rig, op, *family)) {
            extee::WritePicLoader(ctx, chip, *loader, delay, PicCycleAfterErase(ws.settings));
          }
        }
      },
      true, true);
  // The PIC16F84 loader takes longer to start than the PIC16F876 one.
  const unsigned settleMs = chip == PicChip::PIC16F84 ? 1500 : 1000;
  if (!ws.ErrorFlag) WriteExtEepromStep(ws, rig, op, settleMs);
  if (!ws.ErrorFlag) {
    RunPicFrame(
        ws, rig, op, [&](PicContext& ctx) { ProgramChip(ws, ctx, chip); }, true, true);
  }
  ResultLine(ws, op, "PIC WRITE");
  return true;
}

bool RunPicCommand(Command command, Workspace& ws, Rig& rig, port::Operator& op) {
  const Chip chip = ws.Card()->chip;
  if (chip != Chip::PIC16F84 && chip != Chip::PIC16F876) return false;
  return RunPicRow(command, ws, rig, op,
                   chip == Chip::PIC16F84 ? PicChip::PIC16F84 : PicChip::PIC16F876);
}

}  // namespace vexilo::app
