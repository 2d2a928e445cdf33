#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "cli_runner.h"

namespace vexilo::cli {
namespace {

using Cli = CliTest;

TEST_F(Cli, ShowPrintsTheGridJoinedByTabs) {
  Result r = Run({"--card", "wafer", "show", "eeprom-int"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(
      r.out,
      "Adres\t+0\t+1\t+2\t+3\t+4\t+5\t+6\t+7\t+8\t+9\t+A\t+B\t+C\t+D\t+E\t+F\tASCII\n"
      "0000\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\t................\n"
      "0010\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\t................\n"
      "0020\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\t................\n"
      "0030\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\tFF\t................\n");
}

TEST_F(Cli, ActionsRunInOrderOnOneWorkspace) {
  std::string in = dir.Write("in.hex", ":0400000005280A3095\r\n:02400E00F13F80\r\n:00000001FF\r\n");
  Result r = Run({"--card", "Wafer Card - 16F84 + 24C16", "load", "flash", in, "show", "options",
                  "save", "flash", dir.Path("out")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "ComboBox1=XT\nCheckBox3=0\nCheckBox4=1\nCheckBox5=0\n");
  std::string saved = dir.Read("out.hex");
  EXPECT_EQ(saved.substr(0, 41), ":1000000005280A30FF3FFF3FFF3FFF3FFF3FFF3F");
  EXPECT_NE(saved.find(":02400E00113F60\r\n"), std::string::npos);
}

TEST_F(Cli, ExtSizeAndTheSavedCardType) {
  dir.Write("config.cfg", "[TYP]\r\nKARTA=NeooCard - ATMega8515 + 24Cx\r\n");
  Result r = Run({"--ext-size", "24C512", "show", "eeprom-ext"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4097);
  EXPECT_NE(r.out.find("\nFFF0\t"), std::string::npos);
  EXPECT_EQ(Run({"--card", "pic2", "--ext-size", "24C256", "show", "options"}).status, 2);
}

// Hex addresses as the grids show them; the checksum line is the one under the grid (sum and
// zlib's CRC-32 of the image's bytes); card names and sizes in any case.
TEST_F(Cli, EditsTheImagesAndPrintsTheirChecksums) {
  Result r = Run({"--card", "FUN", "--ext-size", "24c64", "set-bytes", "eeprom-int", "1F0=DEADBEEF",
                  "fill", "flash", "0-FFF=00", "checksum", "eeprom-int", "checksum", "flash",
                  "show", "eeprom-int"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 65),
            "Sum 0001FD3C  CRC-32 4A82CC8D\nSum 00000000  CRC-32 D8F49994\nAdres");
  EXPECT_NE(r.out.find("\n01F0\tDE\tAD\tBE\tEF\tFF\t"), std::string::npos);
}

TEST_F(Cli, FailuresNameTheFileAndLineAndStopTheRun) {
  std::string bad = dir.Write("bad.hex", ":0400000012345678E8\n:0400100012345678D9\n");
  Result r = Run({"--card", "fun", "load", "flash", bad, "save", "flash", dir.Path("x.hex")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(bad + ":2: checksum"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path("x.hex")));
}

TEST_F(Cli, UsageErrorsAndHelp) {
  EXPECT_EQ(Run({"--card", "nosuch", "show", "flash"}).status, 2);
  EXPECT_EQ(Run({"show"}).status, 2);
  EXPECT_EQ(Run({"show", "ram"}).status, 2);
  EXPECT_EQ(Run({"frobnicate"}).status, 2);
  EXPECT_EQ(Run({}).status, 2);
  Result help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("show flash|eeprom-int|eeprom-ext"), std::string::npos);
  // Fits 80 columns, each row's text in its column: a line breaks only where the help puts it.
  std::istringstream lines(help.out);
  for (std::string line; std::getline(lines, line);) {
    const size_t indent = line.find_first_not_of(' ');
    EXPECT_LE(line.size(), 80u) << line;
    if (indent != std::string::npos && indent > 2) {
      EXPECT_TRUE(indent == 6 || indent == 30) << line;
    }
  }
}

TEST_F(Cli, SavedTextThatNamesNoCardTypeDoesNothing) {
  dir.Write("config.cfg", "[TYP]\r\nKARTA=Fun Card - 90S8515 + 24C64\r\n");
  Result r = Run({"show", "flash"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(r.err.find("matches no card type"), std::string::npos);
}

}  // namespace
}  // namespace vexilo::cli
