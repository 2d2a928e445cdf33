#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace vexilo::cli {

// Runs one command line (arguments without the program name). Results go to `out`, messages
// to `err`. Returns the exit status: 0 success, 1 an action failed, 2 usage error.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vexilo::cli
