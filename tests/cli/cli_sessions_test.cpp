// Whole vexilo-cli sessions on the simulated adapter, compared line by line with the log the
// window would show.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "cli_runner.h"

namespace vexilo::cli {
namespace {

std::string Example(const std::string& name) {
  const char* root = std::getenv("VEXILO_SOURCE_DIR");
  return std::string(root ? root : ".") + "/examples/" + name;
}

class CliSession : public CliTest {
 protected:
  void SetUp() override { dir.Write("config.cfg", "[Auto mode]\r\nmode=1\r\n"); }
};

constexpr char kSpiOn[] = "ATMEL SPI : TX[00] -> ACK = 53\nATMEL SPI : ON\n";
// Programming mode and, once per command, the chip's signature.
std::string SpiOn(const char* signature) {
  return std::string(kSpiOn) + "ATMEL SIGNATURE : " + signature + "\n";
}
constexpr char kAt90s[] = "1E 93 01 (AT90S8515)";

TEST_F(CliSession, ProgramAndVerifyTheExampleOnAFunCard) {
  Result r = Run({"--card", "fun", "load", "flash", Example("fun_card_demo.hex"), "program",
                  "flash", "verify", "flash"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, SpiOn(kAt90s) +
                       "ATMEL WRITE FLASH : START\n"
                       "ATMEL WRITE FLASH : LEN[0023]\n"
                       "ATMEL WRITE FLASH : OK\n"
                       "ATMEL WRITE FLASH : STOP\n"
                       "ATMEL SPI : OFF\n" +
                       SpiOn(kAt90s) +
                       "ATMEL VERYFI FLASH : START\n"
                       "ATMEL VERYFI FLASH : OK\n"
                       "ATMEL VERYFI FLASH : STOP\n"
                       "ATMEL SPI : OFF\n");
  EXPECT_NE(r.err.find("simulated hardware time"), std::string::npos);
}

// --fast-write changes the time the hardware takes, not the log.
TEST_F(CliSession, FastWriteGivesTheSameLogInLessTime) {
  for (const char* card : {"fun", "neoo"}) {
    SCOPED_TRACE(card);
    Result runs[2];
    double seconds[2] = {};
    for (const bool fast : {false, true}) {
      std::vector<std::string> args{
          "--card",  card,    "load",   "flash", Example("fun_card_demo.hex"),
          "program", "flash", "verify", "flash"};
      if (fast) args.insert(args.begin(), "--fast-write");
      runs[fast] = Run(args);
      EXPECT_EQ(runs[fast].status, 0) << runs[fast].err;
      const size_t time = runs[fast].err.find("simulated hardware time ");
      ASSERT_NE(time, std::string::npos);
      seconds[fast] = std::stod(runs[fast].err.substr(time + 24));
    }
    EXPECT_EQ(runs[1].out, runs[0].out);
    EXPECT_LT(seconds[1], seconds[0]);
  }
}

TEST_F(CliSession, NoCardFailsWithOneRedLine) {
  Result r = Run({"--card", "black", "--sim-fault", "no-card", "read", "flash", "show", "flash"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "ATMEL SPI : ERROR\n") << "the run ends at the failed action";
}

TEST_F(CliSession, AStuckBitIsFoundAtItsAddress) {
  std::string state = dir.Path("card.state");
  Result r = Run({"--card", "fun", "--sim-state", state, "load", "flash",
                  Example("fun_card_demo.hex"), "program", "flash"});
  ASSERT_EQ(r.status, 0) << r.err;
  // Bit 0 of byte 6 (word 3, low byte 0x09 in the example) stuck at 0 from now on.
  r = Run({"--card", "fun", "--sim-state", state, "--sim-fault", "stuck-bit=6:0", "load", "flash",
           Example("fun_card_demo.hex"), "verify", "flash"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, SpiOn(kAt90s) +
                       "ATMEL VERYFI FLASH : START\n"
                       "ATMEL VERYFI FLASH : ERROR ADR[0003]\n"
                       "ATMEL VERYFI FLASH : STOP\n"
                       "ATMEL SPI : OFF\n");
}

TEST_F(CliSession, TheCardKeepsItsMemoriesInTheStateFile) {
  std::string state = dir.Path("card.state");
  std::string eeprom = dir.Write("e.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
  ASSERT_EQ(Run({"--card", "neoo", "--sim-state", state, "load", "eeprom-int", eeprom, "program",
                 "eeprom-int"})
                .status,
            0);
  // What a save killed midway leaves beside the file, and a file of another name.
  const std::string stale = dir.Write("card.state.Ab12Cd", "half a state");
  std::filesystem::last_write_time(
      stale, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  const std::string other = dir.Write("card.state.keep", "");
  struct stat before {};
  ASSERT_EQ(stat(state.c_str(), &before), 0);
  Result r =
      Run({"--card", "neoo", "--sim-state", state, "read", "eeprom-int", "show", "eeprom-int"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n0000\t01\t02\t03\t04\tFF\t"), std::string::npos) << r.out;
  struct stat after {};
  ASSERT_EQ(stat(state.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "a run that changed nothing does not save";
  ASSERT_EQ(Run({"--card", "neoo", "--sim-state", state, "--yes", "erase"}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(stale)) << "removed by the next save";
  EXPECT_TRUE(std::filesystem::exists(other));
  EXPECT_EQ(Run({"--card", "black", "--sim-state", state, "read", "flash"}).status, 1)
      << "a state file of another card is refused";
}

TEST_F(CliSession, EraseAsksFirst) {
  Result no = Run({"--card", "atmega", "erase"});
  EXPECT_EQ(no.status, 1) << "a command that did not run is no success";
  EXPECT_EQ(no.out, "");
  EXPECT_NE(no.err.find("Czy napewno chcesz wykasować FLASH ? no (no terminal"), std::string::npos)
      << no.err;

  Result yes = Run({"--card", "atmega", "--yes", "erase"});
  EXPECT_EQ(yes.status, 0);
  EXPECT_EQ(yes.out, SpiOn("1E 94 02 (ATmega163)") +
                         "ATMEL ERASE : START\n"
                         "ATMEL ERASE : STOP\n"
                         "ATMEL SPI : OFF\n");
}

TEST_F(CliSession, FuseBoxesGoToTheChipAndComeBack) {
  Result r = Run({"--card", "neoo", "set", "cksel0=0", "set-bits", "set", "cksel0=1", "read",
                  "config", "show", "options"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find("CheckBox1=")), SpiOn("1E 93 06 (ATmega8515)") +
                                                           "ATMEL WRITE CONFIG BIT : START\n"
                                                           "Fuse High Byte = C9\n"
                                                           "Fuse Low Byte = EF\n"
                                                           "Fuse Lock Bit Byte = 3F\n"
                                                           "ATMEL WRITE CONFIG BIT : STOP\n" +
                                                           SpiOn("1E 93 06 (ATmega8515)") +
                                                           "ATMEL READ CONFIG BIT : START\n"
                                                           "Fuse High Byte = C9\n"
                                                           "Fuse Low Byte = EF\n"
                                                           "Fuse Lock Bit Byte = FF\n"
                                                           "ATMEL READ CONFIG BIT : STOP\n");
  EXPECT_NE(r.out.find("\ncksel0=0\n"), std::string::npos) << "the read sets the box again";
  EXPECT_EQ(Run({"--card", "neoo", "set", "cksel0=2"}).status, 1);
  EXPECT_EQ(Run({"--card", "neoo", "set", "nosuch=1"}).status, 1);
}

TEST_F(CliSession, ProgrammingWithoutLoaderOnEveryAvrCard) {
  for (const char* card : {"fun", "neoo", "atmega", "black"}) {
    SCOPED_TRACE(card);
    dir.Write("config.cfg", "[Auto mode]\r\nmode=1\r\n[AVR]\r\nDelay=20\r\n");
    Result r = Run({"--card", card, "load", "flash", Example("fun_card_demo.hex"), "program",
                    "flash+eeprom-int", "verify", "flash"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("ATMEL WRITE : OK\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ATMEL VERYFI FLASH : OK\n"), std::string::npos);
  }
}

TEST_F(CliSession, WithoutAutoModeThePersonIsAskedToSwitch) {
  dir.Write("config.cfg", "[Auto mode]\r\nmode=0\r\n");
  Result r = Run({"--card", "fun", "read", "eeprom-int"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("AVR"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("ATMEL READ EEPROM INT : STOP"), std::string::npos);
}

TEST_F(CliSession, APicCardTakesItsConfigurationWordFromTheOptions) {
  std::string hex = dir.Write("w.hex", ":020000000528D1\r\n:00000001FF\r\n");
  Result r =
      Run({"--card", "wafer", "load", "flash", hex, "set", "ComboBox1=XT", "CheckBox4=1", "program",
           "flash", "set-bits", "set", "ComboBox1=LP", "read", "config", "show", "options"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "PIC WRITE FLASH : START\n"
            "PIC WRITE FLASH : OK\n"
            "PIC WRITE FLASH : STOP\n"
            "PIC WRITE CONFIG BIT : START\n"
            "ConfigWord : 3FF5\n"
            "PIC WRITE CONFIG BIT : STOP\n"
            "PIC READ CONFIG BIT : START\n"
            "ConfigWord : 3FF5\n"
            "PIC READ CONFIG BIT : STOP\n"
            "ComboBox1=XT\nCheckBox3=1\nCheckBox4=1\nCheckBox5=0\n");
}

TEST_F(CliSession, AdapterTestActions) {
  Result r = Run({"--card", "fun", "port", "open", "line", "tx", "on", "cts", "port", "close"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Port[3F8]:Open\n0\n");
  EXPECT_EQ(Run({"--card", "fun", "cts"}).status, 1) << "no session is open";
  EXPECT_EQ(Run({"--card", "fun", "--port", "sim", "--com", "2", "burst", "avr"}).status, 0);
}

}  // namespace
}  // namespace vexilo::cli

namespace vexilo::cli {
namespace {

// The adapter keeps the mode of its last burst, also between runs: the PIC erase, which sends
// no burst, reaches the chip when it is the first command of a run.
TEST_F(CliSession, TheAdapterKeepsItsModeBetweenRuns) {
  const std::string state = dir.Path("wafer.state");
  const std::string hex = dir.Write("w.hex", ":020000000528D1\r\n:00000001FF\r\n");
  ASSERT_EQ(Run({"--card", "wafer", "--sim-state", state, "load", "flash", hex, "program", "flash"})
                .status,
            0);
  EXPECT_NE(dir.Read("wafer.state").find("\nadapter pic\n"), std::string::npos);
  Result erase = Run({"--card", "wafer", "--sim-state", state, "--yes", "erase"});
  ASSERT_EQ(erase.status, 0) << erase.err;
  EXPECT_EQ(erase.out.find("is the card in the reader"), std::string::npos) << erase.out;
  Result read = Run({"--card", "wafer", "--sim-state", state, "read", "flash", "show", "flash"});
  EXPECT_NE(read.out.find("\n0000\t3FFF\t3FFF"), std::string::npos) << read.out;
}

}  // namespace
}  // namespace vexilo::cli
