#include "pic/pic_transport.h"

#include <gtest/gtest.h>

#include "port/fake_backend.h"
#include "support/recording_operator.h"

namespace vexilo::pic {
namespace {

using port::testing::FakeBackend;

constexpr uint16_t kMcr = 0x3F8 + 4;
constexpr uint16_t kMsr = 0x3F8 + 6;
constexpr uint8_t kDtr = 0x01, kRts = 0x02;

// A port session on a recording port; the bits the chip would take are DTR at each falling
// RB6 (RTS) edge.
struct Lines {
  explicit Lines(int picClk = 0)
      : backend(port::SessionMode::Direct), session(backend, op, [picClk] {
          port::SessionSettings s;
          s.picClk = picClk;
          return s;
        }) {
    session.OpenPort("avr/pic");
    backend.io.log.clear();
    backend.io.record = true;
  }

  std::vector<int> BitsTaken() const {
    std::vector<int> bits;
    bool rts = false;
    for (const auto& a : backend.io.Outs()) {
      if (a.port != kMcr) continue;
      const bool now = (a.value & kRts) != 0;
      if (rts && !now) bits.push_back((a.value & kDtr) != 0);
      rts = now;
    }
    return bits;
  }
  size_t McrWrites() const {
    size_t n = 0;
    for (const auto& a : backend.io.Outs()) n += a.port == kMcr;
    return n;
  }

  FakeBackend backend;
  test::RecordingOperator op;
  port::PortSession session;
};

TEST(PicLink, CommandsAndDataFramesGoLeastSignificantBitFirst) {
  Lines six;
  PicCommand(six.session, cmd::kIncrementAddress);
  EXPECT_EQ(six.BitsTaken(), (std::vector<int>{0, 1, 1, 0, 0, 0}));
  EXPECT_EQ(six.McrWrites(), 6u * 6u) << "every line change is written twice";

  Lines eleven;
  PicCommand(eleven.session, cmd::kBulkEraseData);
  EXPECT_EQ(eleven.BitsTaken(), (std::vector<int>{1, 1, 0, 1, 0, 0}));

  Lines ones;
  PicWriteData(ones.session, 0x3FFF);
  std::vector<int> expected(16, 1);
  expected.front() = expected.back() = 0;
  EXPECT_EQ(ones.BitsTaken(), expected);

  Lines high;
  PicWriteData(high.session, 0x4000);
  EXPECT_EQ(high.BitsTaken(), std::vector<int>(16, 0)) << "bits 14 and 15 are not sent";
}

TEST(PicLink, ReadDataSamplesRb7WithTheLineReleased) {
  Lines held;
  held.backend.io.fixed[kMsr] = 0x10;  // CTS asserted
  EXPECT_EQ(PicReadData(held.session), 0x3FFF);
  EXPECT_EQ(held.BitsTaken(), std::vector<int>(16, 1)) << "DTR stays on for all 16 clocks";

  Lines low;
  EXPECT_EQ(PicReadData(low.session), 0x0000);

  // One bit read per clock after its falling edge: 0x2841 comes back as sent.
  Lines word;
  std::deque<uint8_t> msr;
  for (uint16_t mask = 1; mask <= 0x2000; mask = static_cast<uint16_t>(mask << 1)) {
    msr.push_back((0x2841 & mask) ? 0x10 : 0x00);
  }
  word.backend.io.script[kMsr] = msr;
  EXPECT_EQ(PicReadData(word.session), 0x2841);
}

TEST(PicLink, TheClockDelayIsThePicClockSetting) {
  Lines fast(0);
  const uint64_t start = fast.backend.clock.NowNs();
  PicSendBit(fast.session, 1);
  EXPECT_EQ(fast.backend.clock.NowNs(), start) << "no Sleep(0) at all with a delay of 0";

  Lines slow(5);
  const uint64_t before = slow.backend.clock.NowNs();
  PicSendBit(slow.session, 1);
  EXPECT_GT(slow.backend.clock.NowNs(), before);
}

TEST(PicEraseRoutines, PassLinesOfBothChips) {
  Lines f84;
  uint8_t flag = 0;
  PicContext ctx84{f84.session, f84.op, flag};
  PicEraseF84(ctx84);
  EXPECT_EQ(f84.op.Texts(),
            (std::vector<std::string>{"PIC ERASE : START", ">> 5:1", ">> 5:2", ">> 5:3", ">> 5:4",
                                      ">> 5:5", "PIC ERASE FLASH : STOP"}));
  Lines f876;
  PicContext ctx876{f876.session, f876.op, flag};
  const uint64_t start = f876.backend.clock.NowUs();
  PicEraseF876(ctx876);
  EXPECT_EQ(f876.op.Texts().front(), "PIC ERASE FLASH : START");
  EXPECT_EQ(f876.op.Texts()[5], "> 5:5");
  // Five passes of at least 1360 ms (six MCLR changes of 200 ms, three 20 ms pauses, 100 ms),
  // and 200 ms at the end.
  EXPECT_GE(f876.backend.clock.NowUs() - start, 5u * 1360000u + 200000u);
  EXPECT_EQ(flag, 0) << "an erase reports nothing";
}

}  // namespace
}  // namespace vexilo::pic
