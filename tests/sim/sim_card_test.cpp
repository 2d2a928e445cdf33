// Cards built with the real chip and Phoenix models.
#include "sim/card/sim_card.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "sim/backend/sim_backend.h"
#include "sim/card/card_state.h"
#include "sim/line_driver.h"

namespace vexilo::sim {
namespace {

bool HasRegion(SimCard& card, const std::string& name) {
  const auto regions = card.Regions();
  return std::any_of(regions.begin(), regions.end(),
                     [&](const MemoryRegion& r) { return r.name == name; });
}

TEST(SimCard, EveryCardTypeBuildsWithItsMemories) {
  for (const auto& info : CardTypes()) {
    auto card = MakeSimCard(info.type);
    EXPECT_EQ(card->ExternalEepromBytes(), info.eepromDefault) << info.text;
    EXPECT_TRUE(HasRegion(*card, "chip/flash")) << info.text;
    EXPECT_EQ(card->Phoenix() != nullptr, info.eepromDefault != 0) << info.text;
  }
  auto big = MakeSimCard(CardType::AtmegaCard, 65536);
  EXPECT_EQ(big->ExternalEepromBytes(), 65536u);
}

TEST(SimCard, RejectsAnEepromTheCardCannotHave) {
  EXPECT_THROW(MakeSimCard(CardType::BlackCard, 8192), std::invalid_argument);
  EXPECT_THROW(MakeSimCard(CardType::FunCard, 4096), std::invalid_argument);
}

TEST(SimCard, StateOfARealCardSurvivesAFile) {
  const auto path = std::filesystem::temp_directory_path() / "vexilo_sim_card_test.state";
  auto card = MakeSimCard(CardType::PicCard2);
  for (auto& region : card->Regions()) {
    for (size_t i = 0; i < region.bytes.size(); ++i) region.bytes[i] = uint8_t(i * 3 + 1);
  }
  SaveCardState(*card, path);
  auto loaded = MakeSimCard(CardType::PicCard2);
  LoadCardState(*loaded, path);
  auto a = card->Regions();
  auto b = loaded->Regions();
  ASSERT_EQ(a.size(), b.size());
  for (size_t r = 0; r < a.size(); ++r) {
    EXPECT_TRUE(std::equal(a[r].bytes.begin(), a[r].bytes.end(), b[r].bytes.begin())) << a[r].name;
  }
  auto other = MakeSimCard(CardType::PicCard2, 16384);
  EXPECT_THROW(LoadCardState(*other, path), CardStateError);
  std::filesystem::remove(path);
}

TEST(SimBackendWithRealCard, AvrProgrammingEnableThroughTheDefaultBackend) {
  SimOptions options;
  options.card = CardType::NeooCard;
  options.mode = AdapterMode::Avr;
  SimBackend backend(options);
  testing::LineDriver line(backend);
  line.Open();
  line.SetBreak(false);
  line.SleepMs(100);
  line.SetBreak(true);
  line.SleepMs(30);
  line.SpiByte(0xAC);
  line.SpiByte(0x53);
  EXPECT_EQ(line.SpiByte(0x00), 0x53);
}

TEST(SimBackendWithRealCard, BlankChipGivesNoAtrButTheEchoStays) {
  SimOptions options;
  options.card = CardType::FunCard;
  SimBackend backend(options);
  testing::LineDriver line(backend);
  line.Open();
  auto& io = backend.Io();
  const uint16_t base = backend.Base();
  io.Out(base + kMcr, 2);
  line.SleepMs(100);
  io.Out(base + kMcr, 0);
  line.SleepMs(100);
  EXPECT_EQ(io.In(base + kLsr) & kLsrDataReady, 0);
  io.Out(base + kRbrThrDll, 0xC1);
  line.SleepMs(5);
  EXPECT_EQ(io.In(base + kRbrThrDll), 0xC1);
}

}  // namespace
}  // namespace vexilo::sim
