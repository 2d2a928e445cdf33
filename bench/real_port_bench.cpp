// The time estimate on a slow port: an 8 KB AT90S8515 FLASH read through the serial-device
// backend, each kernel call costing 1 ms of simulated time (a USB serial adapter), with the
// estimate made after the first word printed beside the time the read then took. The same
// read through the simulated 16550 (1 us per port access) is printed for comparison.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

#include "app/card_catalogue.h"
#include "app/commands.h"
#include "app/rig.h"
#include "app/workspace.h"
#include "port/tty_backend.h"
#include "sim/sim_serial_device.h"

namespace {

using namespace vexilo;

class Recorder final : public port::Operator {
 public:
  void Log(const std::string& line) override {
    if (line.rfind("Estimated", 0) == 0) announcement = line;
  }
  void LogError(const std::string& line) override { std::printf("  error: %s\n", line.c_str()); }
  void SetProgress(uint32_t, uint32_t) override {}
  void SetTimes(uint64_t elapsedUs, uint64_t remainingUs) override {
    if (firstEstimateUs == 0) firstEstimateUs = elapsedUs + remainingUs;
  }
  void SetAddress(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return true; }
  void ShowInfo(const std::string&) override {}
  bool StopRequested() const override { return false; }
  void ClearStopRequest() override {}
  void SetStatusPanel(int, const std::string&) override {}
  void ShowMessage(const std::string& text) override { std::printf("  %s\n", text.c_str()); }
  void SetBusy(bool) override {}

  std::string announcement;
  uint64_t firstEstimateUs = 0;
};

struct Run {
  double simulatedS;
  double wallS;
  double estimateS;
  std::string announcement;
  bool failed;
};

Run ReadFlash(bool throughSerialDevice) {
  app::Workspace ws;
  ws.SetCardTypeText(std::string(app::FindCardTypeByName("fun")->text));
  ws.settings.autoMode = true;
  sim::SimOptions options;
  options.card = app::SimCardType(*ws.Card());
  auto sim = std::make_unique<sim::SimBackend>(options);
  sim::SimSerialSyscalls calls(*sim, "/dev/ttyUSB0", 1'000'000);
  Recorder op;
  std::unique_ptr<app::Rig> rig;
  port::VirtualClock& clock = sim->VirtualTime();
  if (throughSerialDevice) {
    rig = std::make_unique<app::Rig>(
        std::make_unique<port::TtyBackend>("/dev/ttyUSB0", calls, clock), nullptr, ws, op);
  } else {
    sim::SimBackend* raw = sim.get();
    rig = std::make_unique<app::Rig>(std::move(sim), raw, ws, op);
  }
  port::Clock& time = rig->Backend().Time();
  const uint64_t start = time.NowUs();
  const auto wallStart = std::chrono::steady_clock::now();
  const bool failed = app::RunCommand(app::Command::ReadFlash, ws, *rig, op).failed;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  return {double(time.NowUs() - start) / 1e6, wall, double(op.firstEstimateUs) / 1e6,
          op.announcement, failed};
}

}  // namespace

int main() {
  const Run tty = ReadFlash(true);
  const Run uart = ReadFlash(false);
  std::printf("8 KB AT90S8515 FLASH read, serial device at 1 ms per call:\n");
  std::printf("  %s\n", tty.announcement.c_str());
  std::printf(
      "  estimate after the first word %.1f s, the read took %.1f s simulated "
      "(%.3f s wall): %.1f %% off (goal: within 20 %%)\n",
      tty.estimateS, tty.simulatedS, tty.wallS,
      100.0 * (tty.estimateS - tty.simulatedS) / tty.simulatedS);
  std::printf(
      "  the same read on the simulated 16550 (1 us per access): %.2f s simulated "
      "(%.3f s wall)\n",
      uart.simulatedS, uart.wallS);
  const bool ok = !tty.failed && !uart.failed &&
                  std::fabs(tty.estimateS - tty.simulatedS) <= 0.2 * tty.simulatedS;
  return ok ? 0 : 1;
}
