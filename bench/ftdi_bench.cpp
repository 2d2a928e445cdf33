// The FTDI backend through the real libftdi on the simulator's FT232R model (its USB frames,
// latency timer and bit-bang clock in simulated time), under both readings of the chip's
// bit-bang clock, each beside the same command on the simulated 16550 (the sim backend), in one
// run. Goals (simulated time):
//   Fun Card without a loader, read eeprom-ext to its ATR ERROR   at most 1.2 x the sim backend
//   Fun Card program all (loader, 8 KB 24C64, 2 KB FLASH)         at most 1.3 x the sim backend
//   8 KB AT90S8515 FLASH read                                     at most 5 s
//   Black Card 128 KB FLASH read                                  at most 60 s
//   8 KB ATmega8515 FLASH write with read-back                    at most 35 s
//   the same with Fast write                                      at most 5 s
//   USB IN transfers per bit-bang exchange of that write          at most 1.1
// The flash figures are START to STOP of the operation, the others the whole command.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "app/card_catalogue.h"
#include "app/commands.h"
#include "app/rig.h"
#include "app/workspace.h"
#include "port/ftdi/ftdi_backend.h"
#include "quiet_operator.h"
#include "sim/ftdi/sim_ftdi_calls.h"

namespace {

using namespace vexilo;
using Clock = sim::Ft232rTiming::BitbangClock;

struct Case {
  const char* label;
  const char* card;
  app::Command command;
  const char* operation;  // timed from its START to its STOP; null: the whole command
  bool fastWrite;
  uint32_t flashWords;  // of the image written
  double goalS;         // at most this many seconds, or 0
  double goalRatio;     // at most this times the sim backend's time, or 0
  bool countTransfers;  // IN transfers per exchange
};

constexpr Case kCases[] = {
    {"Fun Card without a loader: read eeprom-ext", "fun", app::Command::ReadEepromExt, nullptr,
     false, 0, 0, 1.2, false},
    {"Fun Card program all (24C64, 2 KB FLASH)", "fun", app::Command::ProgramFull, nullptr, false,
     1024, 0, 1.3, false},
    {"8 KB AT90S8515 FLASH read", "fun", app::Command::ReadFlash, "ATMEL READ FLASH", false, 4096,
     5, 0, false},
    {"Black Card 128 KB FLASH read", "black", app::Command::ReadFlash, "ATMEL READ FLASH", false,
     4096, 60, 0, false},
    {"8 KB ATmega8515 FLASH write with read-back", "neoo", app::Command::ProgramFlash,
     "ATMEL WRITE FLASH", false, 4096, 35, 0, true},
    {"  the same with Fast write", "neoo", app::Command::ProgramFlash, "ATMEL WRITE FLASH", true,
     4096, 5, 0, false},
};

struct Figures {
  double seconds = 0;
  double wall = 0;
  bool failed = false;
  double inPerExchange = 0;
  std::string firstError;
};

// `clock` null: the sim backend.
Figures Run(const Case& c, const Clock* clock) {
  app::Workspace ws;
  ws.SetCardTypeText(std::string(app::FindCardTypeByName(c.card)->text));
  ws.settings.autoMode = true;
  ws.settings.fastWrite = c.fastWrite;
  uint32_t x = 0x2545F491;
  for (uint32_t w = 0; w < c.flashWords && w < ws.flash.Cells(); ++w) {
    x = x * 1664525u + 1013904223u;
    const auto value = static_cast<uint16_t>(x >> 12);
    ws.flash.SetCell(w, value == 0xFFFF ? 0x1234 : value);
  }
  for (uint32_t i = 0; i < ws.eepromExt.Cells(); ++i) {
    ws.eepromExt.SetCell(i, static_cast<uint16_t>((i * 7 + 3) & 0xFF));
  }
  sim::SimOptions options;
  options.card = app::SimCardType(*ws.Card());
  options.mode = c.command == app::Command::ReadFlash || c.command == app::Command::ProgramFlash
                     ? sim::AdapterMode::Avr
                     : sim::AdapterMode::Phoenix;
  auto simulator = std::make_unique<sim::SimBackend>(options);
  sim::SimBackend& sim = *simulator;
  port::VirtualClock& time = sim.VirtualTime();
  bench::QuietOperator op;
  uint64_t startUs = 0;
  uint64_t stopUs = 0;
  if (c.operation != nullptr) {
    op.onLog = [&, operation = std::string(c.operation)](const std::string& line) {
      if (line == operation + " : START") startUs = time.NowUs();
      if (line == operation + " : STOP") stopUs = time.NowUs();
    };
  }
  sim::SimFtdiCalls* calls = nullptr;
  std::unique_ptr<app::Rig> rig;
  if (clock == nullptr) {
    rig = std::make_unique<app::Rig>(std::move(simulator), &sim, ws, op);
  } else {
    sim::SimFtdiOptions ftdiOptions;
    ftdiOptions.timing.bitbangClock = *clock;
    auto owned = std::make_unique<sim::SimFtdiCalls>(sim, ftdiOptions);
    calls = owned.get();
    port::FtdiOptions ftdi;
    ftdi.realHardware = false;
    rig = std::make_unique<app::Rig>(
        std::make_unique<port::FtdiBackend>(std::move(owned), &time, ftdi), &sim, ws, op);
  }
  const uint64_t commandStartUs = time.NowUs();
  const uint64_t exchangesBefore = calls ? calls->Exchanges() : 0;
  const uint64_t inBefore = calls ? calls->Chip().InTransfers() : 0;
  const auto wallStart = std::chrono::steady_clock::now();
  Figures f;
  f.failed = app::RunCommand(c.command, ws, *rig, op).failed;
  if (!op.errors.empty()) f.firstError = op.errors.front();
  f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  if (c.operation == nullptr) {
    startUs = commandStartUs;
    stopUs = time.NowUs();
  }
  f.seconds = double(stopUs - startUs) / 1e6;
  if (calls != nullptr && calls->Exchanges() > exchangesBefore) {
    f.inPerExchange = double(calls->Chip().InTransfers() - inBefore) /
                      double(calls->Exchanges() - exchangesBefore);
  }
  rig.reset();
  return f;
}

}  // namespace

int main() {
  std::printf(
      "FTDI backend through libftdi on the FT232R model (simulated time), beside the sim "
      "backend:\n");
  bool ok = true;
  for (const Case& c : kCases) {
    const Figures base = Run(c, nullptr);
    std::printf("%s\n  sim backend                %9.2f s (%.2f s wall)%s\n", c.label, base.seconds,
                base.wall, base.failed ? "  [command failed]" : "");
    if (!base.firstError.empty()) std::printf("    %s\n", base.firstError.c_str());
    for (const Clock clock : {Clock::FourTimesGenerator, Clock::QuarterGenerator}) {
      const Figures f = Run(c, &clock);
      const double ratio = base.seconds > 0 ? f.seconds / base.seconds : 0;
      bool met = f.failed == base.failed || c.command == app::Command::ReadEepromExt;
      met = met && (c.goalS == 0 || f.seconds <= c.goalS);
      met = met && (c.goalRatio == 0 || ratio <= c.goalRatio);
      met = met && (!c.countTransfers || f.inPerExchange <= 1.1);
      std::printf("  FTDI, %-20s %9.2f s (%.2f x, %.2f s wall)",
                  clock == Clock::FourTimesGenerator ? "4 bytes per baud" : "a byte per 4 bauds",
                  f.seconds, ratio, f.wall);
      if (c.countTransfers) std::printf(", %.3f IN transfers per exchange", f.inPerExchange);
      if (c.goalS > 0) std::printf("  goal <= %.0f s", c.goalS);
      if (c.goalRatio > 0) std::printf("  goal <= %.1f x", c.goalRatio);
      std::printf(": %s%s\n", met ? "met" : "NOT MET", f.failed ? " [command failed]" : "");
      if (!f.firstError.empty()) std::printf("    %s\n", f.firstError.c_str());
      ok = ok && met;
    }
  }
  return ok ? 0 : 1;
}
