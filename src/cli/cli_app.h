#pragma once
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace vexilo::cli {

// Runs one command line (arguments without the program name). Log lines and results go to
// `out`, messages, questions and progress to `err`; answers are read from `in`. Returns the
// exit status: 0 success, 1 an action failed, 2 usage error.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           std::istream& in);

}  // namespace vexilo::cli
