// A Black Card FLASH read (65536 words) on the simulator, started from the window's menu,
// against the same read by vexilo-cli in the same run. Goal: the window takes no more than
// 1.2 times as long. The window repaints log, progress and address as the read goes, on the
// offscreen platform unless another one is chosen.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/cli_app.h"
#include "gui/command_runner.h"
#include "gui/main_window.h"

namespace {

using namespace vexilo;

const std::string& WorkDir() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexilo-bench-XXXXXX").string();
    std::string made = mkdtemp(pattern.data());
    std::ofstream(made + "/config.cfg", std::ios::binary)
        << "[TYP]\r\nKARTA=Black Card - ATMega128\r\n[Auto mode]\r\nmode=1\r\n"
           "[Port backend]\r\nbackend=sim\r\n";
    return made;
  }();
  return dir;
}

void BM_CliBlackCardFlashRead(benchmark::State& state) {
  for (auto _ : state) {
    std::ostringstream out, err;
    std::istringstream in;
    const int status = cli::RunCli({"--config", WorkDir() + "/config.cfg", "--card", "black",
                                    "--port", "sim", "read", "flash"},
                                   out, err, in);
    if (status != 0) state.SkipWithError("vexilo-cli failed");
  }
}
BENCHMARK(BM_CliBlackCardFlashRead)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WindowBlackCardFlashRead(benchmark::State& state) {
  std::filesystem::current_path(WorkDir());
  gui::TForm1 window;
  window.show();
  QAction* read = window.findChild<QAction*>("OdczytajFLASH1");
  if (!read) {
    state.SkipWithError("no menu item OdczytajFLASH1");
    return;
  }
  QEventLoop loop;
  QObject::connect(&window.Runner(), &gui::CommandRunner::Finished,
                   [&](app::Command, bool failed, bool) {
                     if (failed) state.SkipWithError("the read failed");
                     loop.quit();
                   });
  for (auto _ : state) {
    read->trigger();
    loop.exec();
  }
  window.Runner().Shutdown();
}
BENCHMARK(BM_WindowBlackCardFlashRead)->Unit(benchmark::kMillisecond)->UseRealTime();

class SummaryReporter final : public benchmark::ConsoleReporter {
 public:
  SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) seconds[run.run_name.function_name] =
        run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(WorkDir());
  const auto& s = reporter.seconds;
  if (!s.count("BM_CliBlackCardFlashRead") || !s.count("BM_WindowBlackCardFlashRead")) return 0;
  const double ratio = s.at("BM_WindowBlackCardFlashRead") / s.at("BM_CliBlackCardFlashRead");
  std::printf("window read %.0f ms, vexilo-cli read %.0f ms: %.2f times (goal: at most 1.2)\n",
              s.at("BM_WindowBlackCardFlashRead") * 1e3, s.at("BM_CliBlackCardFlashRead") * 1e3,
              ratio);
  return ratio > 1.2 ? 1 : 0;
}
