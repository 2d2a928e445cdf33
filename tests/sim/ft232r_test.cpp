#include "sim/ft232r.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/fakes.h"
#include "sim/sim_ftdi_calls.h"

namespace vexilo::sim {
namespace {

namespace ftdi = port::ftdi;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kTxd = Ft232r::kPinTxd, kRts = Ft232r::kPinRts, kDtr = Ft232r::kPinDtr;

// A simulated machine with the FTDI cable on its adapter and a fake card in the adapter.
struct Rig {
  explicit Rig(AdapterMode mode, SimFtdiOptions options = {})
      : fake(testing::MakeFakeCard()),
        sim(Options(mode), std::move(fake.card)),
        calls(sim, std::move(options)) {}
  static SimOptions Options(AdapterMode mode) {
    SimOptions options;
    options.mode = mode;
    return options;
  }
  SimTime Now() { return sim.VirtualTime().NowNs(); }
  void OpenBitbang(uint8_t mask, int baud = 9600, uint8_t latencyMs = 16) {
    ASSERT_EQ(calls.OpenString("i:0x0403:0x6001"), 0) << calls.ErrorString();
    ASSERT_EQ(calls.SetBitmode(mask, ftdi::kBitmodeSyncBb), 0);
    ASSERT_EQ(calls.SetBaudrate(baud), 0) << calls.ErrorString();
    ASSERT_EQ(calls.SetLatencyTimer(latencyMs), 0);
    ASSERT_EQ(calls.Purge(), 0);
  }

  testing::FakeCard fake;
  SimBackend sim;
  SimFtdiCalls calls;
};

// Pins read one byte behind, the output mask, the cable's inversion, CTS at D3.
TEST(Ft232rTest, SynchronousBitbangReadsThePinsBeforeEachByteThroughTheInvertingCable) {
  struct Case {
    const char* name;
    uint8_t mask;
    bool cardDrivesMiso;  // the adapter asserts CTS
    Bytes out;
    Bytes in;
    uint8_t lines;  // the adapter's lines after the last byte
  };
  const std::vector<Case> cases = {
      {"one behind: the first sample is the idle pins",
       kTxd | kRts | kDtr,
       false,
       {0xEF, 0xEB, 0xEA},
       {0xFF, 0xEF, 0xEB},
       kLineDtr | kLineRts | kLineBreak},
      {"low pins assert the lines", kTxd | kRts | kDtr, false, {0x00, 0xFF}, {0xFF, 0xEA}, 0},
      {"CTS asserted reads 0 at D3", kTxd | kRts | kDtr, true, {0xEF, 0xFF}, {0xF7, 0xE7}, 0},
      {"pins outside the mask drive nothing and read 1",
       kTxd,
       false,
       {0x00, 0x00},
       {0xFF, 0xFE},
       kLineBreak},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(AdapterMode::Avr);
    rig.fake.chip->dataOut = c.cardDrivesMiso;
    rig.OpenBitbang(c.mask);
    const size_t pinCalls = rig.fake.chip->pins.size();
    Bytes in(c.out.size());
    ASSERT_EQ(rig.calls.Exchange(c.out.data(), in.data(), int(in.size())), int(in.size()));
    EXPECT_EQ(in, c.in);
    EXPECT_EQ(rig.calls.Chip().Lines(), c.lines);
    // The adapter turns the lines into the chip's pins: break -> RESET low, RTS -> SCK,
    // DTR -> MOSI; each change one bit-bang byte (6.5 us at 9600) after the one before.
    const auto& pins = rig.fake.chip->pins;
    ASSERT_GT(pins.size(), pinCalls);
    EXPECT_EQ(pins.back().control, !(c.lines & kLineBreak));
    EXPECT_EQ(pins.back().clock, (c.lines & kLineRts) != 0);
    EXPECT_EQ(pins.back().data, (c.lines & kLineDtr) != 0);
    for (size_t i = pinCalls + 1; i < pins.size(); ++i) {
      EXPECT_EQ(pins[i].at - pins[i - 1].at, rig.calls.Chip().BitbangByteNs());
    }
    EXPECT_LE(pins.back().at, rig.Now());
  }
}

// What a transfer costs: frames, packets, the bit-bang clock, the latency timer; and the
// stall of a write that nobody reads back.
TEST(Ft232rTest, TransfersCostFramesTheBitClockAndTheLatencyTimer) {
  enum class Op { Exchange, WriteOnly };
  struct Case {
    const char* name;
    Op op;
    int size;
    int baud;
    uint8_t latencyMs;
    int result;         // what the call returns
    SimTime atLeastNs;  // the call takes at least
    SimTime atMostNs;   // and at most this
  };
  const SimTime byteAt9600 = 6510;  // 1 / (16 * 9600) s
  const std::vector<Case> cases = {
      {"short exchange waits for the latency timer", Op::Exchange, 10, 9600, 16, 10, 16 * kMs,
       17 * kMs},
      {"the same with the timer at 1 ms", Op::Exchange, 10, 9600, 1, 10, 1 * kMs, 2 * kMs},
      {"a long exchange runs at the bit clock", Op::Exchange, 1000, 9600, 1, 1000,
       1000 * byteAt9600, 1000 * byteAt9600 + 3 * kMs},
      {"at the fastest clock the bus limits it: 64-byte packets in and out", Op::Exchange, 4000,
       750000, 1, 4000, 8 * kMs, 12 * kMs},
      {"a write fits the two FIFOs (256 samples + 128 bytes)", Op::WriteOnly, 384, 9600, 16, 384, 0,
       2 * kMs},
      {"one byte more stalls the chip: the write times out", Op::WriteOnly, 385, 9600, 16, -1,
       5000 * kMs, 5002 * kMs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(AdapterMode::Avr);
    rig.OpenBitbang(kTxd | kRts | kDtr, c.baud, c.latencyMs);
    rig.sim.VirtualTime().Advance(50 * kMs);  // the latency timer long run out
    Bytes out(size_t(c.size), 0xFF), in(size_t(c.size));
    const SimTime start = rig.Now();
    const int result = c.op == Op::Exchange ? rig.calls.Exchange(out.data(), in.data(), c.size)
                                            : rig.calls.WriteData(out.data(), c.size);
    const SimTime took = rig.Now() - start;
    EXPECT_EQ(result, c.result) << rig.calls.ErrorString();
    EXPECT_GE(took, c.atLeastNs);
    EXPECT_LE(took, c.atMostNs);
  }
}

}  // namespace
}  // namespace vexilo::sim
