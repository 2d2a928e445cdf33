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
#include "quiet_operator.h"
#include "sim/backend/sim_serial_device.h"

namespace {

using namespace vexilo;

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
  bench::QuietOperator op;
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
  for (const std::string& line : op.errors) std::printf("  error: %s\n", line.c_str());
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
