#pragma once
#include <stdexcept>
#include <string>
#include <vector>

namespace vexilo::cli {

// A command-line word list that does not form valid actions.
class UsageError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// One action of a command line: its verb and its arguments ("load", {"flash", "a.hex"}).
struct Action {
  std::string verb;
  std::vector<std::string> args;
};

// Splits the action words into actions, checking every verb and argument count before anything
// runs. Throws UsageError.
std::vector<Action> ParseActions(const std::vector<std::string>& words);

// The help text that lists the actions.
std::string ActionsHelp();

}  // namespace vexilo::cli
