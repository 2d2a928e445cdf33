// The ISA card's helper program as the simulator finds, starts and hears it: every way it can
// be missing or fail ends in an error that says what is wrong.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <functional>
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

// A helper that never greets, or stops in the middle of a run, ends within its deadline with an
// error that says what it was doing, and the process is gone.
TEST(IsaHelper, AHelperThatStopsAnsweringIsEndedAtItsDeadline) {
  using namespace std::chrono;
  constexpr milliseconds kDeadline{300};
  std::string helper;
  try {
    helper = FindHelperProgram();
  } catch (const HelperError&) {
  }
  struct Case {
    const char* name;
    std::string program;
    std::vector<std::string> args;
    std::function<void(HelperProcess&)> then;  // null: the greeting is awaited
    const char* doing;
  };
  const std::vector<Case> cases{
      {"never greets", "/bin/sleep", {"30"}, nullptr, "while greeting; it was ended"},
      {"stopped mid-run",
       helper,
       {"p16f84", "RB7", "RB4", "RB5"},
       [](HelperProcess& h) {
         kill(h.Pid(), SIGSTOP);
         h.Run(1000);
         h.Next();
       },
       "while running the card's chip to its cycle 1000; it was ended"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.program.empty()) continue;  // no helper built: nothing to stop
    const auto start = steady_clock::now();
    pid_t pid = -1;
    std::string error = "no error";
    try {
      HelperProcess h(c.program, c.args, kDeadline);
      pid = h.Pid();
      if (c.then) c.then(h);
    } catch (const HelperError& e) {
      error = e.what();
    }
    EXPECT_NE(error.find("did not answer within 300 ms " + std::string(c.doing)), std::string::npos)
        << error;
    EXPECT_NE(error.find(c.program), std::string::npos) << error;
    EXPECT_LT(steady_clock::now() - start, seconds(5));
    if (pid > 0) {
      EXPECT_NE(kill(pid, 0), 0) << "the helper process is ended";
    }
  }
}

}  // namespace
}  // namespace vexilo::sim::isa
