// What a script sees when something goes wrong: the exit status and the message, for every
// way a run can fail or take bad input.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "cli_runner.h"
#include "image/intel_hex.h"

namespace vexilo::cli {
namespace {

namespace fs = std::filesystem;

struct FailureCase {
  const char* name;
  // Prepares the folder and gives the command line.
  std::function<std::vector<std::string>(test::TempDir&)> setUp;
  int status;
  std::string message;  // expected in stderr
  // Further checks on the folder after the run.
  std::function<void(test::TempDir&, const Result&)> check = {};
};

std::string Hex(uint16_t address, std::vector<uint8_t> data) {
  return image::MakeHexRecord(address, image::kHexData, data) + "\r\n";
}

const std::vector<FailureCase>& Cases() {
  static const std::vector<FailureCase> kCases{
      {"an unknown card type lists the known ones",
       [](test::TempDir&) {
         return std::vector<std::string>{"--card", "funny", "erase"};
       },
       2, "--card funny: no such card type (one of fun, wafer, pic2, black, atmega, neoo"},
      {"bytes past the image's end change nothing",
       [](test::TempDir&) {
         return std::vector<std::string>{"--card", "fun", "set-bytes", "eeprom-int", "1FF=0102"};
       },
       1, "set-bytes eeprom-int: 2 bytes at 01FF run past the image's end"},
      {"a PIC FLASH word wider than 14 bits",
       [](test::TempDir&) {
         return std::vector<std::string>{"--card",   "wafer",     "fill",  "flash",
                                         "0-3FF=00", "set-bytes", "flash", "10=FF40"};
       },
       1, "set-bytes flash: the word at 0010 would be wider than 14 bits"},
      {"erase answered No by a script",
       [](test::TempDir&) {
         return std::vector<std::string>{"--card", "atmega", "erase"};
       },
       1, "erase: not done: the question was answered No (give --yes"},
      {"external EEPROM read not asked, nothing saved",
       [](test::TempDir& d) {
         return std::vector<std::string>{"--card", "fun",        "read",           "eeprom-ext",
                                         "save",   "eeprom-ext", d.Path("out.hex")};
       },
       1, "read eeprom-ext: not done: the question was answered No",
       [](test::TempDir& d, const Result&) { EXPECT_FALSE(fs::exists(d.Path("out.hex"))); }},
      {"verify eeprom-ext not asked",
       [](test::TempDir&) {
         return std::vector<std::string>{"--card", "wafer", "verify", "eeprom-ext"};
       },
       1, "verify eeprom-ext: not done"},
      {"a folder given as an image file",
       [](test::TempDir& d) {
         return std::vector<std::string>{"--card", "fun", "load", "flash", d.Path()};
       },
       1, ": not a regular file (a folder)"},
      {"a device given as an image file",
       [](test::TempDir&) {
         return std::vector<std::string>{"--card", "fun", "load", "flash", "/dev/zero"};
       },
       1, "/dev/zero: not a regular file"},
      {"a folder given as the settings file",
       [](test::TempDir& d) {
         fs::create_directory(d.Path("config.cfg"));
         return std::vector<std::string>{"--card", "fun", "show", "flash"};
       },
       1, "config.cfg: not a regular file (a folder)"},
      {"a bad delay stops before the chip is erased",
       [](test::TempDir& d) {
         d.Write("config.cfg", "[Auto mode]\r\nmode=1\r\n[AVR]\r\nDelay=abc\r\n");
         return std::vector<std::string>{"--card", "fun", "program", "flash+eeprom-int"};
       },
       1, "config.cfg: [AVR] Delay: 'abc' is not a number",
       [](test::TempDir&, const Result& r) { EXPECT_EQ(r.out, "") << "nothing sent"; }},
      {"a long value is cut in the message",
       [](test::TempDir& d) {
         d.Write("config.cfg", "[PIC]\r\nDelay=" + std::string(100, '9') + "x\r\n");
         return std::vector<std::string>{"--card", "wafer", "set-bits"};
       },
       1, "[PIC] Delay: '9999999999999999999999999999999999999999... (101 characters)'"},
      {"a card state that cannot be saved",
       [](test::TempDir& d) {
         return std::vector<std::string>{"--card", "fun",  "--sim-state", d.Path("gone/card.state"),
                                         "read",   "flash"};
       },
       1, "gone/card.state: No such file or directory",
       [](test::TempDir& d, const Result& r) {
         EXPECT_EQ(r.out, "") << "refused before anything is sent";
         EXPECT_FALSE(fs::exists(d.Path("gone")));
       }},
      {"control characters of a file are not sent to the terminal",
       [](test::TempDir& d) {
         return std::vector<std::string>{"--card", "fun", "load", "flash",
                                         d.Write("esc.hex", ":\x1b[2J0000000\r\n")};
       },
       1, "'$\\x1B[' is not a valid integer value",
       [](test::TempDir&, const Result& r) { EXPECT_EQ(r.err.find('\x1b'), std::string::npos); }},
      {"a HEX file without data",
       [](test::TempDir& d) {
         return std::vector<std::string>{"--card", "fun", "load", "flash",
                                         d.Write("empty.hex", ":00000001FF\r\n")};
       },
       1, "empty.hex: no data"},
      {"bytes outside the image are told, the rest is loaded",
       [](test::TempDir& d) {
         const std::string text = "\xEF\xBB\xBF" + Hex(0x0000, {0x12, 0x34}) +
                                  Hex(0x3000, {1, 2, 3}) + ":00000001FF\r\n";
         return std::vector<std::string>{"--card", "fun",  "load", "flash", d.Write("o.hex", text),
                                         "show",   "flash"};
       },
       0, "o.hex: 3 bytes outside the 8 KB image were not loaded",
       [](test::TempDir&, const Result& r) {
         EXPECT_NE(r.out.find("\n0000\t1234\tFFFF"), std::string::npos) << "after the mark";
       }},
      {"saving through a link writes its target and keeps the link",
       [](test::TempDir& d) {
         d.Write("real.hex", "old");
         fs::create_symlink(d.Path("real.hex"), d.Path("link.hex"));
         return std::vector<std::string>{"--card", "fun", "save", "eeprom-int", d.Path("link.hex")};
       },
       0, "",
       [](test::TempDir& d, const Result&) {
         EXPECT_TRUE(fs::is_symlink(d.Path("link.hex")));
         EXPECT_EQ(d.Read("real.hex").substr(0, 11), ":10000000FF");
       }},
      {"saving onto a pipe is refused",
       [](test::TempDir& d) {
         mkfifo(d.Path("pipe.hex").c_str(), 0600);
         return std::vector<std::string>{"--card", "fun", "save", "flash", d.Path("pipe.hex")};
       },
       1, "pipe.hex: not a regular file, not replaced"},
      {"an unknown simulator fault is a usage error before anything runs",
       [](test::TempDir&) {
         return std::vector<std::string>{"--card", "fun", "--sim-fault", "bogus", "read", "flash"};
       },
       2, "--sim-fault: unknown fault 'bogus'",
       [](test::TempDir&, const Result& r) {
         EXPECT_EQ(r.out, "");
         EXPECT_EQ(r.err.find("--help"), r.err.rfind("--help")) << "the hint once";
       }},
      {"a stuck bit beyond the chip's memory",
       [](test::TempDir&) {
         return std::vector<std::string>{"--card", "fun",  "--sim-fault", "stuck-bit=0x2000:0",
                                         "read",   "flash"};
       },
       2, "address 8192 is beyond the 8192-byte program memory"},
      {"a fault the ISA card cannot plant names the card that takes it",
       [](test::TempDir&) {
         return std::vector<std::string>{"--card",      "fun",       "--sim-card", "isa",
                                         "--sim-fault", "wrong-atr", "read",       "eeprom-ext"};
       },
       2,
       "fault wrong-atr: the ISA card runs the loader in the chip as it is and cannot plant "
       "it; the behavioural card (--sim-card behavioural) takes it"},
      {"a loader fault on a card without a loader",
       [](test::TempDir&) {
         return std::vector<std::string>{"--card",          "black", "--sim-fault",
                                         "silent-after=20", "read",  "flash"};
       },
       2, "the Black Card - ATMega128 has no card loader"},
  };
  return kCases;
}

class CliFailure : public CliTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(CliFailure, ExitStatusAndMessage) {
  const FailureCase& c = Cases()[GetParam()];
  SCOPED_TRACE(c.name);
  Result r = Run(c.setUp(dir));
  EXPECT_EQ(r.status, c.status) << r.err;
  EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  if (c.check) c.check(dir, r);
}

INSTANTIATE_TEST_SUITE_P(EveryCase, CliFailure, ::testing::Range<size_t>(0, Cases().size()));

// An option or setting that cannot be taken as given ends the run before anything is sent,
// naming the option, or the file, section, key and value; nothing falls back to a default.
struct BadValueCase {
  std::vector<std::string> args;  // before "read flash"
  std::string config;             // the settings file's text
  int status;
  std::string message;
};

TEST_F(CliTest, BadOptionAndSettingValuesAreNamedAndNothingIsSent) {
  const std::string pins = "[FTDI]\r\npins=";
  const std::vector<BadValueCase> cases{
      {{"--port", "tty", "--device", ""}, "", 2, "--device: the value is empty"},
      {{"--card", " "}, "", 2, "--card: the value is empty"},
      {{"--sim-state", "\t"}, "", 2, "--sim-state: the value is empty"},
      {{"--ftdi-pins", ""}, "", 2, "--ftdi-pins: the value is empty"},
      {{"--ftdi-pins", "tx=!0 rts=!2 dtr=!4"}, "", 2, "the line cts is missing"},
      {{"--ftdi-pins", "tx=!0 rts=!2 cts=!3 dtr=!4 rts=5"}, "", 2, "the line rts is given twice"},
      {{}, pins + "\r\n[FTDI]\r\npins=x", 1, "[FTDI] pins: 'x' is not a pin map"},
      {{}, pins + "tx=0 rts=1 cts=3\r\n", 1, "the line dtr is missing"},
      {{},
       "[Fast write]\r\nenabled=maybe\r\n",
       1,
       "config.cfg: [Fast write] enabled: 'maybe' is not one of 0, 1"},
      {{},
       "[Port backend]\r\nsim card=bar\r\n",
       1,
       "[Port backend] sim card: 'bar' is not one of behavioural, isa"},
      {{}, "[port avr/pic]\r\nCOM=9\r\n", 1, "[port avr/pic] COM: '9' is not one of 1, 2, 3, 4"},
      {{},
       "[AVR Speed Clock]\r\nCLK=999\r\n",
       1,
       "[AVR Speed Clock] CLK: '999' is outside 0 to 50"},
      {{}, "[Auto mode]\r\nmode=2\r\n", 1, "[Auto mode] mode: '2' is not one of 0, 1"},
      {{}, "[Language]\r\nlang=Klingon\r\n", 1, "[Language] lang: 'Klingon' is no language pack"},
      {{}, "[PIC]\r\nDelay=-5\r\n", 1, "[PIC] Delay: '-5' is negative"},
      {{},
       std::string("\x7F"
                   "ELF\x02\x01\x01\0\0\0",
                   10),
       1,
       "not a settings file (it holds binary data"},
  };
  // A language folder with one pack, in the directory of the run.
  dir.Write("lang/x.ini", "[LANG]\r\nNAME=X\r\n");
  const test::ScopedCurrentDir here(dir.Path());
  for (const BadValueCase& c : cases) {
    SCOPED_TRACE(c.message);
    dir.Write("config.cfg", c.config);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--card", "fun", "read", "flash"});
    if (!c.args.empty() && c.args[0] == "--card") args = {"--card", " ", "read", "flash"};
    const Result r = Run(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << "nothing sent";
  }
  // Binary junk quoted from a HEX file is escaped, not sent to the terminal.
  dir.Write("config.cfg", "");
  const Result junk = Run({"--card", "fun", "load", "flash", dir.Write("j.hex", ":\xFF\xFE\x01")});
  EXPECT_NE(junk.err.find("'$\\xFF\\xFE' is not a valid integer value"), std::string::npos)
      << junk.err;
  // Files older versions wrote: keys and sections this program does not know are passed over.
  dir.Write("config.cfg", "[Old section]\r\nkey=1\r\n[AVR]\r\nDelay=5\r\nOldKey=x\r\n");
  EXPECT_EQ(Run({"--card", "fun", "show", "options"}).status, 0);
}

}  // namespace
}  // namespace vexilo::cli
