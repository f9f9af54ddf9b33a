#include <iostream>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "cli/Cli.h"

int main(int argc, char** argv) {
  pelcrow::PrepareLocalTime();
  std::vector<std::string> args(argv + 1, argv + argc);
  return pelcrow::cli::RunCli(args, std::cout, std::cerr);
}
