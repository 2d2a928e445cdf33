// The open card loaders on the ISA card: the chip runs the loader the installer wrote, on
// simavr or gpsim, and the 24Cxx is reached through it pin by pin. Skipped where the helper
// program or the loaders were not built (they need simavr, gpsim, gputils and gcc-avr).
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/command_frames.h"
#include "cli_runner.h"
#include "sim/isa/helper_process.h"

namespace vexilo::cli {
namespace {

constexpr const char* kLoaders[] = {"loader_at90s8515.hex", "loader_pic16f84.hex",
                                    "loader_pic16f876.hex"};

// The open loader of that name, or empty when it was not built.
std::string OpenLoader(const std::string& name) {
  for (const std::string& dir : app::OpenLoaderDirs()) {
    if (std::filesystem::exists(dir + "/" + name)) return dir + "/" + name;
  }
  return {};
}

std::string WhyNot() {
  try {
    sim::isa::FindHelperProgram();
  } catch (const sim::isa::HelperError& e) {
    return e.what();
  }
  for (const char* name : kLoaders) {
    if (OpenLoader(name).empty()) {
      return std::string("the open loader ") + name +
             " was not built (apt install gputils gcc-avr avr-libc binutils-avr)";
    }
  }
  return {};
}

class IsaCard : public CliTest {
 protected:
  void SetUp() override {
    if (const std::string why = WhyNot(); !why.empty()) GTEST_SKIP() << why;
    // The ATmega163 needs 15 to 18 ms to write a FLASH page.
    dir.Write("config.cfg", "[Auto mode]\r\nmode=1\r\n[AVR]\r\nDelay=20\r\n");
  }
  // `bytes` random bytes in a binary image file.
  std::string Image(size_t bytes, unsigned seed) {
    std::mt19937 random(seed);
    std::string data(bytes, '\0');
    for (char& c : data) c = static_cast<char>(random() & 0xFF);
    return dir.Write("image.bin", data);
  }
  static bool Has(const Result& r, const std::string& line) {
    return r.out.find(line + "\n") != std::string::npos;
  }
};

struct IsaCase {
  const char* card;
  const char* size;  // --ext-size; empty: the card's only size
  size_t bytes;
  const char* loader;
  const char* family;  // log prefix
};

// Every card type with its loader, each at one size: the full programming sequence installs
// the open loader, fills the 24Cxx through it and leaves the loader as the card's program (it
// is also the FLASH image), so that the verify and the read that follow talk to it again (the
// PIC16F876 reads in other blocks than it verifies); the read must give the image back.
TEST_F(IsaCard, ProgramAllThenVerifyOnEveryCardType) {
  const IsaCase cases[] = {
      {"fun", "24C64", 8192, "loader_at90s8515.hex", "ATMEL"},
      {"neoo", "24C64", 8192, "loader_at90s8515.hex", "ATMEL"},
      {"atmega", "24C64", 8192, "loader_at90s8515.hex", "ATMEL"},
      {"wafer", "", 2048, "loader_pic16f84.hex", "PIC"},
      {"pic2", "24C128", 16384, "loader_pic16f876.hex", "PIC"},
  };
  unsigned seed = 1;
  for (const IsaCase& c : cases) {
    SCOPED_TRACE(c.card);
    const std::string loader = OpenLoader(c.loader);
    std::vector<std::string> args{"--card", c.card, "--sim-card", "isa", "--yes"};
    if (*c.size) args.insert(args.end(), {"--ext-size", c.size});
    const std::string image = Image(c.bytes, seed++);
    std::vector<std::string> show = args;
    show.insert(show.end(), {"load", "eeprom-ext", image, "show", "eeprom-ext"});
    const std::string expected = Run(show).out;
    args.insert(args.end(), {"--sim-state", dir.Path(std::string(c.card) + ".state"), "load",
                             "eeprom-ext", image, "load", "flash", loader, "program", "all",
                             "verify", "eeprom-ext", "read", "eeprom-ext", "show", "eeprom-ext"});
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r, "(card loader: " + loader + ")")) << r.out;
    EXPECT_TRUE(Has(r, std::string(c.family) + " WRITE LOADER : OK")) << r.out;
    EXPECT_TRUE(Has(r, std::string(c.family) + " WRITE : OK")) << r.out;
    EXPECT_TRUE(Has(r, std::string(c.family) + " VERYFI EEPROM EXT : OK")) << r.out;
    EXPECT_TRUE(Has(r, std::string(c.family) + " READ EEPROM EXT : STOP")) << r.out;
    EXPECT_GT(expected.size(), c.bytes * 2);
    EXPECT_TRUE(r.out.ends_with(expected)) << "the read did not give the image back";
  }
}

// The largest part once, read back whole by the verify: the card from the sequence above
// would take long to fill, so its 24C512 is filled through the state file.
TEST_F(IsaCard, ReadsAWhole24C512) {
  const std::string state = dir.Path("fun.state");
  Result r =
      Run({"--card", "fun", "--sim-card", "isa", "--yes", "--ext-size", "24C512", "--sim-state",
           state, "load", "flash", OpenLoader("loader_at90s8515.hex"), "program", "flash"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  // The state file's 24Cxx region takes the image, 32 bytes a line.
  std::ifstream in(state);
  std::string text, line;
  const std::string image = Image(65536, 7);
  std::ifstream data(image, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(data)), {});
  bool inEeprom = false;
  while (std::getline(in, line)) {
    if (line.rfind("region ", 0) == 0) inEeprom = line == "region phoenix/24cxx 65536";
    if (inEeprom && line.size() > 7 && line[6] == ' ' && std::isxdigit(line[0])) {
      const size_t at = std::stoul(line.substr(0, 6), nullptr, 16);
      line = line.substr(0, 7);
      for (size_t i = at; i < at + 32; ++i) {
        static const char* digits = "0123456789ABCDEF";
        line += digits[static_cast<uint8_t>(bytes[i]) >> 4];
        line += digits[static_cast<uint8_t>(bytes[i]) & 15];
      }
    }
    text += line + "\n";
  }
  dir.Write("fun.state", text);
  r = Run({"--card", "fun", "--sim-card", "isa", "--yes", "--ext-size", "24C512", "--sim-state",
           state, "load", "eeprom-ext", image, "verify", "eeprom-ext"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r, "ATMEL VERYFI EEPROM EXT : OK")) << r.out;
}

// What the installer got wrong shows as a real card shows it: no answer to reset.
TEST_F(IsaCard, InstallerFaultsLeaveTheCardSilent) {
  // A configuration word with the RC oscillator: the card's clock does not run the chip.
  Result r = Run({"--card", "wafer", "--sim-card", "isa", "--yes", "--sim-state",
                  dir.Path("wafer.state"), "load", "flash", OpenLoader("loader_pic16f84.hex"),
                  "set", "ComboBox1=RC", "program", "all", "read", "eeprom-ext"});
  EXPECT_TRUE(Has(r, "PIC READ EEPROM EXT : ATR ERROR")) << r.out;
  // A loader file without its second record: those words stay erased in the chip.
  test::TempDir cwd;
  std::ifstream full(OpenLoader("loader_at90s8515.hex"));
  std::string line, cut;
  for (int n = 0; std::getline(full, line); ++n) {
    if (n != 1) cut += line + "\n";
  }
  std::filesystem::create_directory(cwd.Path("loader"));
  cwd.Write("loader/loader_at90s8515.hex", cut);
  test::ScopedCurrentDir here(cwd.Path());
  r = Run({"--card", "fun", "--sim-card", "isa", "--yes", "--sim-state", dir.Path("fun.state"),
           "load", "eeprom-ext", Image(8192, 3), "program", "all"});
  EXPECT_NE(r.status, 0);
  EXPECT_TRUE(Has(r, "(card loader: loader/loader_at90s8515.hex)")) << r.out;
  EXPECT_TRUE(Has(r, "ATMEL WRITE EEPROM EXT : ATR ERROR")) << r.out;
  EXPECT_TRUE(Has(r, "ATMEL WRITE : ERROR")) << r.out;
}

}  // namespace
}  // namespace vexilo::cli
