#include "sim/ftdi/ft232r.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/avr/avr_chip.h"
#include "sim/fakes.h"
#include "sim/ftdi/sim_ftdi_calls.h"

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

// libftdi's description strings and the errors a user meets at open.
TEST(Ft232rTest, OpenFindsDevicesByDescriptionAndFailsAsLibftdiDoes) {
  SimFtdiDevice second = DefaultSimFtdiDevice();
  second.info.serial = "VXSIM002";
  second.info.busPath = "d:001/007";
  second.wired = false;
  SimFtdiDevice prolific;  // another maker's USB serial chip on the same bus
  prolific.info = {0x067B, 0x2303, "Prolific", "USB-Serial Controller", "", "d:001/009", ""};
  prolific.wired = false;
  struct Case {
    const char* description;
    SimFtdiAccess access;  // of the first device
    int result;
    std::string error;
    size_t opened;  // the device whose chip the open reached
  };
  const std::vector<Case> cases = {
      {"i:0x0403:0x6001", SimFtdiAccess::Granted, 0, "all fine", 0},
      {"i:1027:24577:1", SimFtdiAccess::Granted, 0, "all fine", 1},
      {"s:0x0403:0x6001:VXSIM002", SimFtdiAccess::Granted, 0, "all fine", 1},
      {"d:1/7", SimFtdiAccess::Granted, 0, "all fine", 1},
      {"d:001/002", SimFtdiAccess::Granted, 0, "all fine", 0},
      {"s:0x0403:0x6001:OTHER", SimFtdiAccess::Granted, -3, "device not found", 0},
      {"i:0x0403:0x6015", SimFtdiAccess::Granted, -3, "device not found", 0},
      {"d:2/2", SimFtdiAccess::Granted, -3, "device not found", 0},
      {"i:0x067b:0x2303", SimFtdiAccess::Granted, -6, "ftdi_usb_reset failed", 0},
      {"s:0x0403:0x6001", SimFtdiAccess::Granted, -11, "illegal description format", 0},
      {"VXSIM001", SimFtdiAccess::Granted, -11, "illegal description format", 0},
      {"i:0x0403:0x6001", SimFtdiAccess::NoPermission, -4, "usb_open() failed", 0},
      {"d:1/2", SimFtdiAccess::NoPermission, -4, "libusb_open() failed", 0},
      {"i:0x0403:0x6001", SimFtdiAccess::DetachDenied, -8, "inappropriate permissions on device!",
       0},
      {"i:0x0403:0x6001", SimFtdiAccess::ClaimFails, -5,
       "unable to claim usb device. Make sure the default FTDI driver is not in use", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    SimFtdiOptions options;
    options.devices[0].access = c.access;
    options.devices.push_back(second);
    options.devices.push_back(prolific);
    Rig rig(AdapterMode::Avr, options);
    std::vector<port::FtdiDeviceInfo> found;
    ASSERT_EQ(rig.calls.FindAll(found), 2);
    EXPECT_EQ(found[0].description,
              c.access == SimFtdiAccess::NoPermission ? "" : "FT232R USB UART");
    EXPECT_EQ(found[1].serial, "VXSIM002");
    EXPECT_EQ(rig.calls.OpenString(c.description), c.result);
    EXPECT_EQ(rig.calls.ErrorString(), c.error);
    if (c.result == 0) {
      ASSERT_EQ(rig.calls.SetBitmode(kTxd, ftdi::kBitmodeSyncBb), 0);
      EXPECT_EQ(rig.calls.Chip(c.opened).Mode(), Ft232rMode::SyncBitbang);
      EXPECT_EQ(rig.calls.Chip(1 - c.opened).Mode(), Ft232rMode::Uart);
    }
  }
}

// UART mode for the Phoenix link: the word format, RTS as the card's reset, the characters
// written reach the card, and the echo and the card's answer come back.
TEST(Ft232rTest, UartModeTalksToTheCardThroughTheAdapter) {
  Rig rig(AdapterMode::Phoenix);
  ASSERT_EQ(rig.calls.OpenString("s:0x0403:0x6001:VXSIM001"), 0);
  ASSERT_EQ(rig.calls.SetBaudrate(9600), 0);
  ASSERT_EQ(rig.calls.SetLineProperty(ftdi::kBits8, ftdi::kStopBit2, ftdi::kParityEven, false), 0);
  ASSERT_EQ(rig.calls.SetDtrRts(false, true), 0);
  ASSERT_FALSE(rig.fake.phoenix->resets.empty());
  EXPECT_TRUE(rig.fake.phoenix->resets.back().first) << "RTS asserted holds the card in reset";
  ASSERT_EQ(rig.calls.SetDtrRts(false, false), 0);
  EXPECT_FALSE(rig.fake.phoenix->resets.back().first);

  const Bytes command = {0x01, 0x02, 0x03};
  const SimTime written = rig.Now();
  ASSERT_EQ(rig.calls.WriteData(command.data(), int(command.size())), 3);
  rig.fake.phoenix->Send({0x90, 0x00}, written + 6 * kMs);
  rig.sim.VirtualTime().SleepMs(10);
  uint16_t status = 0;
  ASSERT_EQ(rig.calls.PollModemStatus(status), 0);
  EXPECT_TRUE(status & ftdi::kLineDataReady);
  EXPECT_FALSE(status & ftdi::kModemCts) << "CTS is not connected in Phoenix mode";
  Bytes in(16);
  const int got = rig.calls.ReadData(in.data(), int(in.size()));
  in.resize(size_t(std::max(got, 0)));
  EXPECT_EQ(in, (Bytes{0x01, 0x02, 0x03, 0x90, 0x00}));
  ASSERT_EQ(rig.fake.phoenix->heard.size(), 3u);
  // 9600 8E2: 12 bits, 1.25 ms a character, one after the other.
  EXPECT_EQ(rig.fake.phoenix->heard[1].second - rig.fake.phoenix->heard[0].second, 1250 * kUs);
  EXPECT_GT(rig.fake.phoenix->heard[0].second, written);

  // The mode switch hears the characters written; leaving UART mode right after a group lets
  // the group go out and then ends it, as closing the COM device does.
  Bytes group = {0x97, 0x25};
  group.insert(group.end(), 40, 0x8B);
  ASSERT_EQ(rig.calls.WriteData(group.data(), int(group.size())), int(group.size()));
  EXPECT_EQ(rig.sim.CardAdapter().Mode(), AdapterMode::Phoenix);
  ASSERT_EQ(rig.calls.SetBitmode(kTxd | kRts | kDtr, ftdi::kBitmodeSyncBb), 0);
  EXPECT_EQ(rig.sim.CardAdapter().Mode(), AdapterMode::Avr);
}

// A cable pulled in the middle of work: every call fails as libftdi's do, the device is gone
// from the bus, and the adapter's lines fall back to not asserted.
TEST(Ft232rTest, AnUnpluggedDeviceFailsEveryCall) {
  Rig rig(AdapterMode::Avr);
  rig.OpenBitbang(kTxd | kRts | kDtr);
  const Bytes out = {0x00, 0x00};
  Bytes in(2);
  ASSERT_EQ(rig.calls.Exchange(out.data(), in.data(), 2), 2);
  EXPECT_EQ(rig.calls.Chip().Lines(), kLineDtr | kLineRts | kLineBreak);
  rig.calls.Unplug();
  // libftdi passes a transfer that cannot be submitted on without a text of its own.
  EXPECT_EQ(rig.calls.Exchange(out.data(), in.data(), 2), -1);
  EXPECT_EQ(rig.calls.ErrorString(), "");
  EXPECT_EQ(rig.calls.WriteData(out.data(), 2), -1);
  EXPECT_EQ(rig.calls.ErrorString(), "usb bulk write failed");
  EXPECT_EQ(rig.calls.ReadData(in.data(), 2), -4);
  EXPECT_EQ(rig.calls.ErrorString(), "usb bulk read failed");
  uint16_t status = 0;
  EXPECT_EQ(rig.calls.PollModemStatus(status), -1);
  EXPECT_EQ(rig.calls.ErrorString(), "getting modem status failed");
  EXPECT_EQ(rig.calls.SetBitmode(0, ftdi::kBitmodeReset), -1);
  EXPECT_EQ(rig.calls.Chip().Lines(), 0);
  EXPECT_EQ(rig.calls.Close(), -1);
  std::vector<port::FtdiDeviceInfo> found;
  EXPECT_EQ(rig.calls.FindAll(found), 0);
  EXPECT_EQ(rig.calls.OpenString("i:0x0403:0x6001"), -3);
  EXPECT_EQ(rig.calls.WriteData(out.data(), 2), -666);
  EXPECT_EQ(rig.calls.ErrorString(), "USB device unavailable");
}

// The real AVR model behind the cable answers a whole instruction sent in one exchange:
// MOSI on DTR# (D4), SCK on RTS# (D2), RESET low as the TX break (D0), MISO read at CTS# (D3).
TEST(Ft232rTest, AnAvrAnswersInstructionsClockedOutInOneExchangeEach) {
  SimOptions simOptions;
  simOptions.mode = AdapterMode::Avr;
  SimBackend sim(simOptions, std::make_unique<SimCard>(CardType::FunCard, 0,
                                                       MakeAvrChip(AvrModel::AT90S8515), nullptr));
  SimFtdiCalls calls(sim);
  ASSERT_EQ(calls.OpenString("i:0x0403:0x6001"), 0);
  ASSERT_EQ(calls.SetBitmode(kTxd | kRts | kDtr, ftdi::kBitmodeSyncBb), 0);
  ASSERT_EQ(calls.SetLatencyTimer(1), 0);
  ASSERT_EQ(calls.Purge(), 0);
  const auto pins = [](bool reset, bool sck, bool mosi) {
    return uint8_t(0xFF & ~((reset ? 0 : kTxd) | (sck ? kRts : 0) | (mosi ? kDtr : 0)));
  };
  // Power: RESET high, then held low for programming.
  for (const bool reset : {true, false}) {
    uint8_t level = pins(reset, false, false);
    ASSERT_EQ(calls.WriteData(&level, 1), 1);
    sim.VirtualTime().SleepMs(100);
    ASSERT_EQ(calls.ReadData(&level, 1), 1) << "a written byte leaves its sample to be read";
  }
  const auto instruction = [&](std::vector<uint8_t> bytes) {
    Bytes out;
    for (const uint8_t byte : bytes) {
      for (int bit = 7; bit >= 0; --bit) {
        const bool mosi = (byte >> bit) & 1;
        out.push_back(pins(false, false, mosi));
        out.push_back(pins(false, true, mosi));
      }
    }
    out.push_back(pins(false, false, false));
    Bytes in(out.size());
    EXPECT_EQ(calls.Exchange(out.data(), in.data(), int(in.size())), int(in.size()));
    // The sample read before the byte after each SCK rise is MISO while SCK is high.
    Bytes answer(bytes.size(), 0);
    for (size_t bit = 0; bit < 8 * bytes.size(); ++bit) {
      const bool miso = (in[2 * bit + 2] & Ft232r::kPinCts) == 0;
      answer[bit / 8] = uint8_t(answer[bit / 8] << 1 | (miso ? 1 : 0));
    }
    return answer;
  };
  EXPECT_EQ(instruction({0xAC, 0x53, 0x00, 0x00})[2], 0x53);
  const uint8_t signature[] = {0x1E, 0x93, 0x01};
  for (uint8_t i = 0; i < 3; ++i) {
    EXPECT_EQ(instruction({0x30, 0x00, i, 0x00})[3], signature[i]) << int(i);
  }
}

}  // namespace
}  // namespace vexilo::sim
