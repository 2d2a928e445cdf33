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
       1, "cannot save the card state: ",
       [](test::TempDir& d, const Result& r) {
         EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
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

}  // namespace
}  // namespace vexilo::cli
