// How long the FLASH writes keep the hardware busy, with the fixed write delays and with Fast
// write, on the simulator (one microsecond per port access): "Programuj FLASH" (programming
// mode, the write with read-back, programming mode left) of a full memory of pseudo-random
// words, and for the Pic Card 2 "Programuj Flash/EEp int" (erase first). The adapter is in the
// card's mode from the start, as after switching it by hand: the mode burst of AutoMode would
// add the same half second to both paths. Both paths run in one go; the summary puts them side
// by side and checks the goals:
//   NeooCard (ATmega8515, 8 KB)        Fast write at most 3.4 s
//   ATMega Card (ATmega163, 16 KB)     Fast write at most 7 s (write delay 20 ms)
//   Black Card (ATmega128, 128 KB)     Fast write at most 40 s
//   Fun Card (AT90S8515, 8 KB)         Fast write at most 0.85 times the fixed delays
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/rig.h"
#include "app/workspace.h"
#include "quiet_operator.h"
#include "sim/backend/sim_backend.h"

namespace {

using namespace vexilo;

struct Case {
  const char* card;  // command-line alias
  const char* label;
  const char* delay;
  app::Command command;
  double goalSeconds;  // Fast write at most this; 0: none
  double goalRatio;    // Fast write at most this times the fixed delays; 0: none
};

constexpr Case kCases[] = {
    {"neoo", "NeooCard ATmega8515 8 KB", "5", app::Command::ProgramFlash, 3.4, 0},
    {"atmega", "ATMega Card ATmega163 16 KB", "20", app::Command::ProgramFlash, 7, 0},
    {"black", "Black Card ATmega128 128 KB", "5", app::Command::ProgramFlash, 40, 0},
    {"fun", "Fun Card AT90S8515 8 KB", "5", app::Command::ProgramFlash, 0, 0.85},
    {"pic2", "Pic Card 2 PIC16F876 16 KB, with erase", "10", app::Command::ProgramFlashEepromInt, 0,
     0},
};

// Simulated seconds and wall milliseconds of one run.
struct Figures {
  double hardwareSeconds = 0;
  double wallMs = 0;
};
std::map<std::pair<int, bool>, Figures> gFigures;

void RunWrite(benchmark::State& state, int index, bool fast) {
  const Case& c = kCases[index];
  for (auto _ : state) {
    state.PauseTiming();
    app::Workspace ws;
    bench::QuietOperator op;
    ws.SetCardTypeText(std::string(app::FindCardTypeByName(c.card)->text));
    ws.settings.autoMode = false;
    ws.settings.avrDelay = ws.settings.picDelay = c.delay;
    ws.settings.fastWrite = fast;
    ws.options.pic2.checkBox10 = true;  // PIC16F876 data EEPROM unprotected
    uint32_t x = 0x2545F491;
    const uint16_t wordMask = c.command == app::Command::ProgramFlash ? 0xFFFF : 0x3FFF;
    for (uint32_t w = 0; w < ws.flash.Cells(); ++w) {
      x = x * 1664525u + 1013904223u;
      uint16_t value = static_cast<uint16_t>(x >> 12) & wordMask;
      if (value == wordMask) value = 0x1234;  // no blank words: every page is written
      ws.flash.SetCell(w, value);
    }
    sim::SimOptions options;
    options.card = app::SimCardType(*ws.Card());
    options.mode =
        c.command == app::Command::ProgramFlash ? sim::AdapterMode::Avr : sim::AdapterMode::Pic;
    auto backend = std::make_unique<sim::SimBackend>(options);
    sim::SimBackend* simulator = backend.get();
    app::Rig rig(std::move(backend), simulator, ws, op);
    const uint64_t before = simulator->VirtualTime().NowUs();
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    const app::CommandResult result = app::RunCommand(c.command, ws, rig, op);
    const auto end = std::chrono::steady_clock::now();
    if (result.failed) {
      state.SkipWithError(("the write failed: " + (op.errors.empty() ? "" : op.errors[0])).c_str());
    }
    Figures& f = gFigures[{index, fast}];
    f.hardwareSeconds = double(simulator->VirtualTime().NowUs() - before) / 1e6;
    f.wallMs = std::chrono::duration<double, std::milli>(end - start).count();
    state.counters["hardware_s"] = f.hardwareSeconds;
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 0; i < int(std::size(kCases)); ++i) {
    for (const bool fast : {false, true}) {
      const std::string name =
          std::string("BM_Write/") + kCases[i].card + (fast ? "/fast_write" : "/fixed_delays");
      benchmark::RegisterBenchmark(name.c_str(), RunWrite, i, fast)
          ->Iterations(1)
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  int status = 0;
  std::printf("\n%-40s %22s %22s %7s  %s\n", "simulated hardware time (wall time)",
              "fixed write delays", "Fast write", "ratio", "goal");
  for (int i = 0; i < int(std::size(kCases)); ++i) {
    if (!gFigures.count({i, false}) || !gFigures.count({i, true})) continue;
    const Case& c = kCases[i];
    const Figures slow = gFigures[{i, false}];
    const Figures fast = gFigures[{i, true}];
    const double ratio = fast.hardwareSeconds / slow.hardwareSeconds;
    char goal[64] = "-";
    bool met = true;
    if (c.goalSeconds > 0) {
      met = fast.hardwareSeconds <= c.goalSeconds;
      std::snprintf(goal, sizeof goal, "Fast write <= %g s: %s", c.goalSeconds,
                    met ? "met" : "MISSED");
    } else if (c.goalRatio > 0) {
      met = ratio <= c.goalRatio;
      std::snprintf(goal, sizeof goal, "ratio <= %g: %s", c.goalRatio, met ? "met" : "MISSED");
    }
    if (!met) status = 1;
    std::printf("%-40s %9.2f s (%6.0f ms) %9.2f s (%6.0f ms) %7.3f  %s\n", c.label,
                slow.hardwareSeconds, slow.wallMs, fast.hardwareSeconds, fast.wallMs, ratio, goal);
  }
  return status;
}
