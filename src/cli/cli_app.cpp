#include "cli/cli_app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <memory>

#include "app/card_catalogue.h"
#include "app/commands.h"
#include "app/detect.h"
#include "app/language_pack.h"
#include "app/mode_switch.h"
#include "app/option_panels.h"
#include "app/rig.h"
#include "app/settings.h"
#include "app/settings_location.h"
#include "app/sim_state_location.h"
#include "app/workspace.h"
#include "cli/cli_actions.h"
#include "cli/cli_edits.h"
#include "cli/cli_help.h"
#include "cli/cli_operator.h"
#include "image/hex_to_int.h"
#include "port/ftdi/ftdi_backend.h"
#include "port/ftdi/ftdi_diagnostics.h"
#include "port/ftdi/ftdi_library.h"
#include "port/ftdi/ftdi_pins.h"
#include "port/serial_ports.h"
#include "sim/backend/sim_backend.h"

namespace vexilo::cli {
namespace {

struct Options {
  std::string card;
  std::string extSize;
  std::string config;
  std::string port;
  std::string device;
  std::string ioBase;
  std::string ftdiPins;
  bool listPorts = false;
  int com = 0;
  std::string simState;
  std::vector<std::string> simFaults;
  std::string simCard;
  std::string simChip;
  bool force = false;
  bool yes = false;
  bool fastWrite = false;
  std::vector<std::string> actionWords;
};

// An action that ran and failed; its message has been shown.
class ActionFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

app::ImageId ImageIdOf(const std::string& name) {
  if (name == "flash") return app::ImageId::Flash;
  if (name == "eeprom-int") return app::ImageId::EepromInt;
  return app::ImageId::EepromExt;
}

void SelectExtSize(app::Workspace& ws, const std::string& part) {
  const app::CardType& card = *ws.Card();
  for (size_t i = 0; i < card.extSizes.size(); ++i) {
    if (card.extSizes[i].part != part) continue;
    if (!card.ExtSizeFixed()) ws.SelectExtSize(static_cast<int>(i));
    return;
  }
  std::string sizes;
  for (const app::ExtSizeChoice& c : card.extSizes) {
    sizes += (sizes.empty() ? "" : ", ") + std::string(c.part);
  }
  throw UsageError("--ext-size " + part + ": " + std::string(card.text) +
                   (sizes.empty() ? " has no external EEPROM" : " takes " + sizes));
}

// The language pack saved in the settings, from the `lang` folder of the current directory.
// The language packs: `lang` in the current directory, else the ones installed beside the
// program (../share/vexilo/lang), as the window finds them.
std::string LanguageDir() {
  std::error_code ec;
  const std::string here = app::DefaultLanguageDir();
  if (std::filesystem::is_directory(here, ec)) return here;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return here;
  const std::filesystem::path installed = self.parent_path() / ".." / "share" / "vexilo" / "lang";
  return std::filesystem::is_directory(installed, ec) ? installed.lexically_normal().string()
                                                      : here;
}

// A language the settings name but no pack has: `settingProblems` gets the line that says so.
void ApplyLanguage(app::Workspace& ws, std::ostream& err,
                   std::vector<std::string>& settingProblems) {
  std::string dir = LanguageDir();
  std::vector<std::string> problems;
  auto packs = app::ScanLanguagePacks(dir, &problems);
  for (const std::string& problem : problems) err << "vexilo-cli: " << Printable(problem) << '\n';
  ws.windowTexts = app::LoadWindowTexts(dir, packs, ws.settings.language);
  if (auto texts = app::LoadLanguagePack(dir, packs, ws.settings.language)) {
    ws.texts = *texts;
  } else if (!ws.settings.language.empty() && ws.settings.language != app::Settings{}.language &&
             std::filesystem::is_directory(dir)) {
    // (Without a pack folder at all there is nothing to tell a wrong name from.)
    settingProblems.push_back(ws.settingsSource + ": [Language] lang: '" +
                              image::ShortenForMessage(ws.settings.language) +
                              "' is no language pack in " + dir);
  }
}

// An option given with an empty or blank value would quietly fall back to config.cfg's
// value (a real port's device, say): a usage error naming the option instead.
void CheckNoBlankValues(const CLI::App& cli, const Options& options) {
  const std::pair<const char*, const std::string*> kValued[] = {
      {"--device", &options.device},      {"--card", &options.card},
      {"--ftdi-pins", &options.ftdiPins}, {"--config", &options.config},
      {"--sim-state", &options.simState}, {"--io-base", &options.ioBase},
  };
  for (const auto& [name, value] : kValued) {
    if (cli.get_option(name)->count() == 0) continue;
    if (value->find_first_not_of(" \t\r\n") == std::string::npos) {
      throw UsageError(std::string(name) + ": the value is empty");
    }
  }
}

class Runner {
 public:
  Runner(const Options& options, std::ostream& out, std::ostream& err, std::istream& in)
      : options_(options),
        out_(out),
        err_(err),
        op_(out, err, in,
            {.colour = &out == &std::cout && isatty(STDOUT_FILENO),
             .progress = &err == &std::cerr && isatty(STDERR_FILENO),
             .interactive = &in == &std::cin && isatty(STDIN_FILENO),
             .assumeYes = options.yes}) {}

  int Run() {
    if (options_.listPorts) return ListPorts();
    std::vector<Action> actions = ParseActions(options_.actionWords);
    SetUp();
    // A setting the file holds but that cannot be taken would run with a default instead:
    // nothing is done until it is put right.
    for (const std::string& problem : settingProblems_) {
      err_ << "vexilo-cli: " << Printable(problem) << '\n';
    }
    if (!settingProblems_.empty()) return 1;
    int status = 0;
    for (const Action& action : actions) {
      try {
        RunAction(action);
      } catch (const ActionFailed&) {
        status = 1;
      } catch (const UsageError&) {
        throw;
      } catch (const std::exception& e) {
        out_.flush();
        err_ << "vexilo-cli: " << action.verb << (action.args.empty() ? "" : " " + action.args[0])
             << ": " << Printable(e.what()) << '\n';
        status = 1;
      }
      if (status) break;
    }
    if (!Finish()) status = 1;
    return status;
  }

 private:
  void SetUp() {
    if (options_.config.empty()) {
      const std::string path = app::SettingsPath();
      ws_.settings = app::LoadSettings(path, &settingProblems_);
      ws_.settingsSource = path;
    } else {
      // A file named on purpose must be there: defaults in its place would go unnoticed.
      ws_.settings = app::LoadSettingsFile(options_.config, &settingProblems_);
      ws_.settingsSource = options_.config;
    }
    if (!options_.port.empty()) ws_.settings.portBackend = options_.port;
    if (!options_.ftdiPins.empty()) {
      try {
        port::ParseFtdiPinMap(options_.ftdiPins);
      } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("--ftdi-pins: ") + e.what());
      }
      ws_.settings.ftdiPins = options_.ftdiPins;
    }
    if (options_.com) ws_.settings.avrPicCom = ws_.settings.phoenixCom = options_.com - 1;
    if (options_.fastWrite) ws_.settings.fastWrite = true;
    if (options_.force) ws_.settings.writeAnyChip = true;
    if (!options_.simCard.empty()) ws_.settings.simCard = options_.simCard;
    ApplyLanguage(ws_, err_, settingProblems_);
    std::string cardText = ws_.settings.cardType;
    if (!options_.card.empty()) {
      const app::CardType* card = app::FindCardTypeByName(options_.card);
      if (!card) {
        std::string names;
        for (const app::CardType& c : app::CardTypes()) {
          names += (names.empty() ? "" : ", ") + std::string(c.alias);
        }
        throw UsageError("--card " + options_.card + ": no such card type (one of " + names +
                         ", or the exact text)");
      }
      cardText = std::string(card->text);
    }
    ws_.SetCardTypeText(cardText);
    if (!options_.extSize.empty()) {
      if (!ws_.Card()) throw UsageError("--ext-size needs a card type");
      SelectExtSize(ws_, options_.extSize);
    }
    if (!options_.simFaults.empty()) {
      const app::CardType* card =
          ws_.Card() ? ws_.Card() : app::FindCardType(app::kDefaultCardType);
      try {
        app::CheckSimFaults(options_.simFaults, *card, ws_.settings.simCard);
      } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("--sim-fault: ") + e.what());
      }
    }
  }

  int ListPorts() {
    const std::vector<port::SerialPortInfo> ports = port::ListSerialPorts();
    if (ports.empty()) out_ << "No serial devices found.\n";
    for (const port::SerialPortInfo& p : ports) {
      out_ << p.device << "  " << p.description;
      if (!p.modemLines) out_ << "  [no CTS: not usable for the adapter]";
      if (p.ioBase != 0)
        out_ << "  [--port io or --port tty]";
      else if (p.ftdi)
        out_ << "  [--port tty, or --port ftdi (fast)]";
      else if (p.modemLines)
        out_ << "  [--port tty]";
      out_ << '\n';
    }
    // FTDI chips on the USB bus, bound to ftdi_sio or not, for the bit-bang backend.
    std::vector<port::FtdiDeviceInfo> ftdi;
    port::MakeLibFtdiCalls()->FindAll(ftdi);
    for (const port::FtdiDeviceInfo& d : ftdi) {
      out_ << "USB " << port::DescribeFtdiDevice(d) << "  [--port ftdi]\n";
    }
    return 0;
  }

  uint16_t IoBase() const {
    if (options_.ioBase.empty()) return 0;
    size_t used = 0;
    unsigned long base = 0;
    try {
      base = std::stoul(options_.ioBase, &used, 0);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != options_.ioBase.size() || base < 0x100 || base > 0xFFF8) {
      throw UsageError("--io-base " + options_.ioBase +
                       ": not an I/O base (a number such as 0x3F8 or 0xD050)");
    }
    return static_cast<uint16_t>(base);
  }

  app::Rig& TheRig() {
    if (!rig_) {
      app::RigOptions rigOptions{.backend = ws_.settings.portBackend,
                                 .device = options_.device,
                                 .ioBase = IoBase(),
                                 .simFaults = options_.simFaults,
                                 .simStateFile = SimStateFile(),
                                 .simChip = options_.simChip,
                                 .simAdapterMode = std::nullopt};
      rig_ = std::make_unique<app::Rig>(rigOptions, ws_, op_);
      startUs_ = rig_->Backend().Time().NowUs();
    }
    return *rig_;
  }

  // The simulated card keeps its memories between runs where the window keeps them, unless
  // --sim-state names another file. A reader given another card's chip (--sim-chip) holds
  // a card of its own for the run, not the one kept for the card type.
  std::string SimStateFile() const {
    if (!options_.simState.empty() || ws_.settings.portBackend != "sim" || !ws_.Card() ||
        !options_.simChip.empty()) {
      return options_.simState;
    }
    const std::string dir = app::DefaultSimStateDir();
    if (dir.empty()) return {};
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    return app::SimStateFileFor(dir, *ws_.Card(), ws_.options);
  }

  // False when the card state could not be kept.
  bool Finish() {
    if (!rig_) return true;
    rig_->Session().ClosePort();
    bool saved = true;
    try {
      rig_->SaveSimState();
    } catch (const std::exception& e) {
      out_.flush();
      err_ << "vexilo-cli: " << Printable(e.what()) << '\n';
      saved = false;
    }
    if (sim::SimBackend* sim = rig_->Simulator()) {
      out_.flush();
      err_ << "vexilo-cli: simulated hardware time " << std::fixed << std::setprecision(3)
           << static_cast<double>(sim->VirtualTime().NowUs()) / 1e6 << " s\n";
    } else if (rig_->Backend().RealHardware()) {
      out_.flush();
      err_ << "vexilo-cli: elapsed time " << std::fixed << std::setprecision(3)
           << static_cast<double>(rig_->Backend().Time().NowUs() - startUs_) / 1e6 << " s\n";
    }
    return saved;
  }

  const app::CardType& RequireCard() {
    if (!ws_.Card()) {
      throw std::invalid_argument("the card type \"" + ws_.CardTypeText() +
                                  "\" matches no card type: nothing done (choose one with --card)");
    }
    return *ws_.Card();
  }

  void RunAction(const Action& a) {
    if (a.verb == "port" || a.verb == "line" || a.verb == "cts" || a.verb == "burst") {
      return RunTestAction(a);
    }
    if (a.verb == "detect") return Detect();
    const app::CardType& card = RequireCard();
    if (a.verb == "show") return Show(card, a.args[0]);
    if (a.verb == "set") return Set(card, a.args);
    if (RunImageEdit(ws_, a, out_)) return;
    if (a.verb == "load") {
      std::string note;
      app::LoadImageFile(ws_, ImageIdOf(a.args[0]), a.args[1], app::EepromFileFormat::ByName,
                         &note);
      if (!note.empty()) {
        out_.flush();
        err_ << "vexilo-cli: " << Printable(note) << '\n';
      }
      return;
    }
    if (a.verb == "save") {
      app::SaveImageFile(ws_, ImageIdOf(a.args[0]), a.args[1]);
      return;
    }
    auto command = app::CommandFromName(a.verb, a.args.empty() ? "" : a.args[0]);
    if (!command) throw UsageError("unknown action " + a.verb);
    app::CommandResult result = app::RunCommand(*command, ws_, TheRig(), op_);
    if (!result.ran) {
      throw std::invalid_argument("not available for the " + std::string(card.text));
    }
    if (result.declined && !result.failed) {
      throw std::runtime_error(
          "not done: the question was answered No" +
          std::string(options_.yes ? "" : " (give --yes to answer Yes without being asked)"));
    }
    if (result.failed) throw ActionFailed(a.verb);
  }

  // The card type that fits is taken for the actions after it (not saved); where several fit,
  // the chosen one stays if it is among them.
  void Detect() {
    const std::vector<const app::CardType*> cards = app::DetectCard(ws_, TheRig(), op_);
    if (cards.empty()) throw ActionFailed("detect");
    const app::CardType* chosen = ws_.Card();
    if (std::find(cards.begin(), cards.end(), chosen) == cards.end()) {
      ws_.SetCardTypeText(std::string(cards.front()->text));
    }
    out_ << "card type: " << ws_.CardTypeText() << '\n';
  }

  void Show(const app::CardType& card, const std::string& what) {
    if (what == "options") {
      for (const auto& [name, value] : app::OptionValues(card, ws_.options)) {
        out_ << name << '=' << value << '\n';
      }
      if (const avr::FuseDialog* dialog = ws_.FuseDialogOfCard()) {
        for (const avr::FuseBox& box : dialog->Boxes()) {
          out_ << box.component << '=' << (dialog->Checked(box.component) ? 1 : 0) << '\n';
        }
      }
      return;
    }
    const image::MemoryImage& image = ws_.Image(ImageIdOf(what));
    std::string text;
    text.reserve((image.Rows() + 1) * (image.Columns() * 5 + 16));
    for (uint32_t row = 0; row <= image.Rows(); ++row) {
      text += image::RowLine(image, row);
      text += '\n';
    }
    out_ << text;
  }

  void Set(const app::CardType& card, const std::vector<std::string>& nameValues) {
    for (const std::string& nv : nameValues) {
      std::string name = nv.substr(0, nv.find('='));
      std::string value = nv.substr(nv.find('=') + 1);
      avr::FuseDialog* dialog = ws_.FuseDialogOfCard();
      bool isFuseBox = false;
      if (dialog) {
        for (const avr::FuseBox& box : dialog->Boxes())
          isFuseBox = isFuseBox || box.component == name;
      }
      if (!isFuseBox) {
        app::SetOptionValue(card, ws_.options, name, value);
        if (name.rfind("c", 0) == 0 || name == "C512") ws_.SetupEepromExtImage();
        continue;
      }
      if (value != "0" && value != "1") throw std::invalid_argument(name + " takes 0 or 1");
      dialog->SetChecked(name, value == "1");
    }
  }

  void RunTestAction(const Action& a) {
    app::Rig& rig = TheRig();
    port::PortSession& session = rig.Session();
    if (a.verb == "burst") {
      static constexpr app::AdapterMode kModes[] = {app::AdapterMode::Phoenix,
                                                    app::AdapterMode::Avr, app::AdapterMode::Pic};
      int index = a.args[0] == "phoenix" ? 0 : a.args[0] == "avr" ? 1 : 2;
      if (!app::SendTestBurst(kModes[index], rig, op_)) throw ActionFailed("burst");
      return;
    }
    if (a.verb == "port") {
      if (a.args[0] == "close") return session.ClosePort();
      if (!session.OpenPort("avr/pic")) {
        if (session.InSession()) session.ClosePort();  // refused: nothing to keep open
        throw ActionFailed("port open");
      }
      if (auto* ftdi = dynamic_cast<port::FtdiBackend*>(&session.Backend())) {
        out_ << "Port[" << ftdi->Label() << "]:Open\n";  // the USB device, not a COM base
        return;
      }
      out_ << "Port[" << std::hex << std::uppercase << session.PortBase() << std::dec << "]:Open\n";
      return;
    }
    if (!session.IsOpen()) throw std::invalid_argument("no session is open (use: port open)");
    if (a.verb == "cts") {
      const int cts = session.GetCTS();
      if (session.LineFailed()) throw ActionFailed("cts");
      out_ << cts << '\n';
      return;
    }
    bool on = a.args[1] == "on";
    if (a.args[0] == "tx") session.SetTXLevel(on ? 0 : 1);
    if (a.args[0] == "rts") session.SetRTS(on ? 1 : 0);
    if (a.args[0] == "dtr") session.SetDTR(on ? 1 : 0);
    if (session.LineFailed()) throw ActionFailed("line");
  }

  const Options& options_;
  std::ostream& out_;
  std::ostream& err_;
  CliOperator op_;
  app::Workspace ws_;
  std::unique_ptr<app::Rig> rig_;
  uint64_t startUs_ = 0;
  std::vector<std::string> settingProblems_;
};

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           std::istream& in) {
  Options options;
  CLI::App cli{"vexilo-cli: the VEXILO smart card programmer for scripts and batch work",
               "vexilo-cli"};
  cli.add_option("--card", options.card,
                 "card type: fun, wafer, pic2, black, atmega, neoo or its exact text "
                 "(default: the one in config.cfg)");
  cli.add_option("--ext-size", options.extSize, "external EEPROM size")
      ->transform(
          CLI::IsMember({"24C16", "24C64", "24C128", "24C256", "24C512"}, CLI::ignore_case));
  cli.add_option("--config", options.config,
                 "settings file (default: config.cfg in the current directory when there is "
                 "one, else ~/.config/vexilo/config.cfg)");
  cli.add_option("--port", options.port,
                 std::string("port access: ") + app::kBackendNames +
                     " (default: config.cfg, else sim, the simulated adapter and card)")
      ->check(CLI::IsMember({"sim", "io", "tty", "ftdi"}));
  cli.add_option("--device", options.device,
                 "serial device for --port tty (e.g. /dev/ttyUSB0), or the COM device for io; for "
                 "--port ftdi libftdi's description of the adapter (i:0x0403:0x6001, "
                 "s:0x0403:0x6001:SERIAL, d:BUS/DEVICE; default: the only FTDI device) or sim, "
                 "the simulator's FT232R model");
  cli.add_option("--ftdi-pins", options.ftdiPins,
                 "for --port ftdi: which bit-bang pin carries each line, '!' for an inverted one "
                 "(default: config.cfg, else \"tx=!0 rts=!2 cts=!3 dtr=!4\", an FTDI USB-RS232 "
                 "cable)");
  cli.add_option("--io-base", options.ioBase,
                 "I/O base of the 16550 for --port io, e.g. 0xD050 for a PCI card (default: the "
                 "device's base from the kernel, else the standard COM base)");
  cli.add_flag("--list-ports", options.listPorts,
               "list this machine's serial devices, what each is and which backend can use it");
  cli.add_option("--com", options.com, "COM port 1..4 (base 3F8, 2F8, 3E8, 2E8)")
      ->check(CLI::Range(1, 4));
  cli.add_option("--sim-state", options.simState,
                 "file that keeps the simulated card's memories between runs (default: "
                 "~/.local/share/VEXILO/sim/, with the window's)");
  cli.add_option("--sim-fault", options.simFaults, "plant a fault in the simulator (repeatable)")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cli.add_option("--sim-card", options.simCard,
                 std::string("the simulated card on the Phoenix reader: ") + app::kSimCardNames +
                     " (behavioural: the loader model, the default; isa: the chip runs the "
                     "loader it was given on simavr or gpsim, through vexilo-isa-card)")
      ->check(CLI::IsMember({"behavioural", "isa"}));
  cli.add_option("--sim-chip", options.simChip,
                 "put another chip in the simulated reader than the card type's (the card "
                 "of that chip, with its own 24Cxx; to try the chip check)")
      ->check(CLI::IsMember(
          {"at90s8515", "atmega8515", "atmega163", "atmega128", "pic16f84", "pic16f876"},
          CLI::ignore_case));
  cli.add_flag("--force", options.force,
               "write to whatever chip is in the reader: a signature or device ID that does not "
               "fit the card type is logged, not refused (default: config.cfg [Card check], "
               "else off)");
  cli.set_version_flag("--version", std::string("vexilo-cli ") + VEXILO_VERSION,
                       "print the version and end");
  cli.add_flag("--yes,-y", options.yes, "answer Yes to every question");
  cli.add_flag("--fast-write", options.fastWrite,
               "write whole ATmega pages and wait by polling instead of the fixed write delays; "
               "the PIC16F876 uses its shorter programming-only cycle after a bulk erase "
               "(default: config.cfg, else off)");
  cli.add_option("actions", options.actionWords, "ACTION...")->take_all();
  cli.footer(ActionsHelp());

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    cli.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << WrapHelp(cli.help());
    return 0;
  } catch (const CLI::CallForVersion&) {
    out << "vexilo-cli " << VEXILO_VERSION << '\n';
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "vexilo-cli: " << e.what() << "\n(see vexilo-cli --help)\n";
    return 2;
  }
  try {
    CheckNoBlankValues(cli, options);
    Runner runner(options, out, err, in);
    return runner.Run();
  } catch (const UsageError& e) {
    err << "vexilo-cli: " << Printable(e.what()) << "\n(see vexilo-cli --help)\n";
    return 2;
  } catch (const std::exception& e) {
    err << "vexilo-cli: " << Printable(e.what()) << '\n';
    return 1;
  }
}

}  // namespace vexilo::cli
