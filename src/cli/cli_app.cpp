#include "cli/cli_app.h"

#include <CLI/CLI.hpp>

#include "app/card_catalogue.h"
#include "app/option_panels.h"
#include "app/settings.h"
#include "app/workspace.h"
#include "cli/cli_actions.h"
#include "image/intel_hex.h"

namespace vexilo::cli {
namespace {

struct Options {
  std::string card;
  std::string extSize;
  std::string config;
  std::vector<std::string> actionWords;
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
  for (const app::ExtSizeChoice& c : card.extSizes)
    sizes += (sizes.empty() ? "" : ", ") + std::string(c.part);
  throw UsageError("--ext-size " + part + ": " + std::string(card.text) +
                   (sizes.empty() ? " has no external EEPROM" : " takes " + sizes));
}

void Show(const app::Workspace& ws, const std::string& what, std::ostream& out) {
  if (what == "options") {
    for (const auto& [name, value] : app::OptionValues(*ws.Card(), ws.options)) {
      out << name << '=' << value << '\n';
    }
    return;
  }
  const image::MemoryImage& image = ws.Image(ImageIdOf(what));
  std::string text;
  text.reserve((image.Rows() + 1) * (image.Columns() * 5 + 16));
  for (uint32_t row = 0; row <= image.Rows(); ++row) {
    text += image::RowLine(image, row);
    text += '\n';
  }
  out << text;
}

void RunAction(app::Workspace& ws, const Action& action, std::ostream& out) {
  if (!ws.Card()) {
    throw std::invalid_argument("the card type \"" + ws.CardTypeText() +
                                "\" matches no card type: nothing done (choose one with --card)");
  }
  if (action.verb == "show") return Show(ws, action.args[0], out);
  app::ImageId id = ImageIdOf(action.args[0]);
  if (action.verb == "load") {
    app::LoadImageFile(ws, id, action.args[1]);
  } else {
    app::SaveImageFile(ws, id, action.args[1]);
  }
}

int Run(const Options& options, std::ostream& out, std::ostream& err) {
  std::vector<Action> actions = ParseActions(options.actionWords);
  std::string configPath = options.config.empty() ? app::DefaultSettingsPath() : options.config;

  app::Workspace ws;
  ws.settings = app::LoadSettings(configPath);
  std::string cardText = ws.settings.cardType;
  if (!options.card.empty()) {
    const app::CardType* card = app::FindCardTypeByName(options.card);
    if (!card) throw UsageError("--card " + options.card + ": no such card type");
    cardText = std::string(card->text);
  }
  ws.SetCardTypeText(cardText);
  if (!options.extSize.empty()) {
    if (!ws.Card()) throw UsageError("--ext-size needs a card type");
    SelectExtSize(ws, options.extSize);
  }

  for (const Action& action : actions) {
    try {
      RunAction(ws, action, out);
    } catch (const std::exception& e) {
      out.flush();
      err << "vexilo-cli: " << action.verb << ' ' << action.args[0] << ": " << e.what() << '\n';
      return 1;
    }
  }
  return 0;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options options;
  CLI::App cli{"vexilo-cli: the VEXILO smart card programmer for scripts and batch work",
               "vexilo-cli"};
  cli.add_option("--card", options.card,
                 "card type: fun, wafer, pic2, black, atmega, neoo or "
                 "its exact text (default: the one in config.cfg)");
  cli.add_option("--ext-size", options.extSize, "external EEPROM size")
      ->check(CLI::IsMember({"24C16", "24C64", "24C128", "24C256", "24C512"}));
  cli.add_option("--config", options.config,
                 "settings file (default: config.cfg in the current directory)");
  cli.add_option("actions", options.actionWords, "ACTION...")->take_all();
  cli.footer(ActionsHelp());

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    cli.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << cli.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "vexilo-cli: " << e.what() << "\n(see vexilo-cli --help)\n";
    return 2;
  }
  try {
    return Run(options, out, err);
  } catch (const UsageError& e) {
    err << "vexilo-cli: " << e.what() << "\n(see vexilo-cli --help)\n";
    return 2;
  } catch (const std::exception& e) {
    err << "vexilo-cli: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace vexilo::cli
