// The 24Cxx on its two pins, driven by a bit-banged master the way a card loader drives it, and
// the part's SDA predicted ahead of the SCL falls (what the ISA card hands its helper).
#include "sim/phoenix/eeprom_pins.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace vexilo::sim {
namespace {

class EepromPinsTest : public ::testing::TestWithParam<uint32_t> {
 protected:
  // The master lets go of (true) or pulls down (false) its lines, one change a microsecond.
  // At each SCL fall the part's SDA must be what the last look-ahead said, for as far as it
  // went; a new look-ahead is taken where the last one ran out and at START and STOP.
  void Lines(bool sda, bool scl) {
    const bool fall = scl_ && !scl;
    const bool startStop = scl_ && scl && sda != sda_;
    sda_ = sda;
    scl_ = scl;
    const bool out = pins_.Master(sda, scl, t_ += kUs);
    falls_ += fall ? 1 : 0;
    if (fall) {
      if (next_ < ahead_.levels.size()) {
        EXPECT_EQ(out, ahead_.levels[next_]) << "fall " << next_;
        ++next_;
        ++predicted_;
        return;
      }
      if (ahead_.holdAfter) {
        EXPECT_TRUE(out);
        ++predicted_;
        return;
      }
    }
    if (fall || startStop) {
      ahead_ = pins_.Ahead();
      next_ = 0;
    }
  }
  bool Line() const { return sda_ && pins_.Sda(); }
  void Start() {
    Lines(true, true);
    Lines(false, true);
    Lines(false, false);
  }
  void Stop() {
    Lines(false, false);
    Lines(false, true);
    Lines(true, true);
  }
  bool Byte(uint8_t value) {  // true: acknowledged
    for (int bit = 7; bit >= 0; --bit) {
      Lines((value >> bit) & 1, false);
      Lines((value >> bit) & 1, true);
      Lines((value >> bit) & 1, false);
    }
    Lines(true, false);
    Lines(true, true);
    const bool ack = !Line();
    Lines(true, false);
    return ack;
  }
  uint8_t Read(bool ack) {
    uint8_t value = 0;
    Lines(true, false);
    for (int bit = 0; bit < 8; ++bit) {
      Lines(true, true);
      value = uint8_t(value << 1 | (Line() ? 1 : 0));
      Lines(true, false);
    }
    Lines(!ack, false);
    Lines(!ack, true);
    Lines(!ack, false);
    return value;
  }
  bool Address(uint32_t address, bool read) {
    const bool oneByte = eeprom_.Part().addressBytes == 1;
    const uint8_t control = uint8_t(0xA0 | (oneByte ? (address >> 7) & 0x0E : 0));
    Start();
    if (!Byte(control)) return false;
    if (!oneByte && !Byte(uint8_t(address >> 8))) return false;
    if (!Byte(uint8_t(address))) return false;
    if (!read) return true;
    Start();
    return Byte(uint8_t(control | 1));
  }

  Eeprom24Cxx eeprom_{GetParam()};
  EepromPins pins_{eeprom_};
  SimTime t_ = 0;
  bool sda_ = true;
  bool scl_ = true;
  EepromPins::Script ahead_{{}, true};
  size_t next_ = 0;
  unsigned predicted_ = 0;
  unsigned falls_ = 0;
};

TEST_P(EepromPinsTest, PageWriteAcknowledgePollingAndSequentialReadByPin) {
  const uint32_t base = GetParam() - 16;  // the last page's bytes, near the top of memory
  const std::vector<uint8_t> data{0x00, 0xFF, 0x5A, 0xA5, 0x01, 0x80, 0x3C, 0xC3};
  ASSERT_TRUE(Address(base, false));
  for (uint8_t value : data) ASSERT_TRUE(Byte(value));
  Stop();
  // The part is busy writing: its control byte is not acknowledged until the cycle is over.
  Start();
  EXPECT_FALSE(Byte(0xA0));
  Stop();
  t_ += eeprom_.Part().writeCycle;
  ASSERT_TRUE(Address(base, true));
  for (size_t i = 0; i < data.size(); ++i) {
    EXPECT_EQ(Read(i + 1 < data.size()), data[i]) << "byte " << i;
  }
  Stop();
  // A control byte of another device is refused and the bus stays released.
  Start();
  EXPECT_FALSE(Byte(0x90));
  Stop();
  EXPECT_TRUE(pins_.Sda());
  // Most of the falls were known ahead: the helper stops about once a byte.
  EXPECT_GT(predicted_ * 10, falls_ * 8) << predicted_ << " of " << falls_;
}

INSTANTIATE_TEST_SUITE_P(Parts, EepromPinsTest, ::testing::Values(2048u, 65536u));

}  // namespace
}  // namespace vexilo::sim
