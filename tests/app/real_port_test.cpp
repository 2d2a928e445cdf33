// Commands through the serial-device backend, against the simulated adapter and card behind
// a simulated kernel whose every call costs a millisecond, as on a USB serial adapter.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include "app/mode_switch.h"
#include "command_bench.h"
#include "port/tty_backend.h"
#include "sim/backend/sim_serial_device.h"

namespace vexilo::app {
namespace {

using testing::ScriptedOperator;

constexpr uint64_t kCallNs = 1'000'000;

struct TtyBench {
  explicit TtyBench(const char* card) {
    ws.SetCardTypeText(std::string(FindCardTypeByName(card)->text));
    ws.settings.autoMode = true;
    sim::SimOptions options;
    options.card = SimCardType(*ws.Card());
    sim = std::make_unique<sim::SimBackend>(options);
    calls = std::make_unique<sim::SimSerialSyscalls>(*sim, "/dev/ttyUSB0", kCallNs);
    auto tty = std::make_unique<port::TtyBackend>("/dev/ttyUSB0", *calls, sim->VirtualTime());
    backend = tty.get();
    rig = std::make_unique<Rig>(std::move(tty), nullptr, ws, op);
  }
  CommandResult Run(Command command) { return RunCommand(command, ws, *rig, op); }

  Workspace ws;
  ScriptedOperator op;
  std::unique_ptr<sim::SimBackend> sim;
  std::unique_ptr<sim::SimSerialSyscalls> calls;
  port::TtyBackend* backend = nullptr;
  std::unique_ptr<Rig> rig;
};

TEST(SerialDeviceBackend, ReadsTheCardAndEstimatesTheReadWithinAFifth) {
  TtyBench bench("fun");
  const uint64_t start = bench.sim->VirtualTime().NowUs();
  ASSERT_FALSE(bench.Run(Command::ReadFlash).failed) << ::testing::PrintToString(bench.op.errors);
  const uint64_t elapsed = bench.sim->VirtualTime().NowUs() - start;
  EXPECT_TRUE(bench.op.HasPrefix("Estimated time: ")) << ::testing::PrintToString(bench.op.lines);
  EXPECT_TRUE(bench.op.HasPrefix("Estimated time: 14 min (1.0 ms per line change on /dev/ttyUSB0)"))
      << ::testing::PrintToString(bench.op.lines);
  ASSERT_FALSE(bench.op.times.empty());
  const double estimate = double(bench.op.times.front().first + bench.op.times.front().second);
  EXPECT_NEAR(estimate / double(elapsed), 1.0, 0.2) << estimate << " us against " << elapsed;
  EXPECT_FALSE(bench.backend->Device().IsOpen()) << "released between commands";
}

TEST(SerialDeviceBackend, AnUnpluggedAdapterEndsTheReadRedAndTheNextCommandWorksAgain) {
  TtyBench bench("fun");
  bench.ws.eepromInt.SetCell(3, 0x42);
  const image::MemoryImage before = bench.ws.eepromInt;
  bench.calls->FailModemStatus(2000, EIO);
  const CommandResult result = bench.Run(Command::ReadEepromInt);
  EXPECT_TRUE(result.failed);
  EXPECT_EQ(bench.ws.ErrorFlag, 1);
  EXPECT_TRUE(bench.op.Has("ATMEL READ EEPROM INT : ERROR PORT"))
      << ::testing::PrintToString(bench.op.lines);
  ASSERT_FALSE(bench.op.errors.empty());
  EXPECT_NE(bench.op.errors.front().find("/dev/ttyUSB0: TIOCMGET failed"), std::string::npos)
      << bench.op.errors.front();
  EXPECT_EQ(bench.ws.eepromInt.Cell(3), before.Cell(3));
  EXPECT_EQ(bench.ws.eepromInt.Cells(), before.Cells());

  bench.calls->Heal();
  bench.op.errors.clear();
  EXPECT_FALSE(bench.Run(Command::ReadEepromInt).failed)
      << ::testing::PrintToString(bench.op.errors);
}

// Unplugged while programming mode is being entered: no retries on a device that is gone,
// and the device's own reason rather than only "ATMEL SPI : ERROR".
TEST(SerialDeviceBackend, AnUnplugDuringProgrammingEnableIsNamedAtOnce) {
  TtyBench bench("fun");
  bench.calls->FailModemStatus(40, EIO);  // in the second attempt
  const uint64_t start = bench.sim->VirtualTime().NowUs();
  EXPECT_TRUE(bench.Run(Command::ReadFlash).failed);
  // The burst and the session take 0.9 s; 30 more attempts would add another second.
  EXPECT_LT(bench.sim->VirtualTime().NowUs() - start, 1'700'000u) << "retried a lost device";
  ASSERT_FALSE(bench.op.errors.empty());
  EXPECT_NE(bench.op.errors.front().find("/dev/ttyUSB0: TIOCMGET failed"), std::string::npos)
      << ::testing::PrintToString(bench.op.errors);
  EXPECT_EQ(bench.op.errors.back(), "ATMEL SPI : ERROR");
}

TEST(SerialDeviceBackend, ABurstDuringASessionKeepsTheSessionsDevice) {
  TtyBench bench("fun");
  port::PortSession& session = bench.rig->Session();
  ASSERT_TRUE(session.OpenPort("avr/pic"));
  EXPECT_TRUE(SendTestBurst(AdapterMode::Avr, *bench.rig, bench.op));
  EXPECT_TRUE(bench.backend->Device().IsOpen());
  session.SetDTR(1);
  EXPECT_FALSE(session.LineFailed());
  session.ClosePort();
  EXPECT_FALSE(bench.backend->Device().IsOpen());
}

// With the adapter on COM3, the first burst of a run already goes to COM3's device.
TEST(SerialDeviceBackend, TheFirstBurstGoesToTheSelectedPort) {
  Workspace ws;
  ws.SetCardTypeText(std::string(FindCardTypeByName("fun")->text));
  ws.settings.autoMode = true;
  ws.settings.avrPicCom = ws.settings.phoenixCom = 2;
  ScriptedOperator op;
  Rig rig(RigOptions{}, ws, op);
  EXPECT_FALSE(RunCommand(Command::ReadEepromInt, ws, rig, op).failed)
      << ::testing::PrintToString(op.lines);
  EXPECT_EQ(rig.Backend().Comm().PortName(), "/dev/ttyS2");
}

}  // namespace
}  // namespace vexilo::app
