// Whole external EEPROM reads through the ISA card: the open loader runs on the card's chip
// (gpsim, simavr) and answers the reader pin by pin. Goals, in wall time on this machine: a
// 24C16 read on the Wafer Card under 5 s, a 24C512 read on the Fun Card under 60 s. The
// simulated hardware time (what the card and the reader take on real hardware) is reported
// beside it as sim_seconds.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "app/command_frames.h"
#include "app/commands.h"
#include "app/rig.h"
#include "app/workspace.h"
#include "quiet_operator.h"
#include "sim/backend/sim_backend.h"
#include "sim/isa/helper_process.h"

namespace {

using namespace vexilo;

std::string OpenLoader(const std::string& name) {
  for (const std::string& dir : app::OpenLoaderDirs()) {
    if (std::filesystem::exists(dir + "/" + name)) return dir + "/" + name;
  }
  return {};
}

// The card with the open loader as its program (written the way the program writes FLASH)
// and random bytes in its 24Cxx.
struct IsaRig {
  IsaRig(const char* card, const char* part, const char* loader) {
    ws.SetCardTypeText(std::string(app::FindCardTypeByName(card)->text));
    ws.settings.autoMode = true;
    ws.settings.simCard = "isa";
    const app::CardType& type = *ws.Card();
    for (size_t i = 0; i < type.extSizes.size(); ++i) {
      if (type.extSizes[i].part == part && !type.ExtSizeFixed()) {
        ws.SelectExtSize(static_cast<int>(i));
      }
    }
    rig = std::make_unique<app::Rig>(app::RigOptions{}, ws, op);
    app::LoadImageFile(ws, app::ImageId::Flash, OpenLoader(loader));
    ok = !app::RunCommand(app::Command::ProgramFlash, ws, *rig, op).failed;
    if (type.family == app::Family::Pic) {
      ok = ok && !app::RunCommand(app::Command::SetBits, ws, *rig, op).failed;
    }
    std::mt19937 random(1);
    for (auto& region : rig->Simulator()->Card().Regions()) {
      if (region.name != "phoenix/24cxx") continue;
      for (auto& byte : region.bytes) byte = static_cast<uint8_t>(random());
    }
  }
  app::Workspace ws;
  bench::QuietOperator op;
  std::unique_ptr<app::Rig> rig;
  bool ok = false;
};

void ReadThrough(benchmark::State& state, const char* card, const char* part, const char* loader) {
  try {
    sim::isa::FindHelperProgram();
  } catch (const std::exception& e) {
    return state.SkipWithError(e.what());
  }
  if (OpenLoader(loader).empty()) return state.SkipWithError("the open loaders were not built");
  IsaRig bench(card, part, loader);
  if (!bench.ok) return state.SkipWithError("the loader could not be written");
  const uint64_t before = bench.rig->Simulator()->VirtualTime().NowUs();
  for (auto _ : state) {
    const app::CommandResult result =
        app::RunCommand(app::Command::ReadEepromExt, bench.ws, *bench.rig, bench.op);
    if (result.failed || !bench.op.errors.empty()) state.SkipWithError("the read failed");
  }
  state.counters["sim_seconds"] =
      benchmark::Counter(double(bench.rig->Simulator()->VirtualTime().NowUs() - before) / 1e6,
                         benchmark::Counter::kAvgIterations);
}

void BM_WaferCard24C16Read(benchmark::State& state) {
  ReadThrough(state, "wafer", "24C16", "loader_pic16f84.hex");
}
BENCHMARK(BM_WaferCard24C16Read)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

void BM_FunCard24C512Read(benchmark::State& state) {
  ReadThrough(state, "fun", "24C512", "loader_at90s8515.hex");
}
BENCHMARK(BM_FunCard24C512Read)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
