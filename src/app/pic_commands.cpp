// The command sequences of the two PIC card types.
#include "app/command_frames.h"
#include "app/option_panels.h"
#include "app/write_speed.h"
#include "extee/loader_install.h"
#include "pic/pic_operations.h"

namespace vexilo::app {
namespace {

using pic::PicChip;
using pic::PicContext;

// The PIC frame: the operations enter and leave programming mode themselves; after an
// exception MCLR is brought down before the session closes.
void RunPicFrame(Workspace& ws, Rig& rig, port::Operator& op, const FrameOps& ops,
                 bool burst = true) {
  RunFrame(ws, rig, op, AdapterMode::Pic, burst, "PIC", ops, [](PicContext& ctx, bool threw) {
    if (threw) ctx.session.SetMCLR(0);
  });
}

void ReadConfig(Workspace& ws, PicContext& ctx, PicChip chip) {
  const CardType& card = *ws.Card();
  uint16_t load = PicChipConfigWord(card, ws.options);
  // The PIC16F876 word is built on 0x3F00 here; it is only the data of Load Configuration.
  if (chip == PicChip::PIC16F876) load = static_cast<uint16_t>((load - 0x3C00 + 0x3F00) & 0x3FFF);
  if (auto word = pic::ReadConfigWord(ctx, chip, load)) {
    SetPanelFromPicConfig(card, ws.options,
                          {static_cast<uint8_t>(*word & 0xFF), static_cast<uint8_t>(*word >> 8)});
  }
}

void WriteConfig(Workspace& ws, PicContext& ctx, PicChip chip) {
  pic::WriteConfigWord(ctx, chip, PicChipConfigWord(*ws.Card(), ws.options), ws.settings.picDelay);
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
  RunPicFrame(ws, rig, op, [&](PicContext& ctx) {
    ProgramChip(ws, ctx, chip);
    ResultLine(ws, ctx.op, "PIC WRITE");
  });
}

bool RunPicRow(Command command, Workspace& ws, Rig& rig, port::Operator& op, PicChip chip) {
  const std::string& delay = ws.settings.picDelay;
  switch (command) {
    case Command::ReadFlash:
      RunPicFrame(ws, rig, op, [&](PicContext& c) { pic::ReadFlash(c, chip, ws.flash); });
      return true;
    case Command::ReadEepromInt:
      RunPicFrame(ws, rig, op, [&](PicContext& c) { pic::ReadEepromInt(c, chip, ws.eepromInt); });
      return true;
    case Command::ReadFlashEepromInt:
      RunPicFrame(ws, rig, op, [&](PicContext& c) {
        pic::ReadEepromInt(c, chip, ws.eepromInt);
        pic::ReadFlash(c, chip, ws.flash);
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
      if (!op.AskYesNo(kEraseQuestion)) return true;
      RunPicFrame(
          ws, rig, op, [&](PicContext& c) { pic::Erase(c, chip); }, false);
      return true;
    case Command::SetBits:
      RunPicFrame(ws, rig, op, [&](PicContext& c) { WriteConfig(ws, c, chip); });
      return true;
    case Command::ReadEepromExt:
    case Command::ProgramEepromExt:
    case Command::ProgramFull:
    case Command::VerifyEepromExt:
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
  RunPicFrame(ws, rig, op, [&](PicContext& ctx) {
    if (!ws.ErrorFlag) pic::Erase(ctx, chip);
    if (!ws.ErrorFlag) {
      if (auto loader = CardLoader(ws, rig, op, *family)) {
        extee::WritePicLoader(ctx, chip, *loader, delay, PicCycleAfterErase(ws.settings));
      }
    }
  });
  // The PIC16F84 loader takes longer to start than the PIC16F876 one.
  const unsigned settleMs = chip == PicChip::PIC16F84 ? 1500 : 1000;
  if (!ws.ErrorFlag) WriteExtEepromStep(ws, rig, op, settleMs);
  if (!ws.ErrorFlag) {
    RunPicFrame(ws, rig, op, [&](PicContext& ctx) { ProgramChip(ws, ctx, chip); });
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
