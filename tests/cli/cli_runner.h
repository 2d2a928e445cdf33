#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "support/temp_dir.h"

namespace vexilo::cli {

struct Result {
  int status;
  std::string out;
  std::string err;
};

// Runs vexilo-cli in-process with a settings file and simulated cards of its own in a fresh
// directory.
class CliTest : public ::testing::Test {
 protected:
  Result Run(std::vector<std::string> args, const std::string& input = "") {
    // A settings file named with --config must exist.
    if (!std::filesystem::exists(dir.Path("config.cfg"))) dir.Write("config.cfg", "");
    args.insert(args.begin(), {"--config", dir.Path("config.cfg")});
    // The simulated cards keep their memories here, not in the home of the person testing.
    setenv("XDG_DATA_HOME", dir.Path("data").c_str(), 1);
    std::ostringstream out, err;
    std::istringstream in(input);
    int status = RunCli(args, out, err, in);
    return {status, out.str(), err.str()};
  }
  test::TempDir dir;
};

}  // namespace vexilo::cli
