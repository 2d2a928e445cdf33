// Commands through the FTDI backend, against the simulator's FT232R model on the simulated
// adapter and card.
#include "port/ftdi/ftdi_backend.h"

#include <gtest/gtest.h>

#include "command_bench.h"
#include "port/ftdi/ftdi_diagnostics.h"
#include "sim/ftdi/sim_ftdi_calls.h"

namespace vexilo::app {
namespace {

using testing::ScriptedOperator;

constexpr const char* kCards[] = {"fun", "wafer", "pic2", "black", "atmega", "neoo"};

// One card in the simulated adapter, reached through the FT232R model (or, for `direct`, the
// simulated 16550 the sim backend drives).
struct Bench {
  Bench(const char* card, bool direct, sim::SimFtdiOptions ftdi = {}, const char* device = "",
        bool autoMode = true) {
    ws.SetCardTypeText(std::string(FindCardTypeByName(card)->text));
    ws.settings.autoMode = autoMode;
    for (uint32_t i = 0; i < 40; ++i) {
      ws.flash.SetCell(i,
                       static_cast<uint16_t>((0x1234 + 7 * i) &
                                             (ws.Card()->family == Family::Pic ? 0x3FFF : 0xFFFF)));
      if (i < ws.eepromInt.Cells()) ws.eepromInt.SetCell(i, static_cast<uint16_t>(0xA5 ^ i));
      if (i < ws.eepromExt.Cells()) ws.eepromExt.SetCell(i, static_cast<uint16_t>(0x3C + i));
    }
    sim::SimOptions options;
    options.card = SimCardType(*ws.Card());
    auto simulator = std::make_unique<sim::SimBackend>(options);
    sim = simulator.get();
    if (direct) {
      rig = std::make_unique<Rig>(std::move(simulator), sim, ws, op);
      return;
    }
    behind = std::move(simulator);
    auto calls = std::make_unique<sim::SimFtdiCalls>(*sim, std::move(ftdi));
    model = calls.get();
    port::FtdiOptions chosen;
    chosen.device = device;
    chosen.realHardware = false;
    rig = std::make_unique<Rig>(
        std::make_unique<port::FtdiBackend>(std::move(calls), &sim->VirtualTime(), chosen), sim, ws,
        op);
  }
  CommandResult Run(Command command) { return RunCommand(command, ws, *rig, op); }

  Workspace ws;
  ScriptedOperator op;
  std::unique_ptr<sim::SimBackend> behind;  // the simulator behind the FTDI model
  sim::SimBackend* sim = nullptr;
  sim::SimFtdiCalls* model = nullptr;
  std::unique_ptr<Rig> rig;
};

class SameLogThroughFtdi : public ::testing::TestWithParam<Command> {};

constexpr sim::Ft232rTiming::BitbangClock kClocks[] = {
    sim::Ft232rTiming::BitbangClock::FourTimesGenerator,
    sim::Ft232rTiming::BitbangClock::QuarterGenerator};

// Every command on every card type logs the same lines, fails or succeeds alike and leaves the
// same images through the FTDI chip as through the 16550, whichever bit-bang clock the chip
// makes of libftdi's rate: the program times it and sets the rate (logged once).
TEST_P(SameLogThroughFtdi, AsThroughTheSimulatedUart) {
  for (const char* card : kCards) {
    Bench uart(card, true);
    const CommandResult a = uart.Run(GetParam());
    for (const auto clock : kClocks) {
      SCOPED_TRACE(clock == kClocks[0] ? "4 bytes per generator baud" : "a byte per 4 bauds");
      sim::SimFtdiOptions options;
      options.timing.bitbangClock = clock;
      Bench ftdi(card, false, options);
      const CommandResult b = ftdi.Run(GetParam());
      EXPECT_EQ(a.failed, b.failed) << card;
      std::vector<std::string> lines;
      int clockLines = 0;
      for (const std::string& line : ftdi.op.lines) {
        if (line.rfind("FTDI bit clock: ", 0) != 0) {
          lines.push_back(line);
          continue;
        }
        ++clockLines;
        EXPECT_NE(line.find(clock == kClocks[0] ? ": 1.00 us per step ("
                                                : "set 750000 baud: 1.33 us per step ("),
                  std::string::npos)
            << line;
      }
      EXPECT_LE(clockLines, 1) << card;
      EXPECT_EQ(uart.op.lines, lines) << card;
      EXPECT_EQ(uart.ws.ErrorFlag, ftdi.ws.ErrorFlag) << card;
      for (ImageId id : {ImageId::Flash, ImageId::EepromInt, ImageId::EepromExt}) {
        ASSERT_EQ(uart.ws.Image(id).Cells(), ftdi.ws.Image(id).Cells()) << card;
        for (uint32_t i = 0; i < uart.ws.Image(id).Cells(); ++i) {
          ASSERT_EQ(uart.ws.Image(id).Cell(i), ftdi.ws.Image(id).Cell(i)) << card << " cell " << i;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, SameLogThroughFtdi,
                         ::testing::Values(Command::ReadFlash, Command::ReadEepromInt,
                                           Command::ReadEepromExt, Command::ReadFlashEepromInt,
                                           Command::ReadConfig, Command::ProgramFlash,
                                           Command::ProgramEepromInt, Command::ProgramEepromExt,
                                           Command::ProgramFull, Command::ProgramFlashEepromInt,
                                           Command::VerifyFlash, Command::VerifyEepromInt,
                                           Command::VerifyEepromExt, Command::VerifyFlashEepromInt,
                                           Command::Erase, Command::SetBits));

// What a person meets with a cable that is missing, refused or pulled out: a red line that
// says what to do, the command failed, the image as it was.
// Without --device the one FTDI bit-bang chip on the bus is taken, whichever product it is.
TEST(FtdiBackend, TheOnlyChipIsFoundWithoutADescription) {
  for (const uint16_t product : {0x6001, 0x6010, 0x6011, 0x6014, 0x6015}) {
    sim::SimFtdiOptions options;
    options.devices[0].info.product = product;
    Bench bench("fun", false, options);
    EXPECT_FALSE(bench.Run(Command::ReadEepromInt).failed) << std::hex << product;
    EXPECT_GE(bench.model->Exchanges(), 1u);
  }
}

// Over USB a wait costs time, not polls: a card without a loader ends its ATR ERROR about as
// soon as on the 16550, waiting in latency-timer steps; and a bit-bang exchange is one USB IN
// transfer, also after a write delay.
TEST(FtdiBackend, WaitsCostTheirTimeAndAnExchangeOneInTransfer) {
  struct Case {
    const char* card;
    Command command;
    double mostTimeRatio;      // FTDI's simulated time over the 16550's
    double mostInPerExchange;  // 0: not counted
    uint64_t mostInTransfers;  // 0: not counted
  };
  const Case cases[] = {
      {"fun", Command::ReadEepromExt, 1.2, 0, 20000},  // 80 missing ATR bytes of 100 ms
      {"neoo", Command::ProgramFlash, 1.5, 1.1, 0},
  };
  for (const Case& c : cases) {
    Bench uart(c.card, true);
    Bench ftdi(c.card, false);
    const uint64_t uartStart = uart.sim->VirtualTime().NowUs();
    uart.Run(c.command);
    const double uartUs = double(uart.sim->VirtualTime().NowUs() - uartStart);
    const uint64_t ftdiStart = ftdi.sim->VirtualTime().NowUs();
    ftdi.Run(c.command);
    const double ftdiUs = double(ftdi.sim->VirtualTime().NowUs() - ftdiStart);
    EXPECT_LE(ftdiUs, c.mostTimeRatio * uartUs) << c.card;
    const uint64_t in = ftdi.model->Chip().InTransfers();
    if (c.mostInTransfers != 0) {
      EXPECT_LE(in, c.mostInTransfers) << c.card;
    }
    if (c.mostInPerExchange != 0) {
      ASSERT_GT(ftdi.model->Exchanges(), 0u);
      EXPECT_LE(double(in) / double(ftdi.model->Exchanges()), c.mostInPerExchange) << c.card;
    }
  }
}

TEST(FtdiBackend, TroublesEndTheCommandRedWithWhatToDo) {
  struct Case {
    const char* name;
    std::function<void(sim::SimFtdiOptions&)> plant;
    const char* says;
    const char* unplugAt = nullptr;  // the cable is pulled out when this line is logged
    const char* device = "";         // the --device text
  };
  const Case cases[] = {
      {"no device", [](sim::SimFtdiOptions& o) { o.devices.clear(); }, "none found on the USB bus"},
      {"two devices",
       [](sim::SimFtdiOptions& o) {
         sim::SimFtdiDevice second = sim::DefaultSimFtdiDevice();
         second.info.serial = "VXSIM002";
         second.info.busPath = "d:001/003";
         second.wired = false;
         o.devices.push_back(second);
       },
       "--device s:0x0403:0x6001:VXSIM002"},
      {"no permission",
       [](sim::SimFtdiOptions& o) { o.devices[0].access = sim::SimFtdiAccess::NoPermission; },
       "udev rule packaging/udev/60-vexilo.rules"},
      {"driver holds it",
       [](sim::SimFtdiOptions& o) { o.devices[0].access = sim::SimFtdiAccess::ClaimFails; },
       "ftdi_sio driver or another program holds it"},
      {"a PL2303 named by its IDs",
       [](sim::SimFtdiOptions& o) {
         o.devices[0].info.vendor = 0x067B;
         o.devices[0].info.product = 0x2303;
       },
       "is not FTDI (0403)", nullptr, "i:0x067b:0x2303"},
      {"a serial number that matches none lists what is there", [](sim::SimFtdiOptions&) {},
       "no such device; FTDI devices here: 0403:6001 FT232R/FT245R", nullptr,
       "s:0x0403:0x6001:OTHER"},
      {"unplugged: the failed transfer is named, libftdi gives no text for it",
       [](sim::SimFtdiOptions&) {}, "(USB transfer failed: unplugged or reset, code -1)",
       "ATMEL READ EEPROM INT : START"},
  };
  for (const Case& c : cases) {
    sim::SimFtdiOptions options;
    c.plant(options);
    Bench bench("fun", false, options, c.device);
    if (c.unplugAt != nullptr) {
      bench.op.onLog = [&bench, &c](const std::string& line) {
        if (line == c.unplugAt) bench.model->Unplug();
      };
    }
    const image::MemoryImage before = bench.ws.eepromInt;
    const CommandResult result = bench.Run(Command::ReadEepromInt);
    EXPECT_TRUE(result.failed) << c.name;
    EXPECT_EQ(bench.ws.ErrorFlag, 1) << c.name;
    const std::string all = ::testing::PrintToString(bench.op.errors);
    EXPECT_NE(all.find(c.says), std::string::npos) << c.name << ": " << all;
    ASSERT_EQ(bench.ws.eepromInt.Cells(), before.Cells()) << c.name;
    for (uint32_t i = 0; i < before.Cells(); ++i) {
      ASSERT_EQ(bench.ws.eepromInt.Cell(i), before.Cell(i)) << c.name;
    }
  }
}

}  // namespace
}  // namespace vexilo::app
