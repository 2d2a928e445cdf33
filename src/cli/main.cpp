#include <iostream>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  return vexilo::cli::RunCli({argv + 1, argv + argc}, std::cout, std::cerr);
}
