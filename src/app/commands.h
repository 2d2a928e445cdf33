#pragma once
#include <optional>
#include <stdexcept>
#include <string_view>

#include "app/rig.h"
#include "app/workspace.h"
#include "port/operator.h"

namespace vexilo::app {

// The read, program, verify, erase and set-bits commands of the window's menus.
enum class Command {
  ReadFlash,              // "Odczytaj FLASH"
  ReadEepromInt,          // "Odczytaj EEPROM int"
  ReadEepromExt,          // "Odczytaj EEPROM ext"
  ReadFlashEepromInt,     // "Odczytaj FLASH/EEPROM int"
  ReadConfig,             // "Odczytaj ustawienia karty"
  ProgramFlash,           // "Programuj FLASH"
  ProgramEepromInt,       // "Programuj EEPROM int"
  ProgramEepromExt,       // "Programuj EEPROM ext"
  ProgramFull,            // "Programuj Flash/EEp int/EEp ext"
  ProgramFlashEepromInt,  // "Programuj Flash/EEp int"
  VerifyFlash,            // "Weryfikacja FLASH"
  VerifyEepromInt,        // "Weryfikacja EEPROM int"
  VerifyEepromExt,        // "Weryfikacja EEPROM ext"
  VerifyFlashEepromInt,   // "Weryfikacja FLASH/EEPROM int"
  Erase,                  // "&Kasuj"
  SetBits,                // "&Set BIT"
  Detect,                 // "Detect card": which card is in the reader (Workspace::detected)
};

// The result of a command as a script sees it.
struct CommandResult {
  bool ran = false;       // the card type has this command
  bool failed = false;    // an operation failed: the error flag, an error line or an exception
  bool declined = false;  // a question was answered No, so (part of) the command did not run
};

// Runs `command` for the workspace's card type on the rig. A card type text that names no
// card type runs nothing. Errors of the operations are log lines (red) and the error flag; a
// conversion error or other fault still leaves programming mode and closes the session, and
// is shown as a message.
CommandResult RunCommand(Command command, Workspace& ws, Rig& rig, port::Operator& op);

// The command-line name of a command ("read flash", "program flash+eeprom-int", "erase").
std::optional<Command> CommandFromName(std::string_view verb, std::string_view what);

// A setting the command needs that cannot be used; the message names the settings file (or
// the Setup tab), the section and key, and the value.
class SettingError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The confirmation asked before the chip erase.
inline constexpr char kEraseQuestion[] = "Czy napewno chcesz wykasować FLASH ?";
// That question in the chosen pack's language (its [WINDOW] "EraseQuestion"), else as above.
std::string EraseQuestion(const Workspace& ws);

}  // namespace vexilo::app
