// The external EEPROM commands and the full programming sequences on the simulated cards.
#include <gtest/gtest.h>

#include "command_bench.h"
#include "sim/phoenix/loader_marker.h"
#include "support/temp_dir.h"

namespace vexilo::app {
namespace {

using testing::Bench;
using testing::Texts;

void FillExt(Workspace& ws) {
  for (uint32_t b = 0; b < ws.eepromExt.Cells(); b += 3) ws.eepromExt.SetCell(b, (b * 7) & 0xFF);
}

void FillChip(Workspace& ws) {
  for (uint32_t w = 0; w < 64; ++w) ws.flash.SetCell(w, static_cast<uint16_t>(0x1000 + w));
  ws.eepromInt.SetCell(0, 0x42);
}

TEST(FullProgramming, EveryCardWithAnExternalEepromGetsAllThreeMemories) {
  for (const char* card : {"fun", "neoo", "atmega", "wafer", "pic2"}) {
    SCOPED_TRACE(card);
    test::TempDir dir;
    test::ScopedCurrentDir here(dir.Path());  // no loader folder: the simulator's stands in
    Bench bench(card);
    FillExt(bench.ws);
    FillChip(bench.ws);
    bench.ws.options.pic2.checkBox10 = true;  // PIC16F876 data EEPROM unprotected
    const CommandResult result = bench.Run(Command::ProgramFull);
    EXPECT_FALSE(result.failed) << ::testing::PrintToString(bench.op.errors);
    const bool avr = std::string(card) != "wafer" && std::string(card) != "pic2";
    EXPECT_EQ(bench.op.lines.back(), avr ? "ATMEL WRITE : OK" : "PIC WRITE : OK");

    const std::span<uint8_t> ext = bench.Region("24cxx");
    ASSERT_EQ(ext.size(), bench.ws.eepromExt.Cells());
    for (uint32_t b = 0; b < ext.size(); ++b) {
      ASSERT_EQ(ext[b], bench.ws.eepromExt.Cell(b)) << "24Cxx byte " << b;
    }
    // The loader was only a guest: the chip holds the user's program again.
    bench.op.lines.clear();
    EXPECT_FALSE(bench.Run(Command::VerifyFlashEepromInt).failed)
        << ::testing::PrintToString(bench.op.errors);
  }
}

// Fast write in the full programming: the loader and the chip's memories by pages and polling
// (AVR) or with the programming-only cycle after the erase (PIC16F876), in less time.
TEST(FullProgramming, FastWriteTakesLessTimeForTheSameResult) {
  for (const char* card : {"fun", "neoo", "atmega", "pic2"}) {
    SCOPED_TRACE(card);
    test::TempDir dir;
    test::ScopedCurrentDir here(dir.Path());
    uint64_t took[2] = {};
    for (const bool fast : {false, true}) {
      Bench bench(card);
      FillExt(bench.ws);
      FillChip(bench.ws);
      bench.ws.options.pic2.checkBox10 = true;
      bench.ws.settings.fastWrite = fast;
      EXPECT_FALSE(bench.Run(Command::ProgramFull).failed)
          << ::testing::PrintToString(bench.op.errors);
      took[fast] = bench.backend->Sim().VirtualTime().NowUs();
      EXPECT_FALSE(bench.Run(Command::VerifyFlashEepromInt).failed)
          << ::testing::PrintToString(bench.op.errors);
    }
    EXPECT_LT(took[1], took[0]);
  }
}

TEST(FullProgramming, NoProgrammingModeEndsTheSequenceBeforeThePhoenixBurst) {
  sim::SimFaults faults;
  faults.noCard = true;
  Bench bench("fun", faults);
  const uint64_t start = bench.backend->Sim().VirtualTime().NowUs();
  const CommandResult result = bench.Run(Command::ProgramFull);
  EXPECT_TRUE(result.failed);
  EXPECT_EQ(bench.backend->comm.bytes, 5 * (2 + 40)) << "the AVR burst only";
  EXPECT_EQ(bench.op.sessionsOpened, 1);
  EXPECT_EQ(bench.op.errors, (Texts{"ATMEL SPI : ERROR", "ATMEL WRITE : ERROR"}));
  EXPECT_EQ(bench.op.lines.back(), "ATMEL WRITE : ERROR");
  EXPECT_GE(bench.backend->Sim().VirtualTime().NowUs() - start, 200000u);
}

// A card taken out after the external EEPROM: the chip still holds the loader, and the
// programming mode of the last step fails. That is no success.
TEST(FullProgramming, NoProgrammingModeAfterTheLoaderIsAnError) {
  Bench bench("fun");
  bench.op.onLog = [&](const std::string& line) {
    if (line == "ATMEL WRITE EEPROM EXT : STOP") bench.backend->Sim().SetCardInserted(false);
  };
  EXPECT_TRUE(bench.Run(Command::ProgramFull).failed);
  ASSERT_FALSE(bench.op.lines.empty());
  EXPECT_EQ(bench.op.lines.back(), "ATMEL WRITE : ERROR");
}

TEST(FullProgramming, ALoaderFileThatCannotBeReadEndsTheSequence) {
  test::TempDir dir;
  test::ScopedCurrentDir here(dir.Path());
  dir.Write("loader/loader_pic16f84.hex", ":020000000528D2\r\n");  // bad checksum
  Bench bench("wafer");
  const CommandResult result = bench.Run(Command::ProgramFull);
  EXPECT_TRUE(result.failed);
  ASSERT_EQ(bench.op.errors.size(), 2u) << ::testing::PrintToString(bench.op.errors);
  EXPECT_NE(bench.op.errors[0].find("loader/loader_pic16f84.hex:1:"), std::string::npos)
      << bench.op.errors[0];
  EXPECT_EQ(bench.op.errors[1], "PIC WRITE : ERROR");
  EXPECT_EQ(bench.op.sessionsOpened, 1) << "no Phoenix session, no second programming";
}

// The card loader is put into the chip as its program, as a person with the loader file does
// with "Programuj FLASH"; then the three external EEPROM commands work through it.
TEST(ExtEepromCommands, WriteVerifyAndReadThroughTheLoaderInTheChip) {
  for (const char* card : {"neoo", "wafer"}) {
    SCOPED_TRACE(card);
    Bench bench(card);
    const bool pic = std::string(card) == "wafer";
    const std::vector<uint8_t> loader =
        sim::MakeSimLoaderImage(pic ? sim::LoaderFamily::Pic16F84 : sim::LoaderFamily::Avr);
    for (size_t i = 0; i < loader.size() && i < bench.ws.flash.SizeBytes(); ++i) {
      bench.ws.flash.SetByte(static_cast<uint32_t>(i), loader[i]);
    }
    // The PIC erase sends no burst: the adapter is switched by hand.
    bench.backend->Sim().SetModeByHand(pic ? sim::AdapterMode::Pic : sim::AdapterMode::Avr);
    ASSERT_FALSE(bench.Run(Command::Erase).failed);
    ASSERT_FALSE(bench.Run(Command::ProgramFlash).failed);
    // A PIC runs the loader on the card's clock only with a crystal oscillator setting.
    bench.ws.options.pic.comboBox1 = "XT";
    ASSERT_FALSE(bench.Run(Command::SetBits).failed);

    FillExt(bench.ws);
    const image::MemoryImage written = bench.ws.eepromExt;
    EXPECT_FALSE(bench.Run(Command::ProgramEepromExt).failed)
        << ::testing::PrintToString(bench.op.errors);
    EXPECT_FALSE(bench.Run(Command::VerifyEepromExt).failed);
    bench.ws.SetupEepromExtImage();
    EXPECT_FALSE(bench.Run(Command::ReadEepromExt).failed);
    EXPECT_EQ(bench.ws.eepromExt, written);
    EXPECT_EQ(bench.op.questions.size(), 4u) << "erase, then text 28 three times";
  }
}

TEST(ExtEepromCommands, WithoutTheLoaderTheCardDoesNotAnswer) {
  Bench bench("fun");
  FillExt(bench.ws);
  const image::MemoryImage kept = bench.ws.eepromExt;
  EXPECT_TRUE(bench.Run(Command::ReadEepromExt).failed);
  EXPECT_TRUE(bench.op.HasPrefix("ATMEL READ EEPROM EXT"));
  EXPECT_EQ(bench.ws.eepromExt, kept) << "a failed read leaves the image";
}

TEST(ExtEepromCommands, AnsweredNoNothingIsSent) {
  Bench bench("pic2");
  bench.op.answer = false;
  const CommandResult result = bench.Run(Command::ProgramEepromExt);
  EXPECT_TRUE(result.ran);
  EXPECT_FALSE(result.failed);
  EXPECT_EQ(bench.op.questions.size(), 1u);
  EXPECT_EQ(bench.backend->comm.bytes, 0);
  EXPECT_EQ(bench.op.sessionsOpened, 0);
  EXPECT_EQ(bench.backend->io.writes, 0);
}

TEST(ExtEepromCommands, TheBlackCardHasNone) {
  Bench bench("black");
  for (Command c : {Command::ReadEepromExt, Command::ProgramEepromExt, Command::VerifyEepromExt,
                    Command::ProgramFull}) {
    EXPECT_FALSE(bench.Run(c).ran);
  }
  EXPECT_EQ(bench.backend->comm.bytes, 0);
}

}  // namespace
}  // namespace vexilo::app
