#include "sim/phoenix/eeprom_24cxx.h"

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <vector>

namespace vexilo::sim {

void PrintTo(const Eeprom24Part& part, std::ostream* os) { *os << part.name; }

namespace {

// Bus transactions as a loader's I2C master makes them, one event a microsecond.
class Eeprom24CxxTest : public ::testing::TestWithParam<Eeprom24Part> {
 protected:
  Eeprom24Cxx eeprom_{GetParam().bytes};
  SimTime t_ = 0;
  bool OneAddressByte() const { return GetParam().addressBytes == 1; }

  uint8_t Control(uint32_t address, bool read) const {
    const uint8_t block = OneAddressByte() ? uint8_t((address >> 7) & 0x0E) : 0;
    return uint8_t(0xA0 | block | (read ? 1 : 0));
  }
  bool Select(uint32_t address) {
    eeprom_.Start(++t_);
    if (!eeprom_.Write(Control(address, false), ++t_)) return false;
    if (!OneAddressByte() && !eeprom_.Write(uint8_t(address >> 8), ++t_)) return false;
    return eeprom_.Write(uint8_t(address), ++t_);
  }
  void WritePage(uint32_t address, const std::vector<uint8_t>& data) {
    ASSERT_TRUE(Select(address));
    for (uint8_t value : data) ASSERT_TRUE(eeprom_.Write(value, ++t_));
    eeprom_.Stop(++t_);
    t_ += GetParam().writeCycle;
  }
  std::vector<uint8_t> ReadFrom(uint32_t address, size_t count) {
    EXPECT_TRUE(Select(address));
    eeprom_.Start(++t_);
    EXPECT_TRUE(eeprom_.Write(Control(address, true), ++t_));
    std::vector<uint8_t> out;
    for (size_t i = 0; i < count; ++i) out.push_back(eeprom_.Read(++t_));
    eeprom_.Stop(++t_);
    return out;
  }
};

TEST_P(Eeprom24CxxTest, AddressBitsAboveThePartWrap) {
  const uint32_t size = GetParam().bytes;
  // The 24C16 has 11 address bits (3 in the control byte); the others decode up to 16.
  const uint32_t alias = OneAddressByte() ? 0x0800 : size;
  WritePage(size - 1, {0x5A});
  WritePage((alias + 3) & 0xFFFF, {0xA5});
  if (alias <= 0xFFFF) {
    EXPECT_EQ(eeprom_.Bytes()[3], 0xA5);
  }
  EXPECT_EQ(eeprom_.Bytes()[size - 1], 0x5A);
  EXPECT_EQ(ReadFrom(alias + 3, 1), std::vector<uint8_t>{eeprom_.Bytes()[3]});
}

TEST_P(Eeprom24CxxTest, PageWriteRollsOverInsideItsPage) {
  const uint32_t page = GetParam().pageBytes;
  const uint32_t base = 3 * page;
  WritePage(base + page - 2, {1, 2, 3, 4});
  const auto bytes = eeprom_.Bytes();
  EXPECT_EQ(bytes[base + page - 2], 1);
  EXPECT_EQ(bytes[base + page - 1], 2);
  EXPECT_EQ(bytes[base], 3);
  EXPECT_EQ(bytes[base + 1], 4);
  EXPECT_EQ(bytes[base + page], 0xFF);  // the next page is untouched

  // One byte more than a page: the first is overwritten by the last.
  std::vector<uint8_t> data(page + 1);
  for (uint32_t i = 0; i <= page; ++i) data[i] = uint8_t(0x80 + i);
  WritePage(base, data);
  EXPECT_EQ(bytes[base], uint8_t(0x80 + page));
  EXPECT_EQ(bytes[base + 1], 0x81);
}

TEST_P(Eeprom24CxxTest, SequentialReadRollsOverAtTheEndOfMemory) {
  const uint32_t size = GetParam().bytes;
  WritePage(0, {0x10, 0x11});
  WritePage(size - 2, {0xE0, 0xE1});
  EXPECT_EQ(ReadFrom(size - 2, 4), (std::vector<uint8_t>{0xE0, 0xE1, 0x10, 0x11}));
  // A current address read carries on from the counter.
  eeprom_.Start(++t_);
  ASSERT_TRUE(eeprom_.Write(0xA1, ++t_));
  EXPECT_EQ(eeprom_.Read(++t_), 0xFF);
  eeprom_.Stop(++t_);
}

TEST_P(Eeprom24CxxTest, NoAcknowledgeDuringTheWriteCycle) {
  ASSERT_TRUE(Select(0x40));
  ASSERT_TRUE(eeprom_.Write(0x42, ++t_));
  eeprom_.Stop(t_);
  const SimTime stop = t_;
  EXPECT_TRUE(eeprom_.Busy(stop + GetParam().writeCycle - 1));
  eeprom_.Start(stop + 1 * kMs);
  EXPECT_FALSE(eeprom_.Write(0xA0, stop + 1 * kMs));
  EXPECT_FALSE(eeprom_.Write(0x00, stop + 1 * kMs));  // not addressed: ignores the rest
  eeprom_.Stop(stop + 1 * kMs);
  t_ = stop + GetParam().writeCycle;
  EXPECT_EQ(ReadFrom(0x40, 1), std::vector<uint8_t>{0x42});
}

TEST_P(Eeprom24CxxTest, RepeatedStartAbandonsAPageWrite) {
  ASSERT_TRUE(Select(0x20));
  ASSERT_TRUE(eeprom_.Write(0x33, ++t_));
  eeprom_.Start(++t_);
  eeprom_.Stop(++t_);
  EXPECT_FALSE(eeprom_.Busy(t_));
  EXPECT_EQ(eeprom_.Bytes()[0x20], 0xFF);
  // A dummy write (address only) starts no write cycle either.
  ASSERT_TRUE(Select(0x20));
  eeprom_.Stop(++t_);
  EXPECT_FALSE(eeprom_.Busy(t_));
}

TEST_P(Eeprom24CxxTest, ControlByteSelectsThePart) {
  eeprom_.Start(++t_);
  EXPECT_FALSE(eeprom_.Write(0xB0, ++t_));  // another device code
  eeprom_.Stop(++t_);
  eeprom_.Start(++t_);
  // A2..A0 = 001: block 1 on the 24C16, another chip select on the larger parts.
  EXPECT_EQ(eeprom_.Write(0xA2, ++t_), OneAddressByte());
  eeprom_.Stop(++t_);
}

INSTANTIATE_TEST_SUITE_P(AllParts, Eeprom24CxxTest, ::testing::ValuesIn(Eeprom24Parts()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Eeprom24PartTest, OnlyTheCardSizesExist) {
  EXPECT_EQ(Eeprom24PartOfSize(2048).pageBytes, 16);
  EXPECT_EQ(Eeprom24PartOfSize(65536).pageBytes, 128);
  EXPECT_THROW(Eeprom24PartOfSize(4096), std::invalid_argument);
}

}  // namespace
}  // namespace vexilo::sim
