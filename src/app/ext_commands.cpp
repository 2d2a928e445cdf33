// The external EEPROM commands: each operation runs its own Phoenix session through the card
// loader in the card's chip.
#include <filesystem>

#include "app/command_frames.h"
#include "app/option_panels.h"
#include "sim/backend/sim_backend.h"
#include "sim/phoenix/loader_marker.h"

namespace vexilo::app {
namespace {

sim::LoaderFamily SimFamily(extee::LoaderFamily family) {
  switch (family) {
    case extee::LoaderFamily::Avr:
      return sim::LoaderFamily::Avr;
    case extee::LoaderFamily::Pic16F84:
      return sim::LoaderFamily::Pic16F84;
    case extee::LoaderFamily::Pic16F876:
      return sim::LoaderFamily::Pic16F876;
  }
  return sim::LoaderFamily::Avr;
}

std::string Text(const Workspace& ws, int key) {
  auto it = ws.texts.find(key);
  return it == ws.texts.end() ? std::string() : it->second;
}

extee::ExtEepromContext ExtContext(Workspace& ws, Rig& rig, port::Operator& op) {
  std::string question = Text(ws, 28);
  if (question.empty()) question = "Is the card in the reader and the adapter ready?";
  return extee::ExtEepromContext{.session = rig.Session(),
                                 .op = op,
                                 .errorFlag = ws.ErrorFlag,
                                 .question = question,
                                 .switchToPhoenix =
                                     [&ws, &rig, &op] {
                                       SwitchAdapterMode(AdapterMode::Phoenix, rig, ws.settings,
                                                         ws.texts, op);
                                     },
                                 .TxDelay = extee::TxDelayFromText(ws.settings.txDelay),
                                 .ver_eeprom = ws.settings.verifyEeprom};
}

}  // namespace

std::optional<extee::LoaderFamily> LoaderFamilyOf(const CardType& card) {
  switch (card.chip) {
    case Chip::AT90S8515:
    case Chip::ATmega163:
    case Chip::ATmega8515:
      return extee::LoaderFamily::Avr;
    case Chip::PIC16F84:
      return extee::LoaderFamily::Pic16F84;
    case Chip::PIC16F876:
      return extee::LoaderFamily::Pic16F876;
    case Chip::ATmega128:
      break;
  }
  return std::nullopt;
}

std::vector<std::string> OpenLoaderDirs() {
  std::vector<std::string> dirs;
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    dirs.push_back(
        (self.parent_path() / ".." / "share" / "vexilo" / "loader").lexically_normal().string());
  }
#ifdef VEXILO_LOADER_BUILD_DIR
  dirs.push_back(VEXILO_LOADER_BUILD_DIR);
#endif
#ifdef VEXILO_LOADER_INSTALL_DIR
  dirs.push_back(VEXILO_LOADER_INSTALL_DIR);
#endif
  return dirs;
}

std::optional<extee::LoaderImage> CardLoader(Workspace& ws, Rig& rig, port::Operator& op,
                                             extee::LoaderFamily family) {
  const std::string path = extee::LoaderFileName(family);
  try {
    // The `loader` folder of the current directory first: the loader that came with the card.
    std::string found = std::filesystem::exists(path) ? path : std::string();
    // The behavioural simulated card runs only its own test loader; anything else, the open
    // loaders this program ships.
    const bool behavioural = rig.Simulator() && ws.settings.simCard != "isa";
    if (found.empty() && behavioural) {
      op.Log("(simulator: its test loader stands in for " + path + ")");
      return extee::ParseLoaderHex(family, sim::MakeSimLoaderHex(SimFamily(family)),
                                   "simulator test loader");
    }
    const std::string file = std::filesystem::path(path).filename().string();
    for (const std::string& dir : OpenLoaderDirs()) {
      if (!found.empty()) break;
      const std::string open = dir + "/" + file;
      if (std::filesystem::exists(open)) found = open;
    }
    if (found.empty())
      found = path;  // missing: the error names the file the card should bring
    else
      op.Log("(card loader: " + found + ")");
    return extee::ReadLoaderFile(family, found);
  } catch (const extee::LoaderFileError& e) {
    // The installation has begun as far as the log goes: its START line comes first.
    op.Log(std::string(family == extee::LoaderFamily::Avr ? "ATMEL" : "PIC") +
           " WRITE LOADER : START");
    ws.ErrorFlag = 1;
    op.LogError(e.what());
    return std::nullopt;
  }
}

void WriteExtEepromStep(Workspace& ws, Rig& rig, port::Operator& op, unsigned settleMs) {
  const CardType& card = *ws.Card();
  SwitchAdapterMode(AdapterMode::Phoenix, rig, ws.settings, ws.texts, op);
  rig.Backend().Time().SleepMs(settleMs);
  if (ws.ErrorFlag) return;
  extee::ExtEepromContext ctx = ExtContext(ws, rig, op);
  extee::WriteEepromExt(ctx, *LoaderFamilyOf(card), ExtEepromBytes(card, ws.options), ws.eepromExt,
                        false);
}

bool RunExtEepromCommand(Command command, Workspace& ws, Rig& rig, port::Operator& op) {
  const CardType& card = *ws.Card();
  const std::optional<extee::LoaderFamily> family = LoaderFamilyOf(card);
  if (!family) return false;
  extee::ExtEepromContext ctx = ExtContext(ws, rig, op);
  const uint32_t bytes = ExtEepromBytes(card, ws.options);
  switch (command) {
    case Command::ReadEepromExt:
      extee::ReadEepromExt(ctx, *family, bytes, ws.eepromExt);
      return true;
    case Command::VerifyEepromExt:
      extee::VerifyEepromExt(ctx, *family, bytes, ws.eepromExt);
      return true;
    case Command::ProgramEepromExt:
      extee::WriteEepromExt(ctx, *family, bytes, ws.eepromExt, true);
      return true;
    default:
      return false;
  }
}

}  // namespace vexilo::app
