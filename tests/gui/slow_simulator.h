#pragma once
// The simulated adapter and card with a clock that keeps pace with the wall clock at a fraction
// of real speed, so a long command takes long enough to watch the window while it runs.
#include <chrono>
#include <memory>
#include <thread>

#include "app/rig.h"
#include "app/workspace.h"
#include "sim/backend/sim_backend.h"

namespace vexilo::gui::test {

// Every pause (and every 256th yield) waits until the wall clock has caught up with the
// simulated time divided by `divisor`.
class SlowClock final : public port::Clock {
 public:
  SlowClock(port::Clock& inner, double divisor)
      : inner_(inner),
        divisor_(divisor),
        simStart_(inner.NowNs()),
        wallStart_(std::chrono::steady_clock::now()) {}

  void SleepMs(unsigned ms) override {
    inner_.SleepMs(ms);
    CatchUp();
  }
  void Yield() override {
    inner_.Yield();
    if ((++yields_ & 255u) == 0) CatchUp();
  }
  uint64_t NowUs() const override { return inner_.NowUs(); }
  uint64_t NowNs() const override { return inner_.NowNs(); }

 private:
  void CatchUp() {
    const auto simulated = static_cast<double>(inner_.NowNs() - simStart_) / divisor_;
    std::this_thread::sleep_until(wallStart_ +
                                  std::chrono::nanoseconds(static_cast<int64_t>(simulated)));
  }

  port::Clock& inner_;
  double divisor_;
  uint64_t simStart_;
  std::chrono::steady_clock::time_point wallStart_;
  unsigned yields_ = 0;
};

class SlowSimBackend final : public port::PortBackend {
 public:
  SlowSimBackend(std::unique_ptr<sim::SimBackend> inner, double divisor)
      : inner_(std::move(inner)), clock_(inner_->Time(), divisor) {}

  port::PortIo& Io() override { return inner_->Io(); }
  port::CommPort& Comm() override { return inner_->Comm(); }
  port::IoPermission& Permission() override { return inner_->Permission(); }
  port::Clock& Time() override { return clock_; }
  port::SessionMode Mode() const override { return inner_->Mode(); }
  std::string SystemLine() const override { return inner_->SystemLine(); }
  std::string DeviceForCom(int index) const override { return inner_->DeviceForCom(index); }
  bool BeginSession(uint16_t base) override { return inner_->BeginSession(base); }
  void EndSession() override { inner_->EndSession(); }
  sim::SimBackend& Simulator() { return *inner_; }

 private:
  std::unique_ptr<sim::SimBackend> inner_;
  SlowClock clock_;
};

// A rig on the simulated card of the workspace's card type, `divisor` times slower than the
// simulated time.
inline std::unique_ptr<app::Rig> SlowSimRig(app::Workspace& ws, port::Operator& op,
                                            double divisor) {
  sim::SimOptions options;
  options.card = app::SimCardType(*ws.Card());
  options.eepromBytes = app::ExtEepromBytes(*ws.Card(), ws.options);
  options.comIndex = ws.settings.avrPicCom;
  auto backend =
      std::make_unique<SlowSimBackend>(std::make_unique<sim::SimBackend>(options), divisor);
  sim::SimBackend* simulator = &backend->Simulator();
  return std::make_unique<app::Rig>(std::move(backend), simulator, ws, op);
}

}  // namespace vexilo::gui::test
