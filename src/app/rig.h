#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "port/backend.h"
#include "port/operator.h"
#include "port/port_session.h"

namespace vexilo::sim {
class SimBackend;
class CardStateLock;
enum class CardType;
}  // namespace vexilo::sim

namespace vexilo::app {

class Workspace;
struct CardType;

// The adapter's three uses of the card contacts.
enum class AdapterMode { Phoenix, Avr, Pic };

// Which port access a run uses and how it is set up.
struct RigOptions {
  // "sim": the simulated adapter and card; "io": x86 port I/O on a 16550 (needs root);
  // "tty": a serial device, USB adapters included; "ftdi": an FTDI USB adapter in bit-bang
  // mode.
  std::string backend = "sim";
  // The serial device of the tty backend; for io, the device that holds COM1 .. COM4; for
  // ftdi, libftdi's description of the device, or "sim" for the simulator's FT232R model.
  std::string device;
  // For io: the UART's I/O base instead of the one the device's kernel description gives
  // (0: from the device, else the standard COM base).
  uint16_t ioBase = 0;
  std::vector<std::string> simFaults;  // fault names of the simulator
  std::string simStateFile;            // the simulated card's memories between runs
  // The chip in the simulated reader when it is not the card type's ("atmega163"): the card
  // of that chip, with its own 24Cxx. Empty: the card type's own card.
  std::string simChip;
  // The simulated adapter's mode switch as the previous rig left it: one adapter serves
  // every card, and it keeps the mode of its last burst. Unset: the state file's, else
  // Phoenix (the mode at power-up).
  std::optional<AdapterMode> simAdapterMode;
};

// The hardware the commands of a run drive: one port backend and the port session on it.
class Rig {
 public:
  // Builds the backend. For the simulator the card in the adapter is the workspace's card
  // type with its external EEPROM size, restored from the state file when that exists.
  // Throws std::invalid_argument for an unknown backend, fault or a state file that does not
  // fit the card.
  Rig(const RigOptions& options, Workspace& ws, port::Operator& op);
  // Runs on a backend the caller built; `simulator` is that same backend when it is one.
  Rig(std::unique_ptr<port::PortBackend> backend, sim::SimBackend* simulator, Workspace& ws,
      port::Operator& op);
  ~Rig();

  port::PortBackend& Backend() { return *backend_; }
  port::PortSession& Session() { return *session_; }
  // The simulator, when the rig runs on it.
  sim::SimBackend* Simulator() { return sim_; }
  const std::string& BackendName() const { return name_; }

  // The person switched the adapter by hand after being asked to.
  void ManualModeSwitch(AdapterMode mode);
  // Writes the simulated card's memories and the adapter's mode to the state file, if one
  // was given and the run changed them. The rig holds the file locked for its whole life: a
  // second rig on it waits a bounded time, then throws naming the card as in use.
  void SaveSimState();
  // The simulated adapter's mode, when the rig runs on the simulator.
  std::optional<AdapterMode> SimAdapterMode();
  // On the simulator, the requests to switch the adapter by hand are answered by the
  // simulated adapter itself (no box); off by default. A real adapter always asks.
  void SetSimAdapterSwitchesItself(bool on) { simSwitchesItself_ = on; }
  bool SimAdapterSwitchesItself() const { return simSwitchesItself_ && sim_ != nullptr; }

 private:
  void OpenSessionObject(Workspace& ws, port::Operator& op);

  std::string StateText();

  std::string name_;
  std::string simStateFile_;
  // Held for the rig's life: one run at a time on a card state file.
  std::unique_ptr<sim::CardStateLock> stateLock_;
  std::string savedState_;  // as the file holds it (or the fresh card's, without a file)
  // The simulator behind another backend (the FTDI chip model), when that runs on it.
  std::unique_ptr<sim::SimBackend> simBehind_;
  std::unique_ptr<port::PortBackend> backend_;
  sim::SimBackend* sim_ = nullptr;
  std::unique_ptr<port::PortSession> session_;
  bool simSwitchesItself_ = false;
};

// The simulated card that stands for a card type.
sim::CardType SimCardType(const CardType& card);

// Checks the simulator fault names for a card type and the simulated card on the Phoenix
// reader (Settings::simCard): an unknown name or bad value, a stuck bit beyond the chip's
// program memory, and a fault that card cannot plant throw std::invalid_argument naming the
// fault and which card takes it.
void CheckSimFaults(const std::vector<std::string>& faults, const CardType& card,
                    const std::string& simCard = "behavioural");

// The simulator's cards on the Phoenix reader (Settings::simCard), for help texts.
inline constexpr const char* kSimCardNames = "behavioural|isa";

// The names the rig accepts, for help texts.
inline constexpr const char* kBackendNames = "sim|io|tty|ftdi";

}  // namespace vexilo::app
