#include "extee/loader_install.h"

#include <gtest/gtest.h>

#include <memory>

#include "avr/avr_operations.h"
#include "image/intel_hex.h"
#include "pic/pic_operations.h"
#include "sim/backend/sim_backend.h"
#include "sim/phoenix/loader_marker.h"
#include "support/recording_operator.h"

namespace vexilo::extee {
namespace {

using Texts = std::vector<std::string>;

std::string Record(uint16_t address, std::vector<uint8_t> data, uint8_t type = 0) {
  return image::MakeHexRecord(address, type, data) + "\r\n";
}

TEST(LoaderFile, AvrParsingStopsAtTheFirstRecordAboveTheProgram) {
  const std::string text = Record(0x0000, {0x0C, 0x94}) + Record(0x2000, {0x11}) +
                           Record(0x0010, {0x22}) + ":00000001FF\r\n";
  LoaderImage image = ParseLoaderHex(LoaderFamily::Avr, text, "l.hex");
  ASSERT_EQ(image.program.size(), 0x2000u);
  EXPECT_EQ(image.program[0], 0x0C);
  EXPECT_EQ(image.program[1], 0x94);
  EXPECT_EQ(image.program[0x10], 0xFF) << "records after the one at 0x2000 are ignored";
}

TEST(LoaderFile, PicFilesCarryProgramAndDataEeprom) {
  const std::string text = Record(0x0002, {0x05, 0x28}) + Record(0x400E, {0x31, 0x3F}) +
                           Record(0x4200, {0xAB, 0x00, 0xCD, 0x00}) + ":00000001FF\r\n";
  LoaderImage f84 = ParseLoaderHex(LoaderFamily::Pic16F84, text, "p.hex");
  ASSERT_EQ(f84.program.size(), 0x800u);
  EXPECT_EQ(f84.program[2], 0x05);
  EXPECT_EQ(f84.program[3], 0x28);
  EXPECT_EQ(f84.program[4], 0xFF);
  EXPECT_EQ(f84.program[5], 0x3F) << "the erased PIC word is 0x3FFF";
  ASSERT_EQ(f84.eeprom.size(), 64u);
  EXPECT_EQ(f84.eeprom[0], 0xAB);
  EXPECT_EQ(f84.eeprom[1], 0xCD);
  EXPECT_TRUE(ParseLoaderHex(LoaderFamily::Pic16F876, text, "p.hex").eeprom.empty());
}

TEST(LoaderFile, UnusableFilesNameTheFileAndLine) {
  try {
    ParseLoaderHex(LoaderFamily::Avr, Record(0, {1}) + ":0100000001FF\r\n", "loader/x.hex");
    FAIL() << "a bad checksum was taken";
  } catch (const LoaderFileError& e) {
    EXPECT_NE(std::string(e.what()).find("loader/x.hex:2:"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ParseLoaderHex(LoaderFamily::Avr, Record(0, {0, 0}, 0x04), "x"), LoaderFileError);
  EXPECT_THROW(ReadLoaderFile(LoaderFamily::Avr, "/nonexistent/loader.hex"), LoaderFileError);
}

// A simulated card of the given type with an open session in the adapter mode of its chip.
struct Card {
  explicit Card(sim::CardType type, sim::AdapterMode mode) {
    sim::SimOptions options;
    options.card = type;
    options.mode = mode;
    backend = std::make_unique<sim::SimBackend>(options);
    session =
        std::make_unique<port::PortSession>(*backend, op, [] { return port::SessionSettings{}; });
    session->OpenPort("avr/pic");
  }
  port::OperationContext Context() { return {*session, op, errorFlag}; }
  std::optional<sim::LoaderFamily> Loader() const {
    return sim::FindLoaderMarker(backend->Card().Chip().ProgramMemory());
  }

  std::unique_ptr<sim::SimBackend> backend;
  test::RecordingOperator op;
  std::unique_ptr<port::PortSession> session;
  uint8_t errorFlag = 0;
};

LoaderImage SimLoader(LoaderFamily kind, sim::LoaderFamily family) {
  return ParseLoaderHex(kind, sim::MakeSimLoaderHex(family), "sim");
}

TEST(LoaderInstall, EveryAvrCardTakesTheLoader) {
  struct Case {
    sim::CardType card;
    avr::AvrChip routine;
  };
  for (const Case& c : {Case{sim::CardType::FunCard, avr::AvrChip::AT90S8515},
                        Case{sim::CardType::AtmegaCard, avr::AvrChip::ATmega163},
                        Case{sim::CardType::NeooCard, avr::AvrChip::ATmega8515}}) {
    SCOPED_TRACE(static_cast<int>(c.routine));
    Card card(c.card, sim::AdapterMode::Avr);
    port::OperationContext ctx = card.Context();
    ASSERT_TRUE(avr::AtmelSpiOn(ctx));
    avr::ChipErase(ctx, avr::EraseVariant::Pause10Ms);
    ASSERT_TRUE(avr::AtmelSpiOn(ctx));
    card.op.Clear();
    WriteAvrLoader(ctx, c.routine, SimLoader(LoaderFamily::Avr, sim::LoaderFamily::Avr), "20");
    EXPECT_EQ(card.op.Texts(), (Texts{"ATMEL WRITE LOADER : START", "ATMEL WRITE LOADER : OK",
                                      "ATMEL WRITE LOADER : STOP"}));
    EXPECT_EQ(card.op.progress, 991u) << "991 words, whatever the file holds";
    EXPECT_EQ(card.Loader(), sim::LoaderFamily::Avr);
  }
}

TEST(LoaderInstall, AWordThatDoesNotTakeEndsTheAvrLoader) {
  Card card(sim::CardType::FunCard, sim::AdapterMode::Avr);
  port::OperationContext ctx = card.Context();
  ASSERT_TRUE(avr::AtmelSpiOn(ctx));
  card.op.Clear();
  // Flash bits only go from 1 to 0 without an erase: a word programmed to 0000 earlier does
  // not take the loader's erased word 5.
  const LoaderImage loader = SimLoader(LoaderFamily::Avr, sim::LoaderFamily::Avr);
  avr::WriteFlash(
      ctx, avr::AvrChip::AT90S8515,
      [] {
        image::MemoryImage flash(image::ImageKind::AvrFlash, 4096);
        flash.SetCell(5, 0x0000);
        return flash;
      }(),
      "20");
  card.op.Clear();
  WriteAvrLoader(ctx, avr::AvrChip::AT90S8515, loader, "20");
  EXPECT_EQ(card.op.Errors(), (Texts{"ATMEL WRITE FLASH : ERROR ADR[0005]"}));
  EXPECT_EQ(card.op.Texts().back(), "ATMEL WRITE LOADER : STOP");
  EXPECT_EQ(card.errorFlag, 1);
}

TEST(LoaderInstall, BothPicCardsTakeTheLoaderAndItsConfigurationWord) {
  struct Case {
    sim::CardType card;
    pic::PicChip chip;
    LoaderFamily kind;
    sim::LoaderFamily family;
    uint16_t config;
  };
  for (const Case& c : {Case{sim::CardType::WaferCard, pic::PicChip::PIC16F84,
                             LoaderFamily::Pic16F84, sim::LoaderFamily::Pic16F84, 0x3FF9},
                        Case{sim::CardType::PicCard2, pic::PicChip::PIC16F876,
                             LoaderFamily::Pic16F876, sim::LoaderFamily::Pic16F876, 0x3F39}}) {
    SCOPED_TRACE(pic::PicRow(c.chip).name);
    Card card(c.card, sim::AdapterMode::Pic);
    port::OperationContext ctx = card.Context();
    pic::Erase(ctx, c.chip);
    card.op.Clear();
    WritePicLoader(ctx, c.chip, SimLoader(c.kind, c.family), "10");
    EXPECT_EQ(card.op.Texts(), (Texts{"PIC WRITE LOADER : START", "PIC WRITE LOADER : OK",
                                      "PIC WRITE LOADER : STOP"}));
    EXPECT_EQ(card.Loader(), c.family);
    EXPECT_EQ(pic::ReadConfigWord(ctx, c.chip, 0x3FFF), c.config);
  }
}

}  // namespace
}  // namespace vexilo::extee
