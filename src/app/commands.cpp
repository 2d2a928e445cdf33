#include "app/commands.h"

#include "app/chip_check.h"
#include "app/command_frames.h"
#include "app/detect.h"
#include "app/progress_estimate.h"
#include "image/hex_to_int.h"
#include "port/forwarding_operator.h"
#include "sim/isa/helper_process.h"

namespace vexilo::app {
namespace {

bool IsExtCommand(Command command) {
  return command == Command::ReadEepromExt || command == Command::VerifyEepromExt ||
         command == Command::ProgramEepromExt || command == Command::ProgramFull;
}

// The commands that program cells and so pause the family's write delay.
bool WritesCells(Command command, const CardType& card) {
  switch (command) {
    case Command::ProgramFlash:
    case Command::ProgramEepromInt:
    case Command::ProgramFlashEepromInt:
    case Command::ProgramFull:
      return true;
    case Command::SetBits:  // the PIC configuration word write pauses the write delay
      return card.family == Family::Pic;
    default:
      return false;
  }
}

// Converts every setting the command will read before anything is sent, so a text that is
// not a number cannot stop a command halfway (after the chip erase, say).
void CheckSettingsFor(Command command, const CardType& card, const Workspace& ws) {
  struct Use {
    const char* section;
    const char* key;
    const std::string& value;
  };
  std::vector<Use> uses{{"PHOENIX", "ATRDelay", ws.settings.atrDelay}};  // every session
  if (WritesCells(command, card)) {
    uses.push_back(card.family == Family::Avr ? Use{"AVR", "Delay", ws.settings.avrDelay}
                                              : Use{"PIC", "Delay", ws.settings.picDelay});
  }
  if (IsExtCommand(command)) uses.push_back({"PHOENIX", "TXDelay", ws.settings.txDelay});
  for (const Use& use : uses) {
    try {
      image::DecimalToInt(use.value);
    } catch (const image::ConversionError&) {
      throw SettingError(ws.settingsSource + ": [" + use.section + "] " + use.key + ": '" +
                         image::ShortenForMessage(use.value) + "' is not a number");
    }
  }
}

// Passes everything on, remembers whether an error line was written and whether a question
// was answered No, and times each transfer from its progress: elapsed and remaining time,
// and on a real port one line announcing a long one.
class ErrorWatch final : public port::ForwardingOperator {
 public:
  ErrorWatch(port::Operator& inner, port::PortSession& session)
      : ForwardingOperator(inner), session_(session) {}
  bool SawError() const { return sawError_; }
  bool Declined() const { return declined_; }

  void LogError(const std::string& line) override {
    sawError_ = true;
    inner_.LogError(line);
  }
  void SetProgress(uint32_t position, uint32_t maximum) override {
    inner_.SetProgress(position, maximum);
    estimate_.Update(position, maximum, session_.Time().NowUs());
    if (auto line = estimate_.Announcement(session_.LineCallUs(), session_.PortName())) {
      inner_.Log(*line);
    }
    if (auto remaining = estimate_.RemainingUs())
      inner_.SetTimes(estimate_.ElapsedUs(), *remaining);
  }
  void PortDiagnostic(const std::string& text) override {
    sawError_ = true;
    inner_.PortDiagnostic(text);
  }
  bool AskYesNo(const std::string& question) override {
    const bool yes = inner_.AskYesNo(question);
    declined_ = declined_ || !yes;
    return yes;
  }

 private:
  port::PortSession& session_;
  ProgressEstimate estimate_;
  bool sawError_ = false;
  bool declined_ = false;
};

}  // namespace

void RunFrame(Workspace& ws, Rig& rig, port::Operator& op, AdapterMode mode, bool burst,
              const char* prefix, const FrameOps& ops, const FrameLeave& leave) {
  if (burst) SwitchAdapterMode(mode, rig, ws.settings, ws.texts, op);
  port::SessionGuard session(rig.Session(), "avr/pic");
  if (!session.Usable()) {
    ws.ErrorFlag = 1;
    op.LogError(std::string(prefix) +
                " : ERROR - the COM port could not be set up, nothing was sent");
    return;
  }
  port::OperationContext ctx{rig.Session(), op, ws.ErrorFlag};
  try {
    ops(ctx);
  } catch (...) {
    if (leave) leave(ctx, true);
    throw;
  }
  if (leave) leave(ctx, false);
}

void ResultLine(const Workspace& ws, port::Operator& op, const char* prefix) {
  if (ws.ErrorFlag) {
    op.LogError(std::string(prefix) + " : ERROR");
  } else {
    op.Log(std::string(prefix) + " : OK");
  }
}

CommandResult RunCommand(Command command, Workspace& ws, Rig& rig, port::Operator& op) {
  CommandResult result;
  const CardType* card = ws.Card();
  if (!card) return result;
  op.ClearStopRequest();  // a stop asked for during an earlier command does not carry over
  ErrorWatch watch(op, rig.Session());
  uint8_t errorBefore = ws.ErrorFlag;
  // Every command starts with a clear error flag, so the same card and image give the same
  // log lines whatever ran before (a PIC16F876 FLASH write of a blank image says OK also
  // after a failed verify), and the command's own result can be told from the flag.
  ws.ErrorFlag = 0;
  ws.chipCheck = {.writes = CommandWritesChip(command), .done = false};
  try {
    CheckSettingsFor(command, *card, ws);
    switch (command) {
      case Command::ReadEepromExt:
      case Command::ProgramEepromExt:
      case Command::VerifyEepromExt:
        result.ran = RunExtEepromCommand(command, ws, rig, watch);
        break;
      case Command::Detect:
        ws.detected.clear();
        for (const CardType* found : DetectCard(ws, rig, watch))
          ws.detected.emplace_back(found->text);
        result.ran = true;
        break;
      case Command::ProgramFull:
        result.ran = card->family == Family::Avr ? RunFullAvrProgramming(ws, rig, watch)
                                                 : RunFullPicProgramming(ws, rig, watch);
        break;
      default:
        result.ran = card->family == Family::Avr ? RunAvrCommand(command, ws, rig, watch)
                                                 : RunPicCommand(command, ws, rig, watch);
    }
  } catch (const sim::isa::HelperError& e) {
    // The simulated card's helper program failed or hung: the command ends there.
    ws.ErrorFlag = 1;
    result.ran = true;
    watch.LogError(e.what());
    result.failed = true;
  } catch (const std::exception& e) {
    ws.ErrorFlag = 1;
    result.ran = true;
    watch.ShowMessage(e.what());
    result.failed = true;
  }
  result.declined = watch.Declined();
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
      {"detect", "", Command::Detect},
  };
  for (const Name& n : kNames) {
    if (n.verb == verb && n.what == what) return n.command;
  }
  return std::nullopt;
}

std::string EraseQuestion(const Workspace& ws) {
  auto it = ws.windowTexts.find("EraseQuestion");
  return it == ws.windowTexts.end() || it->second.empty() ? kEraseQuestion : it->second;
}

}  // namespace vexilo::app
