// The command sequences of the four AVR card types.
#include <array>

#include "app/chip_check.h"
#include "app/command_frames.h"
#include "app/write_speed.h"
#include "avr/avr_operations.h"
#include "avr/chip_table.h"
#include "extee/loader_install.h"
#include "image/hex_to_int.h"

namespace vexilo::app {
namespace {

using avr::AvrChip;
using avr::AvrContext;
using avr::EraseVariant;

// Which routine variant each AVR card type runs for each operation.
struct AvrCardRow {
  Chip card;
  AvrChip read;         // READ FLASH, READ EEPROM INT
  AvrChip verifyFlash;  // VERYFI FLASH
  AvrChip eeprom;       // VERYFI EEPROM INT, WRITE EEPROM INT
  AvrChip writeFlash;   // WRITE FLASH
  AvrChip config;       // WRITE / READ CONFIG BIT
  EraseVariant erase;
  bool readsConfig;  // "Odczytaj ustawienia karty" is enabled
};

// The ATmega8515 is read with the AT90S8515 routines and its EEPROM written and verified with
// the ATmega163 ones (same sizes, same page-less EEPROM access).
constexpr std::array<AvrCardRow, 4> kAvrCards{{
    {Chip::AT90S8515, AvrChip::AT90S8515, AvrChip::AT90S8515, AvrChip::AT90S8515,
     AvrChip::AT90S8515, AvrChip::AT90S8515, EraseVariant::Pause10Ms, false},
    {Chip::ATmega8515, AvrChip::AT90S8515, AvrChip::ATmega8515, AvrChip::ATmega163,
     AvrChip::ATmega8515, AvrChip::ATmega8515, EraseVariant::Pause20Ms, true},
    {Chip::ATmega163, AvrChip::ATmega163, AvrChip::ATmega163, AvrChip::ATmega163,
     AvrChip::ATmega163, AvrChip::ATmega163, EraseVariant::Pause20Ms, true},
    {Chip::ATmega128, AvrChip::ATmega128, AvrChip::ATmega128, AvrChip::ATmega128,
     AvrChip::ATmega128, AvrChip::ATmega128, EraseVariant::Pause20Ms, true},
}};

const AvrCardRow* AvrRowFor(const CardType& card) {
  for (const AvrCardRow& row : kAvrCards) {
    if (row.card == card.chip) return &row;
  }
  return nullptr;
}

// The AVR frame: mode burst, session, programming mode, the operations, and everything undone
// again in reverse order, also when an operation throws. `leaveProgrammingMode` false: the
// session is closed with the chip still in programming mode, as the config-bit commands do.
// `spiFailureIsError`: a chip that does not enter programming mode sets the error flag.
// A chip that is not the card type's runs no operation of a write, except where every step
// `testsErrorFlag` (the programming sequences, which then end with their error line).
void RunAvrFrame(Workspace& ws, Rig& rig, port::Operator& op, const FrameOps& ops,
                 bool leaveProgrammingMode = true, bool spiFailureIsError = false,
                 bool testsErrorFlag = false) {
  bool inProgrammingMode = false;
  RunFrame(
      ws, rig, op, AdapterMode::Avr, true, "ATMEL SPI",
      [&](AvrContext& ctx) {
        if (!avr::AtmelSpiOn(ctx)) {
          if (spiFailureIsError) ws.ErrorFlag = 1;
          return;
        }
        inProgrammingMode = true;
        if (!CheckAvrChip(ws, ctx) && !testsErrorFlag) {
          if (!leaveProgrammingMode) avr::AtmelSpiOff(ctx);
          return;
        }
        ops(ctx);
      },
      [&](AvrContext& ctx, bool threw) {
        if (inProgrammingMode && (leaveProgrammingMode || threw)) avr::AtmelSpiOff(ctx);
      });
}

// The card chip's own erase time, which the pause after the erase instruction must cover.
unsigned EraseTimeMs(const AvrCardRow& row) { return avr::ChipRow(row.writeFlash).eraseTimeMs; }

// The chip erase, waiting until the chip's program memory reads blank.
void EraseChip(AvrContext& ctx, const AvrCardRow& row, EraseVariant erase) {
  avr::ChipErase(ctx, erase, EraseTimeMs(row), avr::ChipRow(row.writeFlash).flashWords);
}

// The ATmega163 takes up to 16 ms to program a FLASH page in serial programming mode (its
// data sheet), and it has no polling this program uses: the FLASH writes wait at least that
// long whatever the Write Delay says, and the log says so once.
void NoteFlashWriteFloor(const Workspace& ws, port::Operator& op, const AvrCardRow& row) {
  const avr::AvrChipRow& chip = avr::ChipRow(row.writeFlash);
  const unsigned delayMs = image::DecimalToByte(ws.settings.avrDelay);
  if (delayMs >= chip.flashPageFloorMs) return;
  op.Log("ATMEL WRITE FLASH : Write Delay " + std::to_string(delayMs) + " ms - the " + chip.name +
         " writes a page in up to " + std::to_string(chip.flashPageFloorMs) + " ms: waiting " +
         std::to_string(chip.flashPageFloorMs) + " ms");
}

void WriteConfigBits(Workspace& ws, AvrContext& ctx, const AvrCardRow& row) {
  if (row.config == AvrChip::AT90S8515) {
    avr::WriteLockBits(ctx, ws.options.fun.checkBox1, ws.options.fun.checkBox2);
  } else {
    avr::WriteConfig(ctx, *ws.FuseDialogOfCard());
  }
}

// "ATMEL WRITE FLASH" as the Fast write setting has it; without it, a long write is followed
// by the hint.
void WriteFlash(Workspace& ws, AvrContext& ctx, const AvrCardRow& row) {
  avr::WriteFlash(ctx, row.writeFlash, ws.flash, ws.settings.avrDelay, AvrWriteWait(ws.settings));
  if (ctx.errorFlag) return;
  FastWriteHint(ws.settings, ctx.op,
                avr::FixedDelayFlashWriteUs(row.writeFlash, ws.flash, ws.settings.avrDelay));
}

// Erase, programming mode again (a chip that does not enter it sets the error flag), EEPROM,
// FLASH, configuration; each step only while no earlier one failed.
void ProgramChip(Workspace& ws, AvrContext& ctx, const AvrCardRow& row, EraseVariant erase) {
  if (!ws.ErrorFlag) EraseChip(ctx, row, erase);
  if (!ws.ErrorFlag && !avr::AtmelSpiOn(ctx)) {
    ws.ErrorFlag = 1;
    return;
  }
  if (!ws.ErrorFlag) {
    avr::WriteEepromInt(ctx, row.eeprom, ws.eepromInt, ws.settings.avrDelay,
                        AvrWriteWait(ws.settings));
  }
  if (!ws.ErrorFlag) WriteFlash(ws, ctx, row);
  if (!ws.ErrorFlag) WriteConfigBits(ws, ctx, row);
}

void ProgramWithoutLoader(Workspace& ws, Rig& rig, port::Operator& op, const AvrCardRow& row) {
  ws.ErrorFlag = 0;
  RunAvrFrame(
      ws, rig, op,
      [&](AvrContext& ctx) {
        ProgramChip(ws, ctx, row, row.erase);
        avr::AtmelSpiOff(ctx);
        ResultLine(ws, ctx.op, "ATMEL WRITE");
      },
      false, false, true);
}

// Runs the AVR row of `command`; false when the card type has no such command.
bool RunAvrRow(Command command, Workspace& ws, Rig& rig, port::Operator& op,
               const AvrCardRow& row) {
  const std::string& delay = ws.settings.avrDelay;
  switch (command) {
    case Command::ReadFlash:
      RunAvrFrame(ws, rig, op, [&](AvrContext& c) { avr::ReadFlash(c, row.read, ws.flash); });
      return true;
    case Command::ReadEepromInt:
      RunAvrFrame(ws, rig, op,
                  [&](AvrContext& c) { avr::ReadEepromInt(c, row.read, ws.eepromInt); });
      return true;
    case Command::ReadFlashEepromInt:
      RunAvrFrame(ws, rig, op, [&](AvrContext& c) {
        avr::ReadEepromInt(c, row.read, ws.eepromInt);
        avr::ReadFlash(c, row.read, ws.flash);
      });
      return true;
    case Command::ReadConfig:
      if (!row.readsConfig) return false;
      RunAvrFrame(
          ws, rig, op, [&](AvrContext& c) { avr::ReadConfig(c, *ws.FuseDialogOfCard()); }, false);
      return true;
    case Command::ProgramFlash:
      NoteFlashWriteFloor(ws, op, row);
      RunAvrFrame(ws, rig, op, [&](AvrContext& c) { WriteFlash(ws, c, row); });
      return true;
    case Command::ProgramEepromInt:
      RunAvrFrame(ws, rig, op, [&](AvrContext& c) {
        avr::WriteEepromInt(c, row.eeprom, ws.eepromInt, delay, AvrWriteWait(ws.settings));
      });
      return true;
    case Command::ProgramFlashEepromInt:
      NoteFlashWriteFloor(ws, op, row);
      ProgramWithoutLoader(ws, rig, op, row);
      return true;
    case Command::VerifyFlash:
      RunAvrFrame(ws, rig, op,
                  [&](AvrContext& c) { avr::VerifyFlash(c, row.verifyFlash, ws.flash); });
      return true;
    case Command::VerifyEepromInt:
      RunAvrFrame(ws, rig, op,
                  [&](AvrContext& c) { avr::VerifyEepromInt(c, row.eeprom, ws.eepromInt); });
      return true;
    case Command::VerifyFlashEepromInt:
      RunAvrFrame(ws, rig, op, [&](AvrContext& c) {
        avr::VerifyEepromInt(c, row.eeprom, ws.eepromInt);
        avr::VerifyFlash(c, row.verifyFlash, ws.flash);
      });
      return true;
    case Command::Erase:
      if (!op.AskYesNo(EraseQuestion(ws))) return true;
      RunAvrFrame(ws, rig, op, [&](AvrContext& c) { EraseChip(c, row, row.erase); });
      return true;
    case Command::SetBits:
      RunAvrFrame(
          ws, rig, op, [&](AvrContext& c) { WriteConfigBits(ws, c, row); }, false);
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

// The chip's own memories after the loader's work: erase, programming mode again, EEPROM,
// FLASH, configuration. A programming mode that cannot be entered, before or after the erase,
// is an error of the sequence: the chip still holds the loader, or nothing at all.
void ProgramChipAfterLoader(Workspace& ws, Rig& rig, port::Operator& op, const AvrCardRow& row) {
  RunAvrFrame(
      ws, rig, op, [&](AvrContext& ctx) { ProgramChip(ws, ctx, row, EraseVariant::Pause10Ms); },
      true, true, true);
}

}  // namespace

bool RunFullAvrProgramming(Workspace& ws, Rig& rig, port::Operator& op) {
  const AvrCardRow* row = AvrRowFor(*ws.Card());
  const std::optional<extee::LoaderFamily> family = LoaderFamilyOf(*ws.Card());
  if (!row || !family) return false;
  NoteFlashWriteFloor(ws, op, *row);
  ws.ErrorFlag = 0;
  // The loader: erase, programming mode again, the loader's words. Programming mode that
  // cannot be entered ends the sequence.
  bool spiOn = false;
  RunFrame(
      ws, rig, op, AdapterMode::Avr, true, "ATMEL SPI",
      [&](AvrContext& ctx) {
        if (!avr::AtmelSpiOn(ctx)) {
          ws.ErrorFlag = 1;
          return;
        }
        spiOn = true;
        CheckAvrChip(ws, ctx);  // a chip that is not the card's sets the error flag
        if (!ws.ErrorFlag) EraseChip(ctx, *row, EraseVariant::Pause10Ms);
        if (!ws.ErrorFlag && !avr::AtmelSpiOn(ctx)) ws.ErrorFlag = 1;
        if (!ws.ErrorFlag) {
          if (auto loader = CardLoader(ws, rig, op, *family)) {
            extee::WriteAvrLoader(ctx, row->writeFlash, *loader, ws.settings.avrDelay,
                                  AvrWriteWait(ws.settings));
          }
        }
      },
      [&](AvrContext& ctx, bool) {
        if (spiOn) avr::AtmelSpiOff(ctx);
      });
  constexpr unsigned kPhoenixSettleMs = 1000;
  constexpr unsigned kBetweenMs = 200;
  if (!ws.ErrorFlag) WriteExtEepromStep(ws, rig, op, kPhoenixSettleMs);
  rig.Backend().Time().SleepMs(kBetweenMs);
  if (!ws.ErrorFlag) ProgramChipAfterLoader(ws, rig, op, *row);
  ResultLine(ws, op, "ATMEL WRITE");
  return true;
}

bool RunAvrCommand(Command command, Workspace& ws, Rig& rig, port::Operator& op) {
  const AvrCardRow* row = AvrRowFor(*ws.Card());
  return row && RunAvrRow(command, ws, rig, op, *row);
}

}  // namespace vexilo::app
