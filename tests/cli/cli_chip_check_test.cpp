// The chip in the reader against the chosen card type: writes are refused, reads warned.
#include "cli_runner.h"

namespace vexilo::cli {
namespace {

using ChipCheck = CliTest;

struct Case {
  std::vector<std::string> setup;  // options and actions before the command
  int write, fuse, read;           // exit status of program flash, set-bits, read flash
  const char* line;                // in the log of every command
};

bool Wrote(const std::string& log) {
  for (const char* start : {"WRITE FLASH : START", "WRITE CONFIG BIT : START"}) {
    // The setup's own writes come before the last programming mode.
    if (log.find(start, log.rfind("SPI : ON")) != std::string::npos) return true;
  }
  return log.find("PIC WRITE") != std::string::npos;
}

TEST_F(ChipCheck, WritesAreRefusedAndReadsWarnedWhenTheChipIsNotTheCards) {
  const std::vector<Case> cases{
      {{"--card", "atmega"}, 0, 0, 0, "ATMEL SIGNATURE : 1E 94 02 (ATmega163)\n"},
      {{"--card", "black", "--sim-chip", "atmega163"},
       1,
       1,
       0,
       "the card holds an ATmega163 (1E 94 02), the Black Card has an ATmega128 (1E 97 02)"},
      {{"--card", "black", "--sim-chip", "atmega163", "--force"}, 0, 0, 0, "holds an ATmega163"},
      {{"--card", "neoo", "--sim-chip", "AT90S8515"}, 1, 1, 0, "holds an AT90S8515 (1E 93 01)"},
      // Lock mode 3 hides the AT90S8515's signature; nobody at a terminal says to go on.
      {{"--card", "fun", "set", "CheckBox1=1", "CheckBox2=1", "set-bits"},
       1,
       1,
       0,
       "the signature reads 00 01 02, a locked AT90S8515 hides it so"},
      {{"--card", "pic2"}, 0, 0, 0, "PIC DEVICE ID : 09E0 (PIC16F876 rev. 0)\n"},
      {{"--card", "wafer", "--sim-chip", "pic16f876"},
       1,
       1,
       0,
       "the card holds a PIC16F876 (device ID 09E0, rev. 0), the Wafer Card has a PIC16F84"},
      {{"--card", "pic2", "--sim-chip", "pic16f84"}, 1, 1, 0, "a PIC with no device ID"},
      {{"--card", "wafer", "--sim-fault", "no-card"},
       1,
       1,
       0,
       "is the card in the reader and the adapter in"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.setup));
    const std::vector<std::pair<std::vector<std::string>, int>> commands{
        {{"program", "flash"}, c.write}, {{"set-bits"}, c.fuse}, {{"read", "flash"}, c.read}};
    for (const auto& [command, status] : commands) {
      std::vector<std::string> args = c.setup;
      args.insert(args.end(), command.begin(), command.end());
      std::filesystem::remove_all(dir.Path("data"));  // a fresh card for every command
      const Result r = Run(args);
      SCOPED_TRACE(r.out);
      EXPECT_EQ(r.status, status) << r.err;
      EXPECT_NE(r.out.find(c.line), std::string::npos);
      if (status == 1) {
        EXPECT_NE(r.out.find(": nothing written"), std::string::npos);
        EXPECT_FALSE(Wrote(r.out));
      }
    }
  }
}

// Detect names the card in the reader whatever card type was chosen, and takes it.
TEST_F(ChipCheck, DetectNamesTheCardInTheReader) {
  struct DetectCase {
    std::vector<std::string> setup;
    int status;
    const char* line;
  };
  const std::vector<DetectCase> cases{
      {{"--card", "black", "--sim-chip", "atmega163"},
       0,
       "DETECT : AVR - an ATmega163 (1E 94 02): ATMega Card - ATMega163 + 24Cx\n"},
      {{"--card", "fun", "--sim-chip", "pic16f84"},
       0,
       ": Wafer Card - 16F84 + 24C16\nDETECT : STOP\ncard type: Wafer Card - 16F84 + 24C16\n"},
      {{"--card", "wafer", "--sim-chip", "pic16f876"},
       0,
       "DETECT : PIC - a PIC16F876 (device ID 09E0, rev. 0): Pic Card 2 - 16F876 + 24Cxx\n"},
      {{"--card", "fun", "--sim-fault", "no-card"},
       1,
       "is the card in the reader and the adapter in the right mode?"},
  };
  for (const DetectCase& c : cases) {
    std::vector<std::string> args = c.setup;
    args.push_back("detect");
    const Result r = Run(args);
    SCOPED_TRACE(r.out);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.out.find(c.line), std::string::npos);
  }
}

}  // namespace
}  // namespace vexilo::cli
