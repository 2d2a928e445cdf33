// Erases and configuration writes are read back: a chip slower than its data sheet is waited
// for, a chip that does not keep what was written (or is not there) is a red line and a
// failed command.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/card_catalogue.h"
#include "command_bench.h"

namespace vexilo::app {
namespace {

using testing::ScriptedOperator;

struct ReadBackCase {
  const char* card;
  const char* fault;  // "" for none
  Command command;
  const char* error;  // the red line expected, "" for none
};

constexpr ReadBackCase kCases[] = {
    // Three times the data sheet's erase time: waited for, and the chip is blank.
    {"fun", "slow-chip", Command::Erase, ""},
    {"atmega", "slow-chip", Command::Erase, ""},
    {"black", "slow-chip", Command::Erase, ""},
    // A program-memory bit that never reads 1: the erase never reads blank.
    {"neoo", "stuck-bit=0:0", Command::Erase, "ATMEL ERASE : ERROR ADR[0000]"},
    // The configuration write is cut short by its own write delay.
    {"wafer", "slow-chip", Command::SetBits, "PIC WRITE CONFIG BIT : ERROR"},
    {"pic2", "slow-chip", Command::SetBits, "PIC WRITE CONFIG BIT : ERROR"},
    {"wafer", "", Command::SetBits, ""},
    // No card in the reader: the chip check refuses before anything is written.
    {"wafer", "no-card", Command::SetBits, "PIC DEVICE ID : ERROR"},
    {"wafer", "no-card", Command::Erase, "PIC DEVICE ID : ERROR"},
    {"pic2", "no-card", Command::Erase, "PIC DEVICE ID : ERROR"},
};

TEST(ReadBack, EraseAndConfigurationWritesAreConfirmedByTheChip) {
  for (const ReadBackCase& c : kCases) {
    SCOPED_TRACE(std::string(c.card) + " " + c.fault);
    Workspace ws;
    ws.SetCardTypeText(std::string(FindCardTypeByName(c.card)->text));
    ws.settings.autoMode = true;
    ScriptedOperator op;
    RigOptions options;
    if (*c.fault) options.simFaults = {c.fault};
    Rig rig(options, ws, op);
    std::span<uint8_t> flash;
    for (const sim::MemoryRegion& region : rig.Simulator()->Card().Chip().Regions()) {
      if (region.name == "flash") flash = region.bytes;
    }
    std::fill(flash.begin(), flash.end(), 0x00);  // a programmed chip

    const CommandResult result = RunCommand(c.command, ws, rig, op);
    EXPECT_EQ(result.failed, *c.error != '\0') << ::testing::PrintToString(op.lines);
    EXPECT_EQ(ws.ErrorFlag, *c.error != '\0' ? 1 : 0);
    if (*c.error) {
      EXPECT_TRUE(std::any_of(op.errors.begin(), op.errors.end(), [&](const std::string& e) {
        return e.rfind(c.error, 0) == 0;
      })) << ::testing::PrintToString(op.errors);
    } else if (c.command == Command::Erase) {
      EXPECT_EQ(std::count(flash.begin(), flash.end(), 0xFF), std::ssize(flash))
          << "the whole chip is erased";
    }
  }
}

}  // namespace
}  // namespace vexilo::app
