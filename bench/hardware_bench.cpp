// The cost of one simulated port access, bare and through the whole stack.
//
// BM_SessionLineAccesses drives the session's line operations (SCK and MOSI up and down, MISO
// sampled) with an ATmega128 in programming mode behind the simulated 16550: the goal is at
// least 20 million accesses a second. BM_BlackCardFlashRead runs the "read flash" command of
// the Black Card (65536 words, about 17 million accesses) through the command layer, the AVR
// operations, the session and the simulator: its time per access should stay within 1.5 times
// the bare one. The summary after the table compares the two.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>

#include "app/commands.h"
#include "app/rig.h"
#include "app/workspace.h"
#include "avr/avr_operations.h"
#include "quiet_operator.h"
#include "sim/backend/sim_backend.h"

namespace {

using namespace vexilo;

// A Black Card in a simulated adapter switched to AVR mode, on a workspace of its own.
struct BlackCardRig {
  BlackCardRig() {
    ws.SetCardTypeText(std::string(app::FindCardTypeByName("black")->text));
    ws.settings.autoMode = true;
    sim::SimOptions options;
    options.card = sim::CardType::BlackCard;
    options.mode = sim::AdapterMode::Avr;
    auto backend = std::make_unique<sim::SimBackend>(options);
    simulator = backend.get();
    rig = std::make_unique<app::Rig>(std::move(backend), simulator, ws, op);
  }
  app::Workspace ws;
  bench::QuietOperator op;
  sim::SimBackend* simulator;
  std::unique_ptr<app::Rig> rig;
};

void BM_SessionLineAccesses(benchmark::State& state) {
  BlackCardRig bench;
  port::PortSession& session = bench.rig->Session();
  session.OpenPort("avr/pic");
  uint8_t errorFlag = 0;
  avr::AvrContext ctx{session, bench.op, errorFlag};
  if (!avr::AtmelSpiOn(ctx)) state.SkipWithError("the ATmega128 did not enter programming mode");
  const uint64_t before = bench.simulator->PortAccesses();
  unsigned miso = 0;
  for (auto _ : state) {
    for (int bit = 0; bit < 64; ++bit) {
      session.SetDTR(bit & 1);
      session.SetRTS(1);
      miso += session.GetCTS();
      session.SetRTS(0);
    }
  }
  benchmark::DoNotOptimize(miso);
  const double accesses = double(bench.simulator->PortAccesses() - before);
  state.counters["accesses"] = benchmark::Counter(accesses, benchmark::Counter::kIsRate);
  state.counters["per_iteration"] =
      benchmark::Counter(accesses, benchmark::Counter::kAvgIterations);
  session.ClosePort();
}
BENCHMARK(BM_SessionLineAccesses);

void BM_BlackCardFlashRead(benchmark::State& state) {
  BlackCardRig bench;
  const uint64_t before = bench.simulator->PortAccesses();
  const uint64_t virtualBefore = bench.simulator->VirtualTime().NowUs();
  for (auto _ : state) {
    app::CommandResult result =
        app::RunCommand(app::Command::ReadFlash, bench.ws, *bench.rig, bench.op);
    if (result.failed) state.SkipWithError("the read failed");
  }
  const double accesses = double(bench.simulator->PortAccesses() - before);
  state.counters["accesses"] = benchmark::Counter(accesses, benchmark::Counter::kIsRate);
  state.counters["per_iteration"] =
      benchmark::Counter(accesses, benchmark::Counter::kAvgIterations);
  state.counters["hardware_s"] =
      benchmark::Counter(double(bench.simulator->VirtualTime().NowUs() - virtualBefore) / 1e6,
                         benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_BlackCardFlashRead)->Unit(benchmark::kMillisecond);

// Keeps the time per access of every run for the summary.
class SummaryReporter final : public benchmark::ConsoleReporter {
 public:
  SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto perIteration = run.counters.find("per_iteration");
      if (perIteration == run.counters.end() || perIteration->second.value <= 0) continue;
      const double seconds =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      nsPerAccess[run.run_name.function_name] = seconds * 1e9 / perIteration->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> nsPerAccess;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const auto& ns = reporter.nsPerAccess;
  int status = 0;
  if (ns.count("BM_SessionLineAccesses")) {
    const double bare = ns.at("BM_SessionLineAccesses");
    std::printf("bare session line accesses: %.1f million/s (goal: at least 20)\n", 1e3 / bare);
    if (1e3 / bare < 20) status = 1;
    if (ns.count("BM_BlackCardFlashRead")) {
      const double full = ns.at("BM_BlackCardFlashRead");
      std::printf("full stack %.2f ns per access, bare %.2f ns: %.2f times (goal: at most 1.5)\n",
                  full, bare, full / bare);
      if (full / bare > 1.5) status = 1;
    }
  }
  return status;
}
