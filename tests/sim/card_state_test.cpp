#include "sim/card/card_state.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "sim/card/card_state_lock.h"
#include "sim/fakes.h"

namespace vexilo::sim {
namespace {

using testing::MakeFakeCard;

class CardStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("vexilo_card_state_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    path_ = dir_ / "card.state";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string ReadFile() const {
    std::ifstream in(path_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void WriteFile(const std::string& text) const { std::ofstream(path_) << text; }
  // Replaces the first occurrence of `from` in the saved file.
  void Edit(const std::string& from, const std::string& to) const {
    std::string text = ReadFile();
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    WriteFile(text.replace(at, from.size(), to));
  }

  std::filesystem::path dir_;
  std::filesystem::path path_;
};

TEST_F(CardStateTest, EveryRegionSurvivesARoundTrip) {
  auto saved = MakeFakeCard(CardType::FunCard, 2048);
  for (size_t i = 0; i < saved.chip->flash.size(); ++i) saved.chip->flash[i] = uint8_t(i * 7);
  saved.chip->eeprom[3] = 0x00;
  saved.chip->fuses = {0xE4, 0xD9, 0xFD};
  saved.phoenix->eeprom[2047] = 0x5A;
  SaveCardState(*saved.card, path_);
  EXPECT_FALSE(std::filesystem::exists(path_.string() + ".tmp"));

  auto loaded = MakeFakeCard(CardType::FunCard, 2048);
  LoadCardState(*loaded.card, path_);
  EXPECT_EQ(loaded.chip->flash, saved.chip->flash);
  EXPECT_EQ(loaded.chip->eeprom, saved.chip->eeprom);
  EXPECT_EQ(loaded.chip->fuses, saved.chip->fuses);
  EXPECT_EQ(loaded.phoenix->eeprom, saved.phoenix->eeprom);

  const std::string text = ReadFile();
  EXPECT_NE(text.find("card fun\n24cxx 2048\n"), std::string::npos);
  EXPECT_NE(text.find("region chip/flash 64\n000000 00070E15"), std::string::npos);
  EXPECT_NE(text.find("region phoenix/24cxx 2048\n"), std::string::npos);
}

TEST_F(CardStateTest, SavingReplacesAnOlderFile) {
  WriteFile("old contents");
  auto card = MakeFakeCard();
  SaveCardState(*card.card, path_);
  auto loaded = MakeFakeCard();
  EXPECT_NO_THROW(LoadCardState(*loaded.card, path_));
}

TEST_F(CardStateTest, CardWithoutExternalEepromHasNoPhoenixRegions) {
  auto black = MakeFakeCard(CardType::BlackCard, 0, false);
  SaveCardState(*black.card, path_);
  EXPECT_EQ(ReadFile().find("phoenix/"), std::string::npos);
  auto loaded = MakeFakeCard(CardType::BlackCard, 0, false);
  EXPECT_NO_THROW(LoadCardState(*loaded.card, path_));
}

TEST_F(CardStateTest, AnotherCardTypeOrSizeIsRejected) {
  auto fun = MakeFakeCard(CardType::FunCard, 2048);
  SaveCardState(*fun.card, path_);
  auto neoo = MakeFakeCard(CardType::NeooCard, 2048);
  EXPECT_THROW(LoadCardState(*neoo.card, path_), CardStateError);
  auto bigger = MakeFakeCard(CardType::FunCard, 8192);
  EXPECT_THROW(LoadCardState(*bigger.card, path_), CardStateError);
}

TEST_F(CardStateTest, DamagedFilesChangeNothing) {
  auto source = MakeFakeCard();
  source.chip->flash.assign(source.chip->flash.size(), 0x11);
  source.phoenix->eeprom.assign(source.phoenix->eeprom.size(), 0x22);
  const std::vector<std::pair<std::string, std::string>> damage{
      {"vexilo-card-state 1", "vexilo-card-state 2"},
      {"region chip/flash 64", "region chip/flash 128"},  // size differs from the chip's
      {"region chip/eeprom 16", "region chip/other 16"},  // unknown and missing region
      {"000020 1111", "000040 1111"},                     // offset out of sequence
      {"000020 1111", "000020 11G1"},                     // not hexadecimal
      {"000020 1111", "000020 111"},                      // odd digit count
      {"region phoenix/24cxx 2048\n", "region phoenix/24cxx 2048\nend\n"},  // data missing
  };
  for (const auto& [from, to] : damage) {
    SaveCardState(*source.card, path_);
    Edit(from, to);
    auto target = MakeFakeCard();
    EXPECT_THROW(LoadCardState(*target.card, path_), CardStateError) << to;
    EXPECT_EQ(target.chip->flash, std::vector<uint8_t>(64, 0xFF)) << to;
    EXPECT_EQ(target.phoenix->eeprom, std::vector<uint8_t>(2048, 0xFF)) << to;
  }

  SaveCardState(*source.card, path_);
  std::string text = ReadFile();
  WriteFile(text.substr(0, text.size() / 2));  // cut short
  auto target = MakeFakeCard();
  EXPECT_THROW(LoadCardState(*target.card, path_), CardStateError);
  EXPECT_EQ(target.chip->flash, std::vector<uint8_t>(64, 0xFF));
}

TEST_F(CardStateTest, DuplicateRegionIsRejected) {
  auto card = MakeFakeCard();
  SaveCardState(*card.card, path_);
  const std::string text = ReadFile();
  const size_t start = text.find("region chip/eeprom");
  const size_t end = text.find("end\n", start) + 4;
  WriteFile(text + text.substr(start, end - start));
  EXPECT_THROW(LoadCardState(*card.card, path_), CardStateError);
}

TEST_F(CardStateTest, MissingFileIsAClearError) {
  auto card = MakeFakeCard();
  try {
    LoadCardState(*card.card, dir_ / "absent.state");
    FAIL();
  } catch (const CardStateError& e) {
    EXPECT_NE(std::string(e.what()).find("absent.state"), std::string::npos);
  }
}

// Two processes on one card state: the second waits while the first holds it, gives up with
// a plain message after its bound, and gets the file once the first has ended. A FIFO or a
// folder is never opened as a state.
TEST_F(CardStateTest, OneRunAtATimeHoldsTheFile) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    {
      CardStateLock held(path_);
      [[maybe_unused]] const ssize_t n = write(ready[1], "L", 1);
      usleep(600'000);
    }
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  try {
    CardStateLock second(path_, 100);
    ADD_FAILURE() << "a held file was taken";
  } catch (const CardStateError& e) {
    EXPECT_NE(std::string(e.what()).find("in use by another run"), std::string::npos) << e.what();
  }
  {
    const auto start = std::chrono::steady_clock::now();
    CardStateLock second(path_, 5000);  // waits for the first run's end
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_FALSE(second.HasState());
  }
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  EXPECT_FALSE(std::filesystem::exists(path_)) << "the empty file the lock made is gone";
  close(ready[0]);
  close(ready[1]);

  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
  EXPECT_THROW(CardStateLock fifo(path_, 100), CardStateError);
  std::filesystem::remove(path_);
  std::filesystem::create_directory(path_);
  try {
    CardStateLock folder(path_, 100);
    ADD_FAILURE() << "a folder was taken";
  } catch (const CardStateError& e) {
    EXPECT_NE(std::string(e.what()).find("is a folder"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace vexilo::sim
