#include "app/commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "app/rig.h"
#include "app/workspace.h"
#include "port/port_io.h"
#include "sim/sim_backend.h"

namespace vexilo::app {
namespace {

using Texts = std::vector<std::string>;

class ScriptedOperator final : public port::Operator {
 public:
  void Log(const std::string& line) override { lines.push_back(line); }
  void LogError(const std::string& line) override {
    lines.push_back(line);
    errors.push_back(line);
  }
  void SetProgress(uint32_t, uint32_t) override {}
  void SetAddress(const std::string&) override {}
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    return answer;
  }
  void ShowInfo(const std::string& text) override { infos.push_back(text); }
  bool StopRequested() const override { return stop; }
  void ClearStopRequest() override { stop = false; }
  void SetStatusPanel(int, const std::string&) override {}
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void SetBusy(bool busy) override {
    sessionsOpened += busy ? 1 : 0;
    this->busy = busy;
  }

  bool Has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  bool HasPrefix(const std::string& prefix) const {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }

  Texts lines, errors, questions, infos, messages;
  bool answer = true;
  bool stop = false;
  bool busy = false;
  int sessionsOpened = 0;
};

// Counts what reaches the COM device and the port registers, and can refuse the port as a
// machine without I/O permission does.
class CountingComm final : public port::CommPort {
 public:
  explicit CountingComm(port::CommPort& inner) : inner_(inner) {}
  bool CommConnect() override { return inner_.CommConnect(); }
  void CommDisconnect() override { inner_.CommDisconnect(); }
  bool CommConnected() const override { return inner_.CommConnected(); }
  void CommSetPortName(const std::string& name) override { inner_.CommSetPortName(name); }
  std::string PortName() const override { return inner_.PortName(); }
  bool CommSendByte(uint8_t value) override {
    ++bytes;
    return inner_.CommSendByte(value);
  }
  int bytes = 0;

 private:
  port::CommPort& inner_;
};

class CountingIo final : public port::PortIo {
 public:
  explicit CountingIo(port::PortIo& inner) : inner_(inner) {}
  uint8_t In(uint16_t port) override { return inner_.In(port); }
  void Out(uint16_t port, uint8_t value) override {
    ++writes;
    inner_.Out(port, value);
  }
  int writes = 0;

 private:
  port::PortIo& inner_;
};

class WatchedBackend final : public port::PortBackend {
 public:
  explicit WatchedBackend(std::unique_ptr<sim::SimBackend> sim)
      : sim_(std::move(sim)), comm(sim_->Comm()), io(sim_->Io()) {}
  port::PortIo& Io() override { return io; }
  port::CommPort& Comm() override { return comm; }
  port::IoPermission& Permission() override { return sim_->Permission(); }
  port::Clock& Time() override { return sim_->Time(); }
  port::SessionMode Mode() const override { return sim_->Mode(); }
  std::string SystemLine() const override { return sim_->SystemLine(); }
  std::string DeviceForCom(int index) const override { return sim_->DeviceForCom(index); }
  bool BeginSession(uint16_t base) override { return refuse ? false : sim_->BeginSession(base); }
  void EndSession() override { sim_->EndSession(); }

  sim::SimBackend& Sim() { return *sim_; }

 private:
  std::unique_ptr<sim::SimBackend> sim_;

 public:
  CountingComm comm;
  CountingIo io;
  bool refuse = false;
};

sim::CardType SimCardOf(const std::string& name) {
  if (name == "fun") return sim::CardType::FunCard;
  if (name == "neoo") return sim::CardType::NeooCard;
  if (name == "atmega") return sim::CardType::AtmegaCard;
  if (name == "wafer") return sim::CardType::WaferCard;
  if (name == "pic2") return sim::CardType::PicCard2;
  return sim::CardType::BlackCard;
}

// A workspace for one card type and a rig with that card in a simulated adapter.
struct Bench {
  explicit Bench(const std::string& card, sim::SimFaults faults = {}, bool autoMode = true) {
    ws.SetCardTypeText(std::string(FindCardTypeByName(card)->text));
    ws.settings.autoMode = autoMode;
    ws.settings.avrDelay = "20";  // the ATmega163 page write takes 15 ms
    sim::SimOptions options;
    options.card = SimCardOf(card);
    options.faults = faults;
    auto simulator = std::make_unique<sim::SimBackend>(options);
    auto watched = std::make_unique<WatchedBackend>(std::move(simulator));
    backend = watched.get();
    rig = std::make_unique<Rig>(std::move(watched), &backend->Sim(), ws, op);
  }

  CommandResult Run(Command command) { return RunCommand(command, ws, *rig, op); }
  std::span<uint8_t> Region(const std::string& name) {
    for (const sim::MemoryRegion& region : backend->Sim().Card().Chip().Regions()) {
      if (region.name == name) return region.bytes;
    }
    throw std::invalid_argument(name);
  }
  void Fill() {
    for (uint32_t w = 0; w < ws.flash.Cells(); w += 97) ws.flash.SetCell(w, (w * 7919u) & 0xFFFF);
    for (uint32_t b = 0; b < ws.eepromInt.Cells(); b += 5) ws.eepromInt.SetCell(b, b & 0xFF);
  }

  Workspace ws;
  ScriptedOperator op;
  WatchedBackend* backend = nullptr;
  std::unique_ptr<Rig> rig;
};

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
  EXPECT_EQ(lines[2], "ATMEL WRITE FLASH : START");
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

TEST(AvrCommands, ABadDelayStillLeavesProgrammingModeAndClosesTheSession) {
  Bench bench("fun");
  bench.ws.settings.avrDelay = "5x";
  CommandResult result = bench.Run(Command::ProgramFlashEepromInt);
  EXPECT_TRUE(result.failed);
  ASSERT_EQ(bench.op.messages.size(), 1u);
  EXPECT_NE(bench.op.messages[0].find("5x"), std::string::npos) << bench.op.messages[0];
  EXPECT_EQ(bench.op.lines.back(), "ATMEL SPI : OFF");
  EXPECT_FALSE(bench.rig->Session().IsOpen());
  EXPECT_FALSE(bench.op.busy);
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
  EXPECT_FALSE(erase.Run(Command::Erase).failed);
  EXPECT_FALSE(erase.Run(Command::ReadConfig).failed);
  EXPECT_EQ(erase.backend->comm.bytes, 0) << "erase and the configuration read send no burst";
  EXPECT_EQ(erase.op.lines.front(), "PIC ERASE FLASH : START");
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

TEST(AvrCommands, CommandLineNames) {
  EXPECT_EQ(CommandFromName("program", "flash+eeprom-int"), Command::ProgramFlashEepromInt);
  EXPECT_EQ(CommandFromName("set-bits", ""), Command::SetBits);
  EXPECT_EQ(CommandFromName("read", "options"), std::nullopt);
}

}  // namespace
}  // namespace vexilo::app
