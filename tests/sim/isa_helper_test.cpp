// The ISA card's helper program as the simulator finds, starts and hears it: every way it can
// be missing or fail ends in an error that says what is wrong.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "sim/isa/helper_process.h"

namespace vexilo::sim::isa {
namespace {

std::string ErrorOf(const std::string& program, const std::vector<std::string>& args) {
  try {
    HelperProcess helper(program, args);
  } catch (const HelperError& e) {
    return e.what();
  }
  return "no error";
}

TEST(IsaHelper, FailuresNameTheProgramAndWhatWentWrong) {
  // A program named on purpose must be there.
  setenv("VEXILO_ISA_CARD", "/nonexistent/vexilo-isa-card", 1);
  try {
    FindHelperProgram();
    ADD_FAILURE() << "a missing helper was found";
  } catch (const HelperError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/vexilo-isa-card"), std::string::npos);
  }
  unsetenv("VEXILO_ISA_CARD");
  // Not a program at all, and a program that is not the helper.
  EXPECT_NE(ErrorOf("/nonexistent/program", {}).find("cannot start /nonexistent/program"),
            std::string::npos);
  EXPECT_NE(ErrorOf("/bin/true", {}).find("the ISA card's helper /bin/true: it stopped"),
            std::string::npos);
  // The helper's own reason, for a core it does not have.
  std::string helper;
  try {
    helper = FindHelperProgram();
  } catch (const HelperError& e) {
    GTEST_SKIP() << e.what();
  }
  EXPECT_NE(
      ErrorOf(helper, {"atmega999", "PB6", "PB0", "PB1"}).find("simavr has no core atmega999"),
      std::string::npos);
  EXPECT_NE(ErrorOf(helper, {"p16f84", "RC7", "RB4", "RB5"}).find("has no pin RC7"),
            std::string::npos);
}

}  // namespace
}  // namespace vexilo::sim::isa
