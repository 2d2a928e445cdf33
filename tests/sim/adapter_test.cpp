#include "sim/adapter/adapter.h"

#include <gtest/gtest.h>

#include "sim/backend/sim_backend.h"
#include "sim/fakes.h"

namespace vexilo::sim {
namespace {

using testing::FakeChip;
using testing::MakeFakeCard;

// Drives the adapter lines through the UART registers, as a port session does.
class AdapterTest : public ::testing::Test {
 protected:
  explicit AdapterTest(AdapterMode mode = AdapterMode::Avr, SimFaults faults = {},
                       CardType type = CardType::FunCard)
      : fake_(MakeFakeCard(type)), backend_(Options(mode, faults), std::move(fake_.card)) {}

  static SimOptions Options(AdapterMode mode, const SimFaults& faults) {
    SimOptions options;
    options.mode = mode;
    options.faults = faults;
    return options;
  }
  void Open() {
    Out(kIerDlm, 0);
    Out(kLcr, 0x9F);
    Out(kRbrThrDll, 12);
    Out(kIerDlm, 0);
    Out(kLcr, 0x1F);
    Out(kIirFcr, 0xC7);
    Out(kMcr, 0);
  }
  void Out(unsigned offset, uint8_t value) { backend_.Io().Out(backend_.Base() + offset, value); }
  uint8_t In(unsigned offset) { return backend_.Io().In(backend_.Base() + offset); }
  bool Cts() { return (In(kMsr) & kMsrCts) != 0; }
  FakeChip::Pins LastPins() const { return fake_.chip->pins.back(); }

  testing::FakeCard fake_;
  SimBackend backend_;
};

TEST_F(AdapterTest, AvrModeMapsBreakToResetLowAndRtsDtrToSckMosi) {
  Open();
  const size_t calls = fake_.chip->pins.size();
  Out(kLcr, 0x5F);  // break: RESET held
  EXPECT_FALSE(LastPins().control);
  Out(kMcr, 0x02);
  EXPECT_TRUE(LastPins().clock);
  EXPECT_FALSE(LastPins().data);
  Out(kMcr, 0x03);
  EXPECT_TRUE(LastPins().data);
  Out(kMcr, 0x03);  // unchanged lines do not bother the chip
  Out(kLcr, 0x1F);
  EXPECT_TRUE(LastPins().control) << "no break: RESET high, the chip runs";
  EXPECT_EQ(fake_.chip->pins.size(), calls + 4);
  EXPECT_EQ(LastPins().at, backend_.VirtualTime().NowNs());

  EXPECT_FALSE(Cts());
  fake_.chip->dataOut = true;
  EXPECT_TRUE(Cts()) << "MISO high reads as CTS";
}

class PicAdapterTest : public AdapterTest {
 protected:
  PicAdapterTest() : AdapterTest(AdapterMode::Pic, {}, CardType::WaferCard) {}
};

TEST_F(PicAdapterTest, PicModeMapsBreakToProgrammingVoltage) {
  Open();
  EXPECT_FALSE(LastPins().control);
  Out(kLcr, 0x5F);
  EXPECT_TRUE(LastPins().control) << "break puts MCLR at Vihh";
  Out(kMcr, 0x02);
  EXPECT_TRUE(LastPins().clock);
  Out(kMcr, 0x01);
  EXPECT_FALSE(LastPins().clock);
  EXPECT_TRUE(LastPins().data);
  fake_.chip->dataOut = true;
  EXPECT_TRUE(Cts());
}

class NoCardPicTest : public AdapterTest {
 protected:
  NoCardPicTest() : AdapterTest(AdapterMode::Pic, ParseFaultList("no-card")) {}
};

TEST_F(NoCardPicTest, EmptySlotReadsBackTheProgrammersOwnData) {
  Open();
  EXPECT_TRUE(fake_.chip->pins.empty());
  Out(kMcr, 0x01);
  EXPECT_TRUE(Cts());
  Out(kMcr, 0x00);
  EXPECT_FALSE(Cts());
  backend_.SetModeByHand(AdapterMode::Avr);
  Out(kMcr, 0x01);
  EXPECT_FALSE(Cts()) << "nothing drives MISO";
}

TEST_F(AdapterTest, PhoenixModeKeepsTheChipRunningAndResetsTheCardWithRts) {
  Open();
  backend_.SetModeByHand(AdapterMode::Phoenix);
  const FakeChip::Pins idle = LastPins();
  EXPECT_TRUE(idle.control) << "AVR RESET high";
  EXPECT_FALSE(idle.clock);
  EXPECT_FALSE(idle.data);
  const size_t calls = fake_.chip->pins.size();
  ASSERT_FALSE(fake_.phoenix->resets.empty());
  EXPECT_FALSE(fake_.phoenix->resets.back().first);

  Out(kMcr, 0x02);
  EXPECT_TRUE(fake_.phoenix->resets.back().first) << "RTS holds the card in reset";
  Out(kMcr, 0x03);
  Out(kLcr, 0x5F);
  Out(kMcr, 0x00);
  EXPECT_FALSE(fake_.phoenix->resets.back().first);
  EXPECT_EQ(fake_.chip->pins.size(), calls) << "programming pins stay idle";
  fake_.chip->dataOut = true;
  EXPECT_FALSE(Cts());

  backend_.SetModeByHand(AdapterMode::Avr);
  EXPECT_TRUE(fake_.phoenix->resets.back().first) << "no firmware runs while programming";
}

TEST_F(AdapterTest, PhoenixEchoesEveryByteAndPassesItToTheCard) {
  Open();
  backend_.SetModeByHand(AdapterMode::Phoenix);
  fake_.phoenix->outgoing.clear();
  const SimTime sent = backend_.VirtualTime().NowNs() + kIoAccessNs;
  Out(kRbrThrDll, 0xC1);
  fake_.phoenix->Send({0x22}, sent + 3 * 1250 * kUs);
  while (!(In(kLsr) & kLsrDataReady)) {
  }
  EXPECT_EQ(In(kRbrThrDll), 0xC1);
  const SimTime echoAt = backend_.VirtualTime().NowNs();
  EXPECT_GE(echoAt, sent + 1250 * kUs);
  EXPECT_LT(echoAt, sent + 1250 * kUs + 10 * kIoAccessNs);
  ASSERT_EQ(fake_.phoenix->heard.size(), 1u);
  EXPECT_EQ(fake_.phoenix->heard[0], std::make_pair(uint8_t{0xC1}, sent + 1250 * kUs));

  while (!(In(kLsr) & kLsrDataReady)) {
  }
  EXPECT_EQ(In(kRbrThrDll), 0x22);
  EXPECT_GE(backend_.VirtualTime().NowNs(), sent + 3 * 1250 * kUs);
}

TEST_F(AdapterTest, PhoenixCharactersSentDuringBreakNeverReachTheLine) {
  Open();
  backend_.SetModeByHand(AdapterMode::Phoenix);
  Out(kLcr, 0x5F);
  Out(kRbrThrDll, 0x01);
  backend_.VirtualTime().SleepMs(5);
  EXPECT_EQ(In(kLsr) & kLsrDataReady, 0);
  EXPECT_TRUE(fake_.phoenix->heard.empty());
}

TEST_F(AdapterTest, PhoenixCardIgnoresAReaderAtTheWrongRate) {
  Open();
  backend_.SetModeByHand(AdapterMode::Phoenix);
  fake_.phoenix->outgoing.clear();
  Out(kLcr, 0x9F);
  Out(kRbrThrDll, 6);  // 19200 baud
  Out(kLcr, 0x1F);
  Out(kRbrThrDll, 0xC1);
  fake_.phoenix->Send({0x3B}, backend_.VirtualTime().NowNs() + 2 * kMs);
  backend_.VirtualTime().SleepMs(5);
  EXPECT_EQ(In(kRbrThrDll), 0xC1) << "the echo comes back all the same";
  EXPECT_TRUE(fake_.phoenix->heard.empty());
  EXPECT_EQ(In(kLsr) & (kLsrDataReady | kLsrFramingError), kLsrDataReady | kLsrFramingError);
  EXPECT_EQ(In(kRbrThrDll), 0x3B);
}

TEST_F(AdapterTest, NoCharactersReachTheCardOutsidePhoenixMode) {
  Open();
  Out(kRbrThrDll, 0x55);
  backend_.VirtualTime().SleepMs(5);
  EXPECT_EQ(In(kLsr) & kLsrDataReady, 0);
  EXPECT_TRUE(fake_.phoenix->heard.empty());
}

class NoEchoTest : public AdapterTest {
 protected:
  NoEchoTest() : AdapterTest(AdapterMode::Phoenix, ParseFaultList("no-echo")) {}
};

TEST_F(NoEchoTest, CardStillHearsButNothingComesBack) {
  Open();
  fake_.phoenix->outgoing.clear();
  Out(kRbrThrDll, 0xC1);
  backend_.VirtualTime().SleepMs(5);
  EXPECT_EQ(In(kLsr) & kLsrDataReady, 0);
  ASSERT_EQ(fake_.phoenix->heard.size(), 1u);
}

// Sends groups of 0x97, 0x25, n x 0x8B through the COM device, 50 ms apart.
void SendGroups(SimBackend& backend, unsigned n, int groups = 5) {
  auto& comm = backend.Comm();
  comm.CommSetPortName(backend.DeviceForCom(0));
  ASSERT_TRUE(comm.CommConnect());
  for (int g = 0; g < groups; ++g) {
    comm.CommSendByte(0x97);
    comm.CommSendByte(0x25);
    for (unsigned i = 0; i < n; ++i) comm.CommSendByte(0x8B);
    backend.Time().SleepMs(50);
  }
  comm.CommDisconnect();
}

TEST_F(AdapterTest, BurstsSwitchTheMode) {
  SendGroups(backend_, 30);
  EXPECT_EQ(backend_.CardAdapter().Mode(), AdapterMode::Phoenix);
  SendGroups(backend_, 50);
  EXPECT_EQ(backend_.CardAdapter().Mode(), AdapterMode::Pic);
  SendGroups(backend_, 40);
  EXPECT_EQ(backend_.CardAdapter().Mode(), AdapterMode::Avr);
  SendGroups(backend_, 50, 1);
  EXPECT_EQ(backend_.CardAdapter().Mode(), AdapterMode::Pic) << "one complete group is enough";
}

TEST_F(AdapterTest, IncompleteOrGarbledGroupsSwitchNothing) {
  for (unsigned n : {0u, 29u, 31u, 39u, 45u, 51u, 80u}) {
    SendGroups(backend_, n);
    EXPECT_EQ(backend_.CardAdapter().Mode(), AdapterMode::Avr) << n;
  }
  auto& comm = backend_.Comm();
  comm.CommSetPortName(backend_.DeviceForCom(0));
  ASSERT_TRUE(comm.CommConnect());
  // A stray byte in the middle of a Phoenix group.
  comm.CommSendByte(0x97);
  comm.CommSendByte(0x25);
  for (int i = 0; i < 30; ++i) comm.CommSendByte(i == 12 ? 0x8A : 0x8B);
  // A Phoenix group with a long pause inside.
  comm.CommSendByte(0x97);
  comm.CommSendByte(0x25);
  for (int i = 0; i < 30; ++i) {
    if (i == 15) backend_.Time().SleepMs(50);
    comm.CommSendByte(0x8B);
  }
  // The group start bytes the wrong way round.
  comm.CommSendByte(0x25);
  comm.CommSendByte(0x97);
  for (int i = 0; i < 30; ++i) comm.CommSendByte(0x8B);
  comm.CommDisconnect();
  EXPECT_EQ(backend_.CardAdapter().Mode(), AdapterMode::Avr);
}

TEST_F(AdapterTest, ModeSwitchReroutesLinesAtOnce) {
  Open();
  Out(kLcr, 0x5F);
  EXPECT_FALSE(LastPins().control) << "AVR: RESET held";
  SendGroups(backend_, 50);
  EXPECT_TRUE(LastPins().control) << "PIC: the same break is MCLR at Vihh";
}

}  // namespace
}  // namespace vexilo::sim
