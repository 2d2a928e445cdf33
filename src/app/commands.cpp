#include "app/commands.h"

#include <array>
#include <functional>

#include "app/mode_switch.h"
#include "avr/avr_operations.h"

namespace vexilo::app {
namespace {

using avr::AvrChip;
using avr::AvrContext;
using avr::EraseVariant;

// Which routine variant each AVR card type runs for each operation.
struct AvrCardRow {
  Chip card;
  AvrChip read;          // READ FLASH, READ EEPROM INT
  AvrChip verifyFlash;   // VERYFI FLASH
  AvrChip eeprom;        // VERYFI EEPROM INT, WRITE EEPROM INT
  AvrChip writeFlash;    // WRITE FLASH
  AvrChip config;        // WRITE / READ CONFIG BIT
  EraseVariant erase;
  bool readsConfig;      // "Odczytaj ustawienia karty" is enabled
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

// Passes everything on and remembers whether an error line was written.
class ErrorWatch final : public port::Operator {
 public:
  explicit ErrorWatch(port::Operator& inner) : inner_(inner) {}
  bool SawError() const { return sawError_; }

  void SetStatusPanel(int index, const std::string& text) override {
    inner_.SetStatusPanel(index, text);
  }
  void ShowMessage(const std::string& text) override { inner_.ShowMessage(text); }
  void SetBusy(bool busy) override { inner_.SetBusy(busy); }
  void Log(const std::string& line) override { inner_.Log(line); }
  void LogError(const std::string& line) override {
    sawError_ = true;
    inner_.LogError(line);
  }
  void SetProgress(uint32_t position, uint32_t maximum) override {
    inner_.SetProgress(position, maximum);
  }
  void SetAddress(const std::string& text) override { inner_.SetAddress(text); }
  bool AskYesNo(const std::string& question) override { return inner_.AskYesNo(question); }
  void ShowInfo(const std::string& text) override { inner_.ShowInfo(text); }
  bool StopRequested() const override { return inner_.StopRequested(); }
  void ClearStopRequest() override { inner_.ClearStopRequest(); }

 private:
  port::Operator& inner_;
  bool sawError_ = false;
};

using AvrOps = std::function<void(AvrContext&)>;

// Mode burst, session, programming mode, the operations, and everything undone again in
// reverse order, also when an operation throws. `leaveProgrammingMode` false: the session is
// closed with the chip still in programming mode, as the config-bit commands do.
void RunAvrFrame(Workspace& ws, Rig& rig, port::Operator& op, const AvrOps& ops,
                 bool leaveProgrammingMode = true) {
  SwitchAdapterMode(AdapterMode::Avr, rig, ws.settings, ws.texts, op);
  port::SessionGuard session(rig.Session(), "avr/pic");
  if (!session.Usable()) {
    ws.ErrorFlag = 1;
    op.LogError("ATMEL SPI : ERROR - the COM port could not be set up, nothing was sent");
    return;
  }
  AvrContext ctx{rig.Session(), op, ws.ErrorFlag};
  if (!avr::AtmelSpiOn(ctx)) return;
  try {
    ops(ctx);
  } catch (...) {
    avr::AtmelSpiOff(ctx);
    throw;
  }
  if (leaveProgrammingMode) avr::AtmelSpiOff(ctx);
}

void WriteConfigBits(Workspace& ws, AvrContext& ctx, const AvrCardRow& row) {
  if (row.config == AvrChip::AT90S8515) {
    avr::WriteLockBits(ctx, ws.options.fun.checkBox1, ws.options.fun.checkBox2);
  } else {
    avr::WriteConfig(ctx, *ws.FuseDialogOfCard());
  }
}

// Erase, programming mode again, EEPROM, FLASH, configuration; each step only while no
// earlier one failed; then the result line.
void ProgramWithoutLoader(Workspace& ws, Rig& rig, port::Operator& op, const AvrCardRow& row) {
  ws.ErrorFlag = 0;
  RunAvrFrame(ws, rig, op, [&](AvrContext& ctx) {
    if (!ws.ErrorFlag) avr::ChipErase(ctx, row.erase);
    if (!ws.ErrorFlag && !avr::AtmelSpiOn(ctx)) ws.ErrorFlag = 1;
    if (!ws.ErrorFlag) avr::WriteEepromInt(ctx, row.eeprom, ws.eepromInt, ws.settings.avrDelay);
    if (!ws.ErrorFlag) avr::WriteFlash(ctx, row.writeFlash, ws.flash, ws.settings.avrDelay);
    if (!ws.ErrorFlag) WriteConfigBits(ws, ctx, row);
    avr::AtmelSpiOff(ctx);
    if (ws.ErrorFlag) {
      ctx.op.LogError("ATMEL WRITE : ERROR");
    } else {
      ctx.op.Log("ATMEL WRITE : OK");
    }
  }, false);
}

// Runs the AVR row of `command`; false when the card type has no such command.
bool RunAvrCommand(Command command, Workspace& ws, Rig& rig, port::Operator& op,
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
      RunAvrFrame(ws, rig, op,
                  [&](AvrContext& c) { avr::ReadConfig(c, *ws.FuseDialogOfCard()); }, false);
      return true;
    case Command::ProgramFlash:
      RunAvrFrame(ws, rig, op,
                  [&](AvrContext& c) { avr::WriteFlash(c, row.writeFlash, ws.flash, delay); });
      return true;
    case Command::ProgramEepromInt:
      RunAvrFrame(ws, rig, op,
                  [&](AvrContext& c) { avr::WriteEepromInt(c, row.eeprom, ws.eepromInt, delay); });
      return true;
    case Command::ProgramFlashEepromInt:
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
      if (!op.AskYesNo(kEraseQuestion)) return true;
      RunAvrFrame(ws, rig, op, [&](AvrContext& c) { avr::ChipErase(c, row.erase); });
      return true;
    case Command::SetBits:
      RunAvrFrame(ws, rig, op, [&](AvrContext& c) { WriteConfigBits(ws, c, row); }, false);
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

CommandResult RunCommand(Command command, Workspace& ws, Rig& rig, port::Operator& op) {
  CommandResult result;
  const CardType* card = ws.Card();
  if (!card) return result;
  const AvrCardRow* avrRow = AvrRowFor(*card);
  if (!avrRow) return result;
  op.ClearStopRequest();  // a stop asked for during an earlier command does not carry over
  ErrorWatch watch(op);
  uint8_t errorBefore = ws.ErrorFlag;
  ws.ErrorFlag = 0;
  try {
    result.ran = RunAvrCommand(command, ws, rig, watch, *avrRow);
  } catch (const std::exception& e) {
    ws.ErrorFlag = 1;
    result.ran = true;
    watch.ShowMessage(e.what());
    result.failed = true;
  }
  result.failed = result.failed || watch.SawError() || (result.ran && ws.ErrorFlag);
  if (!result.ran) ws.ErrorFlag = errorBefore;
  return result;
}

std::optional<Command> CommandFromName(std::string_view verb, std::string_view what) {
  struct Name {
    std::string_view verb, what;
    Command command;
  };
  static constexpr Name kNames[] = {
      {"read", "flash", Command::ReadFlash},
      {"read", "eeprom-int", Command::ReadEepromInt},
      {"read", "eeprom-ext", Command::ReadEepromExt},
      {"read", "flash+eeprom-int", Command::ReadFlashEepromInt},
      {"read", "config", Command::ReadConfig},
      {"program", "flash", Command::ProgramFlash},
      {"program", "eeprom-int", Command::ProgramEepromInt},
      {"program", "eeprom-ext", Command::ProgramEepromExt},
      {"program", "all", Command::ProgramFull},
      {"program", "flash+eeprom-int", Command::ProgramFlashEepromInt},
      {"verify", "flash", Command::VerifyFlash},
      {"verify", "eeprom-int", Command::VerifyEepromInt},
      {"verify", "eeprom-ext", Command::VerifyEepromExt},
      {"verify", "flash+eeprom-int", Command::VerifyFlashEepromInt},
      {"erase", "", Command::Erase},
      {"set-bits", "", Command::SetBits},
  };
  for (const Name& n : kNames) {
    if (n.verb == verb && n.what == what) return n.command;
  }
  return std::nullopt;
}

}  // namespace vexilo::app
