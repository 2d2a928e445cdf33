// The FTDI backend on the simulator's FT232R model (its USB frames, latency timer and bit-bang
// clock in simulated time), beside the same work through the serial-device backend at 1 ms per
// kernel call, in one run. The adapter is in the card's mode from the start, as after
// switching it by hand. Goals (simulated hardware time of the operation, START to STOP):
//   8 KB AT90S8515 FLASH read                          at most 5 s
//   Black Card 128 KB FLASH read                       at most 60 s
//   8 KB ATmega8515 FLASH write with read-back         at most 35 s (write delay 5 ms)
//   the same with Fast write                           at most 5 s
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "app/card_catalogue.h"
#include "app/commands.h"
#include "app/rig.h"
#include "app/workspace.h"
#include "port/ftdi/ftdi_backend.h"
#include "port/tty_backend.h"
#include "quiet_operator.h"
#include "sim/ftdi/sim_ftdi_calls.h"
#include "sim/sim_serial_device.h"

namespace {

using namespace vexilo;

enum class Through { Ftdi, SerialDevice };

struct Case {
  const char* label;
  const char* card;
  app::Command command;
  const char* operation;
  bool fastWrite;
  Through through;
  double goalS;  // 0: printed for comparison only
};

constexpr Case kCases[] = {
    {"8 KB AT90S8515 FLASH read", "fun", app::Command::ReadFlash, "ATMEL READ FLASH", false,
     Through::Ftdi, 5},
    {"  the same, serial device at 1 ms per call", "fun", app::Command::ReadFlash,
     "ATMEL READ FLASH", false, Through::SerialDevice, 0},
    {"Black Card 128 KB FLASH read", "black", app::Command::ReadFlash, "ATMEL READ FLASH", false,
     Through::Ftdi, 60},
    {"8 KB ATmega8515 FLASH write with read-back", "neoo", app::Command::ProgramFlash,
     "ATMEL WRITE FLASH", false, Through::Ftdi, 35},
    {"  the same, serial device at 1 ms per call", "neoo", app::Command::ProgramFlash,
     "ATMEL WRITE FLASH", false, Through::SerialDevice, 0},
    {"  the same with Fast write", "neoo", app::Command::ProgramFlash, "ATMEL WRITE FLASH", true,
     Through::Ftdi, 5},
};

bool Run(const Case& c) {
  app::Workspace ws;
  ws.SetCardTypeText(std::string(app::FindCardTypeByName(c.card)->text));
  ws.settings.autoMode = false;
  ws.settings.fastWrite = c.fastWrite;
  uint32_t x = 0x2545F491;
  for (uint32_t w = 0; w < ws.flash.Cells(); ++w) {
    x = x * 1664525u + 1013904223u;
    const auto value = static_cast<uint16_t>(x >> 12);
    ws.flash.SetCell(w, value == 0xFFFF ? 0x1234 : value);
  }
  sim::SimOptions options;
  options.card = app::SimCardType(*ws.Card());
  options.mode = sim::AdapterMode::Avr;
  sim::SimBackend sim(options);
  port::VirtualClock& clock = sim.VirtualTime();
  bench::QuietOperator op;
  uint64_t startUs = 0;
  uint64_t stopUs = 0;
  const std::string operation = c.operation;
  op.onLog = [&](const std::string& line) {
    if (line == operation + " : START") startUs = clock.NowUs();
    if (line == operation + " : STOP") stopUs = clock.NowUs();
  };
  std::unique_ptr<port::PortBackend> backend;
  std::unique_ptr<sim::SimSerialSyscalls> syscalls;
  if (c.through == Through::Ftdi) {
    port::FtdiOptions ftdi;
    ftdi.realHardware = false;
    backend =
        std::make_unique<port::FtdiBackend>(std::make_unique<sim::SimFtdiCalls>(sim), &clock, ftdi);
  } else {
    syscalls = std::make_unique<sim::SimSerialSyscalls>(sim, "/dev/ttyUSB0", 1'000'000);
    backend = std::make_unique<port::TtyBackend>("/dev/ttyUSB0", *syscalls, clock);
  }
  app::Rig rig(std::move(backend), nullptr, ws, op);
  const auto wallStart = std::chrono::steady_clock::now();
  const bool failed = app::RunCommand(c.command, ws, rig, op).failed || !op.errors.empty();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const double seconds = double(stopUs - startUs) / 1e6;
  const bool met = !failed && (c.goalS == 0 || seconds <= c.goalS);
  std::printf("%-46s %9.2f s simulated (%6.1f min) %7.2f s wall", c.label, seconds, seconds / 60,
              wall);
  if (c.goalS > 0) std::printf("  goal <= %.0f s: %s", c.goalS, met ? "met" : "NOT MET");
  std::printf("\n");
  for (const std::string& e : op.errors) std::printf("  error: %s\n", e.c_str());
  return met;
}

}  // namespace

int main() {
  std::printf("FTDI backend on the FT232R model, beside the serial-device backend:\n");
  bool ok = true;
  for (const Case& c : kCases) ok = Run(c) && ok;
  return ok ? 0 : 1;
}
