#include <gtest/gtest.h>

#include <vector>

#include "sim/phoenix/loader_family.h"
#include "sim/phoenix/loader_marker.h"
#include "sim/phoenix/loader_model.h"
#include "sim/phoenix/phoenix_card_sim.h"
#include "sim/phoenix/phoenix_sim.h"
#include "sim/phoenix/phoenix_test_support.h"

namespace vexilo::sim {
namespace {

using testing::Bytes;
using testing::FakeChip;
using testing::Reader;

std::vector<uint8_t> ProgramWith(LoaderFamily family) {
  std::vector<uint8_t> program = MakeSimLoaderImage(family);
  program.resize(8192, 0xFF);
  return program;
}

std::vector<uint8_t> AtrOf(LoaderFamily family) {
  const auto atr = SpecFor(family).atr;
  return {atr.begin(), atr.end()};
}

uint32_t EepromFor(LoaderFamily family) { return family == LoaderFamily::Pic16F84 ? 2048 : 8192; }

class PhoenixCardTest : public ::testing::TestWithParam<LoaderFamily> {
 protected:
  const LoaderSpec& spec_ = SpecFor(GetParam());
  FakeChip chip_{ProgramWith(GetParam())};
  PhoenixCardSim card_{chip_, EepromFor(GetParam()), {}};
  Reader reader_{card_};

  void SetUp() override {
    auto bytes = card_.Eeprom().Bytes();
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + (i >> 8));
    reader_.Reset();
    ASSERT_EQ(reader_.Answer(), AtrOf(GetParam()));
  }
  std::vector<uint8_t> Ok() const {
    return spec_.statusBytes == 2 ? Bytes({0x90, 0x00}) : Bytes({0x90});
  }
  std::vector<uint8_t> Status(uint16_t sw) const {
    if (spec_.statusBytes == 2) return {uint8_t(sw >> 8), uint8_t(sw)};
    return {uint8_t(sw >> 8)};
  }
  // P3 for `n` data bytes.
  uint8_t P3(uint8_t n) const { return uint8_t(n + (spec_.checkByte ? 1 : 0)); }
  std::vector<uint8_t> ReadAnswer(uint16_t address, uint8_t n) {
    std::vector<uint8_t> expected{spec_.readIns};
    uint8_t check = 0;
    for (uint32_t i = 0; i < n; ++i) {
      expected.push_back(card_.Eeprom().Bytes()[(address + i) % card_.Eeprom().Bytes().size()]);
      check ^= expected.back();
    }
    if (spec_.checkByte) {
      expected.push_back(check);  // in place of a status
    } else {
      for (uint8_t sw : Ok()) expected.push_back(sw);
    }
    return expected;
  }
  // A write block: header, the procedure byte, the data (and check byte), the status.
  std::vector<uint8_t> Write(uint16_t address, const std::vector<uint8_t>& data,
                             uint8_t xorFix = 0) {
    reader_.Send({kLoaderClass, spec_.writeIns, uint8_t(address >> 8), uint8_t(address),
                  P3(uint8_t(data.size()))});
    EXPECT_EQ(reader_.Answer(), Bytes({spec_.writeIns}));
    std::vector<uint8_t> sent = data;
    if (spec_.checkByte) {
      uint8_t check = xorFix;
      for (uint8_t value : data) check ^= value;
      sent.push_back(check);
    }
    reader_.Send(sent);
    const SimTime sentAt = reader_.now;
    std::vector<uint8_t> status;
    for (const auto& heard : reader_.Listen()) {
      if (status.empty()) statusDelay_ = heard.at - sentAt;
      status.push_back(heard.value);
    }
    return status;
  }
  SimTime statusDelay_ = 0;  // from the last character of a write block to its status
};

TEST_P(PhoenixCardTest, AtrFollowsTheReleaseOfResetOneCharacterEvery12Etu) {
  reader_.now += 5 * kMs;
  card_.SetReset(true, reader_.now);
  EXPECT_TRUE(reader_.Listen(200 * kMs).empty());  // silent while RESET is held
  const SimTime release = reader_.now;
  card_.SetReset(false, release);
  const auto heard = reader_.Listen();
  ASSERT_EQ(heard.size(), spec_.atr.size());
  EXPECT_NEAR(double(heard[0].at - release), double(kAtrDelay + kCardCharacter), 2 * kUs);
  for (size_t i = 1; i < heard.size(); ++i) {
    EXPECT_NEAR(double(heard[i].at - heard[i - 1].at), double(kCardCharacter), 2 * kUs);
  }
  EXPECT_NEAR(double(kCardCharacter), 1.247e6, 1e3);  // 12 etu at 372 / 3.5795 MHz

  // A reset in the middle of the ATR cuts it off; the next release starts it again.
  card_.SetReset(true, reader_.now);
  card_.SetReset(false, reader_.now);
  reader_.now += kAtrDelay + kCardCharacter + 10 * kUs;
  card_.SetReset(true, reader_.now);
  EXPECT_EQ(reader_.Answer(), Bytes({spec_.atr[0]}));
  reader_.Reset();
  EXPECT_EQ(reader_.Answer(), AtrOf(GetParam()));
}

TEST_P(PhoenixCardTest, ReadBlockSendsProcedureByteDataAndStatus) {
  for (uint16_t address : {0x0000, 0x0010, 0x07F8}) {
    reader_.Send({kLoaderClass, spec_.readIns, uint8_t(address >> 8), uint8_t(address), P3(16)});
    EXPECT_EQ(reader_.Answer(), ReadAnswer(address, 16)) << address;
  }
  reader_.Send({kLoaderClass, spec_.readIns, 0x00, 0x40, P3(spec_.maxData)});
  EXPECT_EQ(reader_.Answer(), ReadAnswer(0x40, spec_.maxData));
}

TEST_P(PhoenixCardTest, WriteBlockStoresTheDataBeforeTheStatus) {
  const std::vector<uint8_t> data{1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(Write(0x0120, data), Ok());
  for (size_t i = 0; i < data.size(); ++i) EXPECT_EQ(card_.Eeprom().Bytes()[0x120 + i], data[i]);
  // The loader writes byte by byte and polls the 24Cxx through each write cycle before it
  // answers, so the status comes no sooner than the part's tWR for every byte.
  const SimTime cycles = card_.Eeprom().Part().writeCycle * data.size();
  EXPECT_GT(statusDelay_, cycles + kCardCharacter);
  EXPECT_LT(statusDelay_, cycles + data.size() * 1 * kMs);
  reader_.Send({kLoaderClass, spec_.readIns, 0x01, 0x20, P3(8)});
  EXPECT_EQ(reader_.Answer(), ReadAnswer(0x120, 8));
}

TEST_P(PhoenixCardTest, RefusedHeadersGetOnlyAStatus) {
  reader_.Send({0xA0, spec_.readIns, 0x00, 0x00, P3(8)});
  EXPECT_EQ(reader_.Answer(), Status(kSwWrongClass));
  reader_.Send({kLoaderClass, 0x55, 0x00, 0x00, P3(8)});
  EXPECT_EQ(reader_.Answer(), Status(kSwUnknownInstruction));
  reader_.Send({kLoaderClass, spec_.writeIns, 0x00, 0x00, uint8_t(P3(spec_.maxData) + 1)});
  EXPECT_EQ(reader_.Answer(), Status(kSwWrongLength));
  reader_.Send({kLoaderClass, spec_.readIns, 0x00, 0x00, P3(0)});
  EXPECT_EQ(reader_.Answer(), Status(kSwWrongLength));
  // The loader is back at a header after each refusal.
  reader_.Send({kLoaderClass, spec_.readIns, 0x00, 0x08, P3(8)});
  EXPECT_EQ(reader_.Answer(), ReadAnswer(0x08, 8));
}

TEST_P(PhoenixCardTest, CharactersSentWhileTheCardTalksAreLost) {
  reader_.Send({kLoaderClass, spec_.readIns, 0x00, 0x00, P3(16)});
  reader_.now += 3 * kMs;  // in the middle of the answer
  reader_.Send({kLoaderClass, spec_.readIns, 0x00, 0x00, P3(16)});
  EXPECT_EQ(reader_.Answer(), ReadAnswer(0, 16));
  EXPECT_TRUE(reader_.Answer().empty());
}

INSTANTIATE_TEST_SUITE_P(Loaders, PhoenixCardTest,
                         ::testing::Values(LoaderFamily::Avr, LoaderFamily::Pic16F84,
                                           LoaderFamily::Pic16F876),
                         [](const auto& info) { return std::string(SpecFor(info.param).name); });

// The commands the reader sends for each loader, byte for byte, at the top of memory.
TEST(LoaderCommandTest, EachLoaderAnswersTheReaderCommands) {
  struct Case {
    LoaderFamily family;
    uint32_t eeprom;
    std::vector<uint8_t> write;  // header; the block is all 0x01
    std::vector<uint8_t> read;   // header of a read that ends with the block written
    size_t readData;
    size_t trailing;  // status or check bytes after the data
  } cases[] = {
      {LoaderFamily::Avr,
       65536,
       {0xC1, 0x20, 0xFF, 0xF0, 0x10},
       {0xC1, 0x22, 0xFF, 0xF0, 0x10},
       16,
       2},
      {LoaderFamily::Pic16F84,
       2048,
       {0xC1, 0x22, 0x07, 0xF8, 0x08},
       {0xC1, 0x21, 0x07, 0xF8, 0x08},
       8,
       2},
      {LoaderFamily::Pic16F876,
       16384,
       {0xC1, 0x02, 0x3F, 0xF0, 0x11},
       {0xC1, 0x01, 0x3F, 0xE0, 0x21},
       32,
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(SpecFor(c.family).name);
    FakeChip chip(ProgramWith(c.family));
    auto card = MakePhoenixCard(chip, c.eeprom);
    Reader reader(*card);
    reader.Reset();
    reader.Answer();
    reader.Send(c.write);
    EXPECT_EQ(reader.Answer(), Bytes({c.write[1]}));
    const bool check = SpecFor(c.family).checkByte;
    std::vector<uint8_t> block(c.write[4] - (check ? 1 : 0), 0x01);
    if (check) block.push_back(0x00);  // sixteen 0x01: exclusive-or 0x00
    reader.Send(block);
    const auto status = reader.Answer();
    ASSERT_EQ(status.size(), c.trailing);
    EXPECT_EQ(status[0], 0x90);

    reader.Send(c.read);
    const auto answer = reader.Answer();
    ASSERT_EQ(answer.size(), 1 + c.readData + c.trailing);
    EXPECT_EQ(answer[0], c.read[1]);
    const size_t written = c.write[4] - (check ? 1 : 0);
    for (size_t i = 1 + c.readData - written; i <= c.readData; ++i) EXPECT_EQ(answer[i], 0x01);
    EXPECT_EQ(answer[1 + c.readData], check ? 0x00 : 0x90);  // 16 x 0xFF and 16 x 0x01

    const auto regions = card->Regions();
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(regions[0].name, "24cxx");
    EXPECT_EQ(regions[0].bytes.size(), c.eeprom);
    EXPECT_EQ(regions[0].bytes[c.eeprom - 1], 0x01);
  }
}

TEST(LoaderCommandTest, Pic16F876RefusesAWrongCheckByte) {
  FakeChip chip(ProgramWith(LoaderFamily::Pic16F876));
  PhoenixCardSim card(chip, 8192, {});
  Reader reader(card);
  reader.Reset();
  reader.Answer();
  reader.Send({0xC1, 0x02, 0x00, 0x00, 0x11});
  EXPECT_EQ(reader.Answer(), Bytes({0x02}));
  std::vector<uint8_t> row{0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00};
  reader.Send(row);  // the check byte should be 0x03
  EXPECT_EQ(reader.Answer(), Bytes({0x6A}));
  EXPECT_EQ(card.Eeprom().Bytes()[0], 0xFF);
  row.back() = 0x03;
  reader.Send({0xC1, 0x02, 0x00, 0x00, 0x11});
  reader.Answer();
  reader.Send(row);
  EXPECT_EQ(reader.Answer(), Bytes({0x90}));
  EXPECT_EQ(card.Eeprom().Bytes()[1], 0x02);
}

TEST(LoaderCommandTest, AddressesWrapAsThe24CxxDoes) {
  // The AVR loader on a 24C64: 0x2000 is 0x0000 again.
  FakeChip avr(ProgramWith(LoaderFamily::Avr));
  PhoenixCardSim card(avr, 8192, {});
  card.Eeprom().Bytes()[0] = 0x5A;
  Reader reader(card);
  reader.Reset();
  reader.Answer();
  reader.Send({0xC1, 0x22, 0x20, 0x00, 0x01});
  EXPECT_EQ(reader.Answer(), Bytes({0x22, 0x5A, 0x90, 0x00}));

  // The PIC16F84 loader puts address bits 10..8 in the 24C16's control byte.
  FakeChip pic(ProgramWith(LoaderFamily::Pic16F84));
  PhoenixCardSim wafer(pic, 2048, {});
  wafer.Eeprom().Bytes()[0x705] = 0xA7;
  Reader r2(wafer);
  r2.Reset();
  r2.Answer();
  r2.Send({0xC1, 0x21, 0x0F, 0x05, 0x01});
  EXPECT_EQ(r2.Answer(), Bytes({0x21, 0xA7, 0x90, 0x00}));

  // On a 24C64 that loader's block bits select chips that are not there.
  PhoenixCardSim wrongPart(pic, 8192, {});
  Reader r3(wrongPart);
  r3.Reset();
  r3.Answer();
  r3.Send({0xC1, 0x21, 0x01, 0x00, 0x01});
  EXPECT_EQ(r3.Answer(100 * kMs), Bytes({0x21, 0xFF, 0x65, 0x81}));
}

TEST(PhoenixCardFaultTest, WithoutALoaderTheCardStaysSilent) {
  FakeChip erased;
  FakeChip user(std::vector<uint8_t>(8192, 0x12));
  FakeChip loaded(ProgramWith(LoaderFamily::Avr));
  PhoenixCardSim blank(erased, 8192, {});
  PhoenixCardSim userProgram(user, 8192, {});
  PhoenixFaults faults;
  faults.noLoader = true;
  PhoenixCardSim noLoader(loaded, 8192, faults);
  for (PhoenixCard* card :
       {static_cast<PhoenixCard*>(&blank), static_cast<PhoenixCard*>(&userProgram),
        static_cast<PhoenixCard*>(&noLoader)}) {
    Reader reader(*card);
    reader.Reset();
    EXPECT_TRUE(reader.Answer(100 * kMs).empty());
    reader.Send({0xC1, 0x22, 0x00, 0x00, 0x10});
    EXPECT_TRUE(reader.Answer(100 * kMs).empty());
  }
  // The chip is looked at on every reset: a loader programmed since is running after the next.
  erased.program_ = ProgramWith(LoaderFamily::Pic16F876);
  Reader reader(blank);
  reader.Reset();
  EXPECT_EQ(reader.Answer(), AtrOf(LoaderFamily::Pic16F876));
  EXPECT_EQ(blank.RunningLoader(), LoaderFamily::Pic16F876);
}

TEST(PhoenixCardFaultTest, WrongAtrReplacesTheLoadersAtr) {
  const std::vector<uint8_t> foreign(ForeignAtr().begin(), ForeignAtr().end());
  FakeChip loaded(ProgramWith(LoaderFamily::Avr));
  PhoenixFaults faults;
  faults.wrongAtr = true;
  PhoenixCardSim card(loaded, 8192, faults);
  Reader reader(card);
  reader.Reset();
  EXPECT_EQ(reader.Answer(), foreign);
  reader.Send({0xC1, 0x22, 0x00, 0x00, 0x01});
  EXPECT_EQ(reader.Answer(), Bytes({0x22, 0xFF, 0x90, 0x00}));

  FakeChip erased;
  PhoenixCardSim blank(erased, 8192, faults);
  Reader r2(blank);
  r2.Reset();
  EXPECT_EQ(r2.Answer(), foreign);
}

TEST(PhoenixCardFaultTest, SilentAfterCountsEveryCharacterSinceThePowerUp) {
  FakeChip loaded(ProgramWith(LoaderFamily::Avr));
  const uint32_t atr = uint32_t(SpecFor(LoaderFamily::Avr).atr.size());
  PhoenixFaults faults;
  faults.silentAfter = atr + 3;
  PhoenixCardSim card(loaded, 8192, faults);
  Reader reader(card);
  reader.Reset();
  EXPECT_EQ(reader.Answer().size(), atr);
  reader.Send({0xC1, 0x22, 0x00, 0x00, 0x10});
  EXPECT_EQ(reader.Answer(), Bytes({0x22, 0xFF, 0xFF}));
  reader.Reset();
  EXPECT_TRUE(reader.Answer().empty());
  // Its firmware still works: a write lands although nothing is heard.
  reader.Send({0xC1, 0x20, 0x00, 0x00, 0x01});
  reader.now += 20 * kMs;
  reader.Send({0x42});
  reader.Listen();
  EXPECT_EQ(card.Eeprom().Bytes()[0], 0x42);
}

}  // namespace
}  // namespace vexilo::sim
