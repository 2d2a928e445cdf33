#include "app/rig.h"

#include <filesystem>
#include <stdexcept>

#include "app/workspace.h"
#include "port/ftdi/ftdi_backend.h"
#include "port/ftdi/ftdi_library.h"
#include "port/io_backend.h"
#include "port/tty_backend.h"
#include "sim/backend/sim_backend.h"
#include "sim/card/card_state.h"
#include "sim/card/card_state_lock.h"
#include "sim/card/faults.h"
#include "sim/ftdi/sim_ftdi_calls.h"

namespace vexilo::app {
namespace {

constexpr sim::AdapterMode kSimModes[] = {sim::AdapterMode::Phoenix, sim::AdapterMode::Avr,
                                          sim::AdapterMode::Pic};

sim::AdapterMode ToSim(AdapterMode mode) { return kSimModes[static_cast<int>(mode)]; }

std::unique_ptr<sim::SimBackend> MakeSimulator(const RigOptions& options, Workspace& ws,
                                               const sim::CardStateLock* state) {
  sim::SimOptions sim;
  const CardType* card = ws.Card() ? ws.Card() : FindCardType(kDefaultCardType);
  CheckSimFaults(options.simFaults, *card, ws.settings.simCard);
  sim.card = SimCardType(*card);
  sim.eepromBytes = ExtEepromBytes(*card, ws.options);
  if (!options.simChip.empty()) {
    const std::optional<sim::CardType> inReader = sim::CardTypeWithChip(options.simChip);
    if (!inReader) {
      throw std::invalid_argument("simulated chip \"" + options.simChip + "\": not one of " +
                                  sim::kSimChipNames);
    }
    // Another card in the reader brings its own 24Cxx, of its default size.
    if (*inReader != sim.card) sim.eepromBytes = 0;
    sim.card = *inReader;
  }
  sim.comIndex = ws.settings.avrPicCom;
  sim.faults = sim::ParseFaults(options.simFaults);
  if (ws.settings.simCard == "isa") sim.phoenix = sim::PhoenixModel::Isa;
  std::optional<AdapterMode> mode = options.simAdapterMode;
  if (mode) sim.mode = ToSim(*mode);
  auto backend = std::make_unique<sim::SimBackend>(sim);
  if (state && state->HasState()) {
    try {
      const std::optional<sim::AdapterMode> saved =
          sim::LoadCardState(backend->Card(), options.simStateFile);
      if (saved && !mode) backend->SetModeByHand(*saved);
    } catch (const sim::CardStateError& e) {
      throw std::invalid_argument(e.what());
    }
  }
  return backend;
}

}  // namespace

void CheckSimFaults(const std::vector<std::string>& faults, const CardType& card,
                    const std::string& simCard) {
  const sim::SimFaults parsed = sim::ParseFaults(faults);
  // A fault the chosen card cannot plant would give a clean run that tests nothing.
  for (const std::string& entry : faults) {
    sim::SimFaults one;
    sim::AddFault(one, entry);
    const sim::PhoenixFaults& p = one.phoenix;
    const bool phoenix = p.wrongAtr || p.noLoader || p.silentAfter.has_value() ||
                         p.readReplies != sim::ReadReplies::Normal;
    const std::string name = entry.substr(0, entry.find('='));
    if (phoenix && !card.HasExternalEeprom()) {
      throw sim::FaultError("fault " + name + ": the " + std::string(card.text) +
                            " has no card loader to plant it in; the card types with a 24Cxx "
                            "take it");
    }
    if (phoenix && simCard == "isa") {
      throw sim::FaultError("fault " + name +
                            ": the ISA card runs the loader in the chip as it is and cannot "
                            "plant it; the behavioural card (--sim-card behavioural) takes it");
    }
    if (one.chip.avrClockHz != 0 && card.family != Family::Avr) {
      throw sim::FaultError("fault " + name + ": the " + std::string(card.text) +
                            " has no AVR chip; the AVR card types take it");
    }
  }
  if (!parsed.chip.stuck) return;
  const uint32_t address = parsed.chip.stuck->byteAddress;
  // Byte addresses in program memory; a PIC word w is bytes 2w (low) and 2w + 1 (high).
  const uint32_t flashBytes = card.flashWords * 2;
  if (address >= flashBytes) {
    throw sim::FaultError("fault stuck-bit: address " + std::to_string(address) +
                          " is beyond the " + std::to_string(flashBytes) +
                          "-byte program memory of the " + std::string(card.text));
  }
}

sim::CardType SimCardType(const CardType& card) {
  switch (card.chip) {
    case Chip::AT90S8515:
      return sim::CardType::FunCard;
    case Chip::PIC16F84:
      return sim::CardType::WaferCard;
    case Chip::PIC16F876:
      return sim::CardType::PicCard2;
    case Chip::ATmega128:
      return sim::CardType::BlackCard;
    case Chip::ATmega163:
      return sim::CardType::AtmegaCard;
    case Chip::ATmega8515:
      return sim::CardType::NeooCard;
  }
  return sim::CardType::FunCard;
}

Rig::Rig(const RigOptions& options, Workspace& ws, port::Operator& op)
    : name_(options.backend), simStateFile_(options.simStateFile) {
  if (!simStateFile_.empty() && (name_ == "sim" || name_ == "ftdi")) {
    try {
      stateLock_ = std::make_unique<sim::CardStateLock>(simStateFile_);
    } catch (const sim::CardStateError& e) {
      throw std::runtime_error(e.what());
    }
  }
  if (name_ == "sim") {
    auto simulator = MakeSimulator(options, ws, stateLock_.get());
    sim_ = simulator.get();
    backend_ = std::move(simulator);
  } else if (name_ == "io") {
    port::IoBackendConfig config;
    for (int i = 0; i < 4; ++i) config.comDevices[i] = ws.settings.comDevices[i];
    if (!options.device.empty()) config.comDevices[ws.settings.avrPicCom] = options.device;
    if (options.ioBase != 0) {
      config.comBases[ws.settings.avrPicCom] = options.ioBase;
      config.comBases[ws.settings.phoenixCom] = options.ioBase;
    }
    backend_ = std::make_unique<port::IoBackend>(config);
  } else if (name_ == "tty") {
    std::string device =
        options.device.empty() ? ws.settings.comDevices[ws.settings.avrPicCom] : options.device;
    backend_ = std::make_unique<port::TtyBackend>(device);
  } else if (name_ == "ftdi") {
    port::FtdiOptions ftdi;
    ftdi.device = options.device.empty() ? ws.settings.ftdiDevice : options.device;
    ftdi.pins = port::ParseFtdiPinMap(ws.settings.ftdiPins);
    if (ftdi.device == "sim") {
      // The simulator's FT232R model on the simulated adapter and card.
      simBehind_ = MakeSimulator(options, ws, stateLock_.get());
      sim_ = simBehind_.get();
      ftdi.device.clear();
      ftdi.realHardware = false;
      backend_ = std::make_unique<port::FtdiBackend>(std::make_unique<sim::SimFtdiCalls>(*sim_),
                                                     &sim_->VirtualTime(), ftdi);
    } else {
      backend_ = std::make_unique<port::FtdiBackend>(port::MakeLibFtdiCalls(), nullptr, ftdi);
    }
  } else {
    throw std::invalid_argument("unknown port backend \"" + name_ + "\" (" + kBackendNames + ")");
  }
  if (!options.simFaults.empty() && !sim_) {
    throw std::invalid_argument("faults can only be planted in the simulator");
  }
  if (!sim_) stateLock_.reset();
  if (sim_ && stateLock_) savedState_ = StateText();
  OpenSessionObject(ws, op);
}

Rig::Rig(std::unique_ptr<port::PortBackend> backend, sim::SimBackend* simulator, Workspace& ws,
         port::Operator& op)
    : name_(simulator ? "sim" : "custom"), backend_(std::move(backend)), sim_(simulator) {
  OpenSessionObject(ws, op);
}

void Rig::OpenSessionObject(Workspace& ws, port::Operator& op) {
  Workspace* workspace = &ws;
  session_ = std::make_unique<port::PortSession>(*backend_, op, [workspace] {
    const Settings& s = workspace->settings;
    port::SessionSettings out;
    out.avrPicCom = s.avrPicCom;
    out.phoenixCom = s.phoenixCom;
    out.avrClk = s.avrClk;
    out.picClk = s.picClk;
    out.atrDelay = s.atrDelay;
    return out;
  });
}

Rig::~Rig() = default;

void Rig::ManualModeSwitch(AdapterMode mode) {
  if (sim_) sim_->SetModeByHand(ToSim(mode));
}

std::optional<AdapterMode> Rig::SimAdapterMode() {
  if (!sim_) return std::nullopt;
  return static_cast<AdapterMode>(static_cast<int>(sim_->CardAdapter().Mode()));
}

std::string Rig::StateText() {
  return sim::CardStateText(sim_->Card(), sim_->CardAdapter().Mode());
}

void Rig::SaveSimState() {
  if (!sim_ || !stateLock_) return;
  // Only what the run changed is written: a run that only read leaves the file alone.
  std::string text = StateText();
  if (text == savedState_) return;
  sim::SaveCardStateText(text, simStateFile_);
  savedState_ = std::move(text);
  stateLock_->FollowReplacement();
}

}  // namespace vexilo::app
