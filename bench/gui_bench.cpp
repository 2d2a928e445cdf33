// A Black Card FLASH read (65536 words) on the simulator, started from the window's menu,
// against the same read by vexilo-cli in the same run. Goal: the window takes no more than
// 1.2 times as long. The window repaints log, progress and address as the read goes, on the
// offscreen platform unless another one is chosen. The process keeps to one processor.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

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

bool CliRead() {
  std::ostringstream out, err;
  std::istringstream in;
  return cli::RunCli({"--config", WorkDir() + "/config.cfg", "--card", "black", "--port", "sim",
                      "read", "flash"},
                     out, err, in) == 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The two reads take turns, so a machine that speeds up or slows down during the run touches
// both alike; the medians of the pairs are compared.
void BM_WindowAgainstCliBlackCardFlashRead(benchmark::State& state) {
  std::filesystem::current_path(WorkDir());
  gui::TForm1 window;
  window.show();
  QAction* read = window.findChild<QAction*>("OdczytajFLASH1");
  if (!read) {
    state.SkipWithError("no menu item OdczytajFLASH1");
    return;
  }
  QEventLoop loop;
  bool failed = false;
  QObject::connect(&window.Runner(), &gui::CommandRunner::Finished,
                   [&](app::Command, bool commandFailed, bool) {
                     failed = failed || commandFailed;
                     loop.quit();
                   });
  std::vector<double> cliMs, windowMs;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!CliRead()) failed = true;
    auto middle = std::chrono::steady_clock::now();
    read->trigger();
    loop.exec();
    auto end = std::chrono::steady_clock::now();
    cliMs.push_back(std::chrono::duration<double, std::milli>(middle - start).count());
    windowMs.push_back(std::chrono::duration<double, std::milli>(end - middle).count());
  }
  window.Runner().Shutdown();
  if (failed) state.SkipWithError("a read failed");
  state.counters["cli_ms"] = Median(cliMs);
  state.counters["window_ms"] = Median(windowMs);
  state.counters["ratio"] = Median(windowMs) / Median(cliMs);
}
BENCHMARK(BM_WindowAgainstCliBlackCardFlashRead)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(11);

class SummaryReporter final : public benchmark::ConsoleReporter {
 public:
  SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      for (const auto& [name, counter] : run.counters) counters[name] = counter.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> counters;
};

}  // namespace

// Both reads on one processor: on a small virtual machine a thread that moves between cores
// costs more than everything the window adds, and the comparison would measure that.
void StayOnOneProcessor() {
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  sched_setaffinity(0, sizeof(one), &one);
}

int main(int argc, char** argv) {
  StayOnOneProcessor();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(WorkDir());
  const auto& c = reporter.counters;
  if (!c.count("ratio")) return 0;
  const double ratio = c.at("ratio");
  std::printf(
      "window read %.0f ms, vexilo-cli read %.0f ms (medians of turns): %.2f times "
      "(goal: at most 1.2)\n",
      c.at("window_ms"), c.at("cli_ms"), ratio);
  return ratio > 1.2 ? 1 : 0;
}
