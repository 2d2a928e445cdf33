#include "app/commands.h"

#include <gtest/gtest.h>

#include "command_bench.h"

namespace vexilo::app {
namespace {

using testing::Bench;
using testing::Texts;

TEST(AvrCommands, EraseAnsweredNoSendsNothing) {
  Bench bench("fun");
  bench.op.answer = false;
  CommandResult result = bench.Run(Command::Erase);
  EXPECT_TRUE(result.ran);
  EXPECT_FALSE(result.failed);
  EXPECT_EQ(bench.op.questions, (Texts{"Czy napewno chcesz wykasować FLASH ?"}));
  EXPECT_EQ(bench.backend->comm.bytes, 0);
  EXPECT_EQ(bench.backend->io.writes, 0);
  EXPECT_EQ(bench.op.sessionsOpened, 0);
  EXPECT_TRUE(bench.op.lines.empty());

  bench.op.answer = true;
  bench.Region("flash")[0] = 0x12;
  EXPECT_FALSE(bench.Run(Command::Erase).failed);
  EXPECT_TRUE(bench.op.Has("ATMEL ERASE : START"));
  EXPECT_EQ(bench.Region("flash")[0], 0xFF);
}

TEST(AvrCommands, ProgramFlashIsOneBurstOneSessionAndNoErase) {
  Bench bench("fun");
  bench.Fill();
  CommandResult result = bench.Run(Command::ProgramFlash);
  EXPECT_TRUE(result.ran);
  EXPECT_FALSE(result.failed) << ::testing::PrintToString(bench.op.errors);
  EXPECT_EQ(bench.backend->comm.bytes, 5 * (2 + 40));
  EXPECT_EQ(bench.op.sessionsOpened, 1);
  EXPECT_FALSE(bench.op.busy) << "the session is closed";
  const Texts& lines = bench.op.lines;
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[1], "ATMEL SPI : ON");
  EXPECT_EQ(lines[2], "ATMEL SIGNATURE : 1E 93 01 (AT90S8515)");
  EXPECT_EQ(lines[3], "ATMEL WRITE FLASH : START");
  EXPECT_EQ(lines.back(), "ATMEL SPI : OFF");
  EXPECT_FALSE(bench.op.HasPrefix("ATMEL ERASE"));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "ATMEL SPI : ON"), 1);
}

// Program, verify and read back both internal memories on every AVR card type.
TEST(AvrCommands, EveryAvrCardProgramsVerifiesAndReadsBack) {
  for (const char* card : {"fun", "neoo", "atmega", "black"}) {
    SCOPED_TRACE(card);
    Bench bench(card);
    bench.Fill();
    const image::MemoryImage flash = bench.ws.flash;
    const image::MemoryImage eeprom = bench.ws.eepromInt;
    EXPECT_FALSE(bench.Run(Command::ProgramFlashEepromInt).failed)
        << ::testing::PrintToString(bench.op.errors);
    EXPECT_EQ(bench.op.lines.back(), "ATMEL WRITE : OK");
    EXPECT_TRUE(bench.op.Has("ATMEL ERASE : START"));
    EXPECT_TRUE(bench.op.Has("ATMEL WRITE CONFIG BIT : START"));
    EXPECT_FALSE(bench.Run(Command::VerifyFlashEepromInt).failed);
    EXPECT_TRUE(bench.op.Has("ATMEL VERYFI FLASH : OK"));
    EXPECT_TRUE(bench.op.Has("ATMEL VERYFI EEPROM INT : OK"));

    bench.ws.SetCardTypeText(bench.ws.CardTypeText());  // blank images
    EXPECT_FALSE(bench.Run(Command::ReadFlashEepromInt).failed);
    EXPECT_EQ(bench.ws.flash, flash);
    EXPECT_EQ(bench.ws.eepromInt, eeprom);
  }
}

TEST(AvrCommands, ProgrammingWithoutLoaderStopsAtTheFirstFailingStep) {
  sim::SimFaults faults;
  faults.chip.stuck = sim::ChipFaults::StuckBit{0x20, 3, false};
  Bench bench("atmega", faults);
  bench.Fill();
  bench.ws.flash.SetCell(0x10, 0xFFFF);
  CommandResult result = bench.Run(Command::ProgramFlashEepromInt);
  EXPECT_TRUE(result.failed);
  EXPECT_TRUE(bench.op.Has("ATMEL WRITE EEPROM INT : OK"));
  EXPECT_TRUE(bench.op.HasPrefix("ATMEL WRITE FLASH : ERROR ADR"));
  EXPECT_FALSE(bench.op.Has("ATMEL WRITE CONFIG BIT : START"));
  const Texts& lines = bench.op.lines;
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "ATMEL SPI : OFF");
  EXPECT_EQ(bench.op.errors.back(), "ATMEL WRITE : ERROR");
  EXPECT_EQ(lines.back(), "ATMEL WRITE : ERROR");
}

TEST(AvrCommands, NoCardEndsEveryFrameAfterProgrammingModeFails) {
  sim::SimFaults faults;
  faults.noCard = true;
  Bench bench("fun", faults);
  CommandResult result = bench.Run(Command::ProgramFlashEepromInt);
  EXPECT_TRUE(result.failed);
  EXPECT_EQ(bench.op.errors, (Texts{"ATMEL SPI : ERROR"}));
  EXPECT_FALSE(bench.op.HasPrefix("ATMEL WRITE"));
  EXPECT_FALSE(bench.op.busy);
  EXPECT_FALSE(bench.rig->Session().IsOpen());
}

TEST(AvrCommands, ConfigBitCommandsLeaveProgrammingModeOn) {
  Bench bench("black");
  EXPECT_FALSE(bench.Run(Command::SetBits).failed);
  EXPECT_TRUE(bench.op.Has("ATMEL SPI : ON"));
  EXPECT_TRUE(bench.op.Has("ATMEL WRITE CONFIG BIT : STOP"));
  EXPECT_FALSE(bench.op.Has("ATMEL SPI : OFF"));
  EXPECT_FALSE(bench.rig->Session().IsOpen());

  // The dialog's boxes change, then reading the chip gives them back.
  avr::FuseDialog written = bench.ws.fuse128;
  bench.ws.fuse128 = avr::FuseDialog::ForChip(avr::AvrChip::ATmega128);
  const avr::FuseBox& first = bench.ws.fuse128.Boxes().front();
  bench.ws.fuse128.SetChecked(first.component, !bench.ws.fuse128.Checked(first.component));
  bench.op.lines.clear();
  EXPECT_FALSE(bench.Run(Command::ReadConfig).failed);
  EXPECT_FALSE(bench.op.Has("ATMEL SPI : OFF"));
  for (const avr::FuseBox& box : written.Boxes()) {
    EXPECT_EQ(bench.ws.fuse128.Checked(box.component), written.Checked(box.component))
        << box.component;
  }

  Bench fun("fun");
  EXPECT_FALSE(fun.Run(Command::ReadConfig).ran) << "the Fun Card has no configuration to read";
}

TEST(AvrCommands, ATextThatNamesNoCardTypeRunsNothing) {
  Bench bench("fun");
  bench.ws.SetCardTypeText("Fun Card");
  for (Command command : {Command::ReadFlash, Command::ProgramFlash, Command::VerifyFlash,
                          Command::Erase, Command::SetBits, Command::ProgramFlashEepromInt}) {
    EXPECT_FALSE(bench.Run(command).ran);
  }
  EXPECT_EQ(bench.backend->comm.bytes, 0);
  EXPECT_EQ(bench.backend->io.writes, 0);
  EXPECT_TRUE(bench.op.lines.empty());
  EXPECT_TRUE(bench.op.questions.empty());
}

TEST(AvrCommands, WithoutAutoModeThePersonIsAskedToSwitchOnce) {
  Bench bench("neoo", {}, /*autoMode=*/false);
  bench.ws.texts[30] = "Switch to AVR";
  EXPECT_FALSE(bench.Run(Command::ReadFlash).failed);
  EXPECT_EQ(bench.op.infos, (Texts{"Switch to AVR"}));
  EXPECT_EQ(bench.backend->comm.bytes, 0);
  EXPECT_TRUE(bench.op.Has("ATMEL READ FLASH : STOP"));
}

TEST(AvrCommands, APortThatCouldNotBeSetUpDrivesNoLine) {
  Bench bench("fun");
  bench.backend->refuse = true;
  const int burstWrites = 0;
  CommandResult result = bench.Run(Command::ProgramFlash);
  EXPECT_TRUE(result.failed);
  EXPECT_EQ(bench.backend->io.writes, burstWrites);
  EXPECT_FALSE(bench.op.HasPrefix("ATMEL SPI : TX"));
  ASSERT_EQ(bench.op.errors.size(), 1u);
  EXPECT_EQ(bench.op.errors[0].rfind("ATMEL SPI : ERROR", 0), 0u);
}

TEST(AvrCommands, ABadDelayStopsTheCommandBeforeTheChipIsErased) {
  Bench bench("fun");
  bench.ws.settings.avrDelay = "5x";
  CommandResult result = bench.Run(Command::ProgramFlashEepromInt);
  EXPECT_TRUE(result.failed);
  ASSERT_EQ(bench.op.messages.size(), 1u);
  EXPECT_EQ(bench.op.messages[0], "Setup: [AVR] Delay: '5x' is not a number");
  EXPECT_TRUE(bench.op.lines.empty()) << "nothing is sent, the card keeps its program";
  EXPECT_FALSE(bench.rig->Session().IsOpen());
}

TEST(AvrCommands, AStopLeftFromAnEarlierCommandDoesNotCarryOver) {
  Bench bench("fun");
  bench.op.stop = true;
  EXPECT_FALSE(bench.Run(Command::ReadFlash).failed);
  EXPECT_FALSE(bench.op.Has("ATMEL READ FLASH : STOPPED"));
}

TEST(PicCommands, EveryPicCardProgramsVerifiesAndReadsBack) {
  for (const char* card : {"wafer", "pic2"}) {
    SCOPED_TRACE(card);
    Bench bench(card);
    for (uint32_t w = 0; w < bench.ws.flash.Cells(); w += 5) bench.ws.flash.SetCell(w, w & 0x3FFF);
    for (uint32_t b = 0; b < bench.ws.eepromInt.Cells(); ++b) bench.ws.eepromInt.SetCell(b, b);
    bench.ws.options.pic.comboBox1 = bench.ws.options.pic2.comboBox2 = "XT";
    // On the PIC16F876 the CPD bit is set by its box: unchecked protects the data EEPROM.
    bench.ws.options.pic2.checkBox10 = true;
    const image::MemoryImage flash = bench.ws.flash;
    const image::MemoryImage eeprom = bench.ws.eepromInt;
    EXPECT_FALSE(bench.Run(Command::ProgramFlashEepromInt).failed)
        << ::testing::PrintToString(bench.op.errors);
    EXPECT_EQ(bench.op.lines.back(), "PIC WRITE : OK");
    EXPECT_FALSE(bench.Run(Command::VerifyFlashEepromInt).failed);

    bench.ws.SetCardTypeText(bench.ws.CardTypeText());
    bench.ws.options = {};
    EXPECT_FALSE(bench.Run(Command::ReadFlashEepromInt).failed);
    EXPECT_EQ(bench.ws.flash, flash);
    EXPECT_EQ(bench.ws.eepromInt, eeprom);
    EXPECT_EQ(std::string(card) == "wafer" ? bench.ws.options.pic.comboBox1
                                           : bench.ws.options.pic2.comboBox2,
              "XT")
        << "the complete read brings the configuration word back into the panel";
  }
}

TEST(PicCommands, TheCompleteReadTakesTheConfigurationInASecondSessionWithoutABurst) {
  Bench bench("wafer");
  EXPECT_FALSE(bench.Run(Command::ReadFlashEepromInt).failed);
  EXPECT_EQ(bench.backend->comm.bytes, 5 * (2 + 50)) << "one PIC mode burst";
  EXPECT_EQ(bench.op.sessionsOpened, 2);
  EXPECT_EQ(bench.op.lines.back(), "PIC READ CONFIG BIT : STOP");

  Bench erase("pic2");
  EXPECT_TRUE(erase.Run(Command::Erase).failed) << "the adapter is still in Phoenix mode";
  EXPECT_EQ(erase.op.errors.back().rfind("PIC DEVICE ID : ERROR", 0), 0u)
      << "nothing answers: the chip check refuses before anything is sent";
  erase.backend->Sim().SetModeByHand(sim::AdapterMode::Pic);
  erase.op.lines.clear();
  EXPECT_FALSE(erase.Run(Command::Erase).failed);
  EXPECT_FALSE(erase.Run(Command::ReadConfig).failed);
  EXPECT_EQ(erase.backend->comm.bytes, 0) << "erase and the configuration read send no burst";
  EXPECT_EQ(erase.op.lines.front(), "PIC DEVICE ID : 09E0 (PIC16F876 rev. 0)");
  EXPECT_EQ(erase.op.lines[1], "PIC ERASE FLASH : START");
}

TEST(PicCommands, ProgrammingStopsAtTheFirstFailingStep) {
  sim::SimFaults faults;
  faults.chip.stuck = sim::ChipFaults::StuckBit{0, 0, false};
  Bench bench("wafer", faults);
  bench.ws.flash.SetCell(0, 0x3FFF);
  CommandResult result = bench.Run(Command::ProgramFlashEepromInt);
  EXPECT_TRUE(result.failed);
  EXPECT_TRUE(bench.op.Has("PIC WRITE EEPROM INT : OK"));
  EXPECT_TRUE(bench.op.Has("PIC WRITE FLASH : ERROR ADR[0000]"));
  EXPECT_FALSE(bench.op.HasPrefix("PIC WRITE CONFIG BIT"));
  EXPECT_EQ(bench.op.errors.back(), "PIC WRITE : ERROR");
  EXPECT_FALSE(bench.rig->Session().IsOpen());
}

TEST(PicCommands, ABadDelayStillTakesTheProgrammingVoltageOff) {
  Bench bench("pic2");
  bench.ws.settings.picDelay = "ten";
  bench.ws.flash.SetCell(0, 0x1234);
  CommandResult result = bench.Run(Command::ProgramFlash);
  EXPECT_TRUE(result.failed);
  ASSERT_EQ(bench.op.messages.size(), 1u);
  EXPECT_FALSE(bench.rig->Session().IsOpen());
}

// Fast write changes no line of a command's log. Without it, a FLASH write of over 30 s is
// followed by one line about the setting; a short one is not.
TEST(FastWriteCommands, TheSettingChangesNoLineButTheHint) {
  struct Case {
    const char* card;
    Command command;
    const char* stopLine;
  };
  for (const Case& c : {Case{"fun", Command::ProgramFlash, "ATMEL WRITE FLASH : STOP"},
                        Case{"pic2", Command::ProgramFlashEepromInt, "PIC WRITE FLASH : STOP"}}) {
    SCOPED_TRACE(c.card);
    Texts logs[2];
    for (const bool fast : {false, true}) {
      Bench bench(c.card);
      for (uint32_t w = 0; w < bench.ws.flash.Cells(); w += 5)
        bench.ws.flash.SetCell(w, w & 0x3FFF);
      bench.ws.options.pic2.checkBox10 = true;  // PIC16F876 data EEPROM unprotected
      bench.ws.settings.fastWrite = fast;
      EXPECT_FALSE(bench.Run(c.command).failed) << ::testing::PrintToString(bench.op.errors);
      logs[fast] = bench.op.lines;
    }
    auto hint = std::find_if(logs[0].begin(), logs[0].end(),
                             [](const std::string& l) { return l.rfind("FAST WRITE : ", 0) == 0; });
    ASSERT_NE(hint, logs[0].end());
    EXPECT_EQ(*(hint - 1), c.stopLine);
    logs[0].erase(hint);
    EXPECT_EQ(logs[1], logs[0]);
  }
  Bench bench("black");
  bench.ws.flash.SetCell(200, 0x1234);
  EXPECT_FALSE(bench.Run(Command::ProgramFlash).failed);
  EXPECT_FALSE(bench.op.HasPrefix("FAST WRITE")) << "a short write gets no hint";
}

TEST(AvrCommands, CommandLineNames) {
  EXPECT_EQ(CommandFromName("program", "flash+eeprom-int"), Command::ProgramFlashEepromInt);
  EXPECT_EQ(CommandFromName("set-bits", ""), Command::SetBits);
  EXPECT_EQ(CommandFromName("read", "options"), std::nullopt);
}

}  // namespace
}  // namespace vexilo::app
