#include <iostream>

#include "cli/cli_app.h"
#include "cli/cli_operator.h"

int main(int argc, char** argv) {
  vexilo::cli::InstallStopOnInterrupt();
  return vexilo::cli::RunCli({argv + 1, argv + argc}, std::cout, std::cerr, std::cin);
}
